#pragma once
// Baselines for request round trips: a blocking socket client with nothing between the caller
// and the socket (what a request costs without any library), and a bare TCP echo server to
// ping-pong against (what loopback TCP costs without any controller).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

namespace bench {

inline int connectTcp(const std::string& address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  const int on = 1;
  if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1 ||
      ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

/// One blocking connection: a request is one send, its reply the bytes up to the next carriage
/// return.
class RawFloorClient {
 public:
  RawFloorClient(const std::string& address, std::uint16_t port) : fd_(connectTcp(address, port)) {}
  ~RawFloorClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawFloorClient(const RawFloorClient&) = delete;
  RawFloorClient& operator=(const RawFloorClient&) = delete;

  bool connected() const { return fd_ >= 0; }

  /// Sends `request` and reads the reply (carriage return included) into `reply`. With `poll`,
  /// it first polls the socket without blocking for that long, as a waiter that spins briefly.
  bool roundTrip(std::string_view request, std::string& reply,
                 std::chrono::microseconds poll = std::chrono::microseconds(0)) {
    if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) return false;
    return readUntil('\r', reply, poll);
  }

  /// Sends `bytes` and reads back exactly as many (the echo baseline).
  bool echo(std::string_view bytes, std::string& back) {
    if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) return false;
    back.clear();
    while (back.size() < bytes.size()) {
      char chunk[4096];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      back.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
  }

 private:
  bool readUntil(char end, std::string& out, std::chrono::microseconds poll) {
    const auto pollUntil = std::chrono::steady_clock::now() + poll;
    for (;;) {
      const auto at = pending_.find(end);
      if (at != std::string::npos) {
        out.assign(pending_, 0, at + 1);
        pending_.erase(0, at + 1);
        return true;
      }
      char chunk[4096];
      const bool polling = std::chrono::steady_clock::now() < pollUntil;
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, polling ? MSG_DONTWAIT : 0);
      if (n < 0 && polling && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n <= 0) return false;
      pending_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  int fd_;
  std::string pending_;
};

/// Accepts one connection on a free port of `address` and sends back whatever it reads, on a
/// thread of its own, until the peer closes.
class EchoServer {
 public:
  explicit EchoServer(const std::string& address) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
    socklen_t length = sizeof at;
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 || ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
      return;
    }
    port_ = ntohs(at.sin_port);
    thread_ = std::thread([this] {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      char chunk[4096];
      for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0 || ::send(fd, chunk, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) break;
      }
      ::close(fd);
    });
  }
  /// Join after the client has closed its connection.
  ~EchoServer() {
    ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  EchoServer(const EchoServer&) = delete;
  EchoServer& operator=(const EchoServer&) = delete;

  std::uint16_t port() const { return port_; }

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace bench
