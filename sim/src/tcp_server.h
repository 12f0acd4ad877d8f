#pragma once
// Listening sockets and accepted connections shared by the simulator's TCP services. Everything
// here runs on the simulator's one I/O thread unless a comment says otherwise.

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "velmora_sim/connection.h"

namespace velmora_sim::detail {

/// Runs `fn` on the thread of `io` and waits for it; inline when already there or when `io` no
/// longer runs. Any thread.
void runOnIo(asio::io_context& io, const std::function<void()>& fn);

class Peer final : public Connection, public std::enable_shared_from_this<Peer> {
 public:
  using BytesHandler = std::function<void(Peer&, const char*, std::size_t)>;
  using ClosedHandler = std::function<void(Peer&)>;

  Peer(asio::io_context& io, asio::ip::tcp::socket socket, int number);

  int number() const noexcept override { return number_; }
  bool isOpen() const noexcept override { return open_; }
  const std::string& remoteAddress() const noexcept override { return remoteAddress_; }
  void send(const Json::Value& message) override;
  void sendRaw(std::string bytes) override;
  void close() override;

  void start(BytesHandler onBytes, ClosedHandler onClosed);
  void write(std::string bytes);
  /// Runs `fn` after `delay` unless the connection has closed by then.
  void later(std::chrono::milliseconds delay, std::function<void(Peer&)> fn);
  void closeNow();
  /// Closes with a reset: whatever is unsent is discarded and the client sees an error.
  void resetNow();
  /// Closes once everything written so far has left.
  void closeWhenWritten();

 private:
  void read();
  void writeNext();

  asio::io_context& io_;
  asio::ip::tcp::socket socket_;
  int number_;
  std::string remoteAddress_;
  std::atomic<bool> open_{true};
  std::array<char, 64 * 1024> buffer_{};
  std::deque<std::string> queue_;
  bool writing_ = false;
  bool closeWhenWritten_ = false;
  BytesHandler onBytes_;
  ClosedHandler onClosed_;
};

/// A service's listener and its open connections.
class ServiceCore {
 public:
  /// Gives the byte handler of a new connection.
  using PeerStarter = std::function<Peer::BytesHandler(const std::shared_ptr<Peer>&)>;

  /// Binds at once (SO_REUSEADDR); throws `std::system_error` when it cannot.
  ServiceCore(asio::io_context& io, const std::string& address, std::uint16_t port, PeerStarter starter);

  asio::io_context& io() noexcept { return io_; }
  std::uint16_t port() const noexcept { return port_; }

  // Any thread.
  void refuse(bool refused);
  void dropConnections();
  void closeAll();
  int acceptCount() const noexcept { return accepted_; }
  int openConnections() const noexcept { return open_; }
  bool waitForOpenConnections(int n, std::chrono::milliseconds timeout) const;
  std::shared_ptr<Peer> latest() const;
  std::vector<std::shared_ptr<Peer>> peers() const;

 private:
  void openListener();
  void accept();
  void release(Peer& peer);

  asio::io_context& io_;
  asio::ip::address address_;
  std::atomic<std::uint16_t> port_;
  PeerStarter starter_;
  std::optional<asio::ip::tcp::acceptor> acceptor_;
  std::uint64_t listenerGeneration_ = 0;
  std::atomic<int> accepted_{0};
  std::atomic<int> open_{0};
  mutable std::mutex peersMutex_;
  std::vector<std::shared_ptr<Peer>> peers_;
};

}  // namespace velmora_sim::detail
