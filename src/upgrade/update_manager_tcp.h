#pragma once
// The upgrade link: one TCP connection to the controller's upgrade service. Its I/O thread only
// gathers the bodies of the service's records into one byte stream; the calling thread sends,
// waits and takes the bytes. It never reconnects by itself: a new connection in the middle of a
// frame would corrupt the stream.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "network/tcp/tcp_client.h"

namespace velmora::internal {

class UpdateManagerTcp {
 public:
  static constexpr int kConnected = 1;
  static constexpr int kDown = 2;
  /// Received bytes nobody takes beyond this drop the link rather than grow without bound.
  static constexpr std::size_t kStreamCap = 64 * 1024 * 1024;

  UpdateManagerTcp();
  virtual ~UpdateManagerTcp();
  UpdateManagerTcp(const UpdateManagerTcp&) = delete;
  UpdateManagerTcp& operator=(const UpdateManagerTcp&) = delete;

  /// Stores the address; no traffic.
  void setRemote(const std::string& ip, std::uint16_t port);
  /// Connects unless connected already; 256 when it cannot (an empty address included, without
  /// any connection attempt). Returns after the connect handler has run.
  void start(std::error_code& ec);
  /// Closes the connection; the link state is down when it returns. Any thread.
  void stop() noexcept;
  /// 1 connected, 2 down.
  int linkState() const noexcept { return state_.load(); }

  /// Sends `length` bytes and returns when they have left: 256 when the link is down, fails
  /// or they do not leave within `timeout` (the link is then stopped, as the stream would carry
  /// a partial frame).
  void send(const std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout, std::error_code& ec);
  /// Waits up to `timeout` for received bytes and moves all of them into `out` (replacing its
  /// contents): bytes that arrived before the link went down are still handed out, then 256;
  /// 263 when none came in time.
  void takeBytes(std::vector<char>& out, std::chrono::nanoseconds timeout, std::error_code& ec);
  /// Drops every received byte not yet taken.
  void clearQueue();

 private:
  void bindCallbacks();
  void onConnect(const std::error_code& ec);
  void onReceive(std::string_view bytes);
  void onDisconnect(const std::error_code& ec);

  std::string remote_;
  std::uint16_t port_ = 0;
  std::atomic<int> state_{kDown};
  TcpClient client_;
  std::mutex mutex_;
  std::condition_variable received_;
  std::vector<char> stream_;  // joined record bodies not yet taken; under mutex_
};

}  // namespace velmora::internal
