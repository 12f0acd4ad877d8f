#pragma once
// The controller's real-time TCP port (default 1337): the client opens it when its state stream
// starts and sends nothing on it; the simulator accepts, counts and ignores.

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora::sim {

class RtPortListener {
 public:
  RtPortListener() = default;
  ~RtPortListener();
  RtPortListener(const RtPortListener&) = delete;
  RtPortListener& operator=(const RtPortListener&) = delete;

  /// Listens on `address`:`port` (0: a free port) on a thread of its own.
  std::error_code start(const std::string& address, unsigned short port);
  /// Closes the listener and every accepted connection; joins the thread. Idempotent.
  void stop();

  unsigned short port() const { return port_.load(); }
  /// Connections accepted so far, connections still open, bytes received and dropped.
  std::size_t acceptedCount() const { return accepted_.load(); }
  std::size_t openCount() const { return open_.load(); }
  std::size_t bytesReceived() const { return bytes_.load(); }

 private:
  struct Connection;
  void acceptNext();
  void readNext(const std::shared_ptr<Connection>& connection);

  std::unique_ptr<asio::io_context> io_;
  std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
  std::vector<std::shared_ptr<Connection>> connections_;  // I/O thread only, until joined
  std::thread thread_;
  std::atomic<unsigned short> port_{0};
  std::atomic<std::size_t> accepted_{0};
  std::atomic<std::size_t> open_{0};
  std::atomic<std::size_t> bytes_{0};
};

}  // namespace velmora::sim
