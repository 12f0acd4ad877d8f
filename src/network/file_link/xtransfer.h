#pragma once
// The file link: a second TCP client of a command link, towards the controller's file service.
// It carries a file's raw bytes and waits for the controller's verdict, {"f":"success"} or
// {"f":"error"} ended by a carriage return.

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "network/tcp/tcp_client.h"

namespace velmora::internal {

class XNetworkBase {
 public:
  /// `verdictWait`: how long a transfer waits for the controller's verdict.
  explicit XNetworkBase(std::chrono::milliseconds verdictWait);
  virtual ~XNetworkBase();
  XNetworkBase(const XNetworkBase&) = delete;
  XNetworkBase& operator=(const XNetworkBase&) = delete;

  /// Stores the address and binds the handlers; no traffic.
  virtual void connect(const std::string& ip, int port);
  /// Connects unless connected already (then `ec` is left as it was); 256 when it cannot.
  virtual void start(std::error_code& ec);
  /// Begins connecting unless connected, without waiting: nothing depends on the file link
  /// until a transfer, whose `start` then waits for this attempt. A failure is logged.
  void launch();
  /// Closes the connection and ends the I/O thread; the link state is then 2. Idempotent.
  virtual void stop();
  /// Sends `length` bytes (copied as needed, so the caller may free them on return) and waits
  /// for the verdict: `ec` unchanged on "success", -284 on "error" or a lost link, -285 when no
  /// verdict came in time (the link is then closed, so neither the rest of this file nor its late
  /// verdict can reach the next transfer), 256 when the link is down. One transfer at a time:
  /// the caller serialises them.
  virtual void sendAndWait(const char* data, std::size_t length, std::error_code& ec);
  virtual void bindCallbacks() = 0;

  std::string host;
  int port = 0;
  TcpClient client;
  std::mutex mutex;
  std::condition_variable condition;
  std::atomic<std::uint8_t> resultFlag{0};  ///< 1 when the last verdict was "success"
  std::atomic<int> linkState{0};            ///< 0 never tried, 1 connected, 2 disconnected
  /// Connections ended so far: a transfer announced on one connection must not send its bytes
  /// on the next.
  std::atomic<std::uint64_t> losses{0};

 protected:
  /// A verdict received on the I/O thread; ignored when no transfer waits for one.
  void takeVerdict(bool success);
  /// The connection ended; a waiting transfer fails.
  void linkLost();
  /// A connection attempt ended (on the I/O thread).
  void attempted(const std::error_code& ec);

 private:
  enum class Verdict { none, success, error, lost };
  const std::chrono::milliseconds verdictWait_;
  std::atomic<bool> launched_{false};  // an attempt nobody waits for: its failure is logged
  bool awaiting_ = false;              // under `mutex`
  Verdict verdict_ = Verdict::none;
};

class XTransfer final : public XNetworkBase {
 public:
  explicit XTransfer(std::chrono::milliseconds verdictWait = std::chrono::seconds(300));
  ~XTransfer() override;

  void bindCallbacks() override;
  /// The receive handler: one message with its carriage return.
  void onReceive(std::string_view data);

  /// The last message received; kept for inspection only.
  Json::Value lastReply;  // under `mutex`
};

}  // namespace velmora::internal
