#pragma once
// Baselines measured in the same run as the library, with nothing between the caller and the
// socket: a blocking client (optionally polling first, as the library's waiter does) and one
// connection that keeps several requests in flight.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "bench_common.h"

namespace bench {

inline int connectTcp(const std::string& address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1 ||
      ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

/// Writes request `id` for the key into `out`: `{"g":{"<key>":null},"id":<id>}` and a carriage
/// return, the bytes the library writes for a get of the key. No allocation once `out` has grown.
inline void writeGetRequest(std::string& out, std::string_view key, std::uint64_t id) {
  out.assign("{\"g\":{\"");
  out.append(key);
  out.append("\":null},\"id\":");
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(id));
  out.append(digits, static_cast<std::size_t>(n));
  out.append("}\r");
}

using RequestWriter = std::function<void(std::string&, std::uint64_t)>;

/// One blocking connection: a request is one send, its reply the bytes up to the next carriage
/// return.
class RawClient {
 public:
  RawClient(const std::string& address, std::uint16_t port) : fd_(connectTcp(address, port)) {}
  ~RawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return fd_ >= 0; }

  bool send(std::string_view bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

  /// The next reply, carriage return included. With `spin`, it first polls the socket without
  /// blocking for that long (reading the clock every eighth poll), then blocks: the library's
  /// own wait policy.
  bool readReply(std::string& out, std::chrono::microseconds spin = std::chrono::microseconds(0)) {
    const auto spinUntil = spin.count() > 0 ? Clock::now() + spin : Clock::time_point::min();
    bool spinning = spin.count() > 0;
    for (unsigned round = 1;; ++round) {
      const auto at = pending_.find('\r');
      if (at != std::string::npos) {
        out.assign(pending_, 0, at + 1);
        pending_.erase(0, at + 1);
        return true;
      }
      if (spinning && (round & 7) == 0 && Clock::now() >= spinUntil) spinning = false;
      char chunk[4096];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, spinning ? MSG_DONTWAIT : 0);
      if (n < 0 && spinning && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n <= 0) return false;
      pending_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  bool roundTrip(std::string_view request, std::string& reply,
                 std::chrono::microseconds spin = std::chrono::microseconds(0)) {
    return send(request) && readReply(reply, spin);
  }

 private:
  int fd_;
  std::string pending_;
};

/// One connection keeping `inFlight` requests outstanding for `duration` on the calling thread:
/// it sends `inFlight` requests, then one more (its own send) for every reply it reads. The
/// requests answered per second.
inline double pipelined(const std::string& address, std::uint16_t port, int inFlight, Clock::duration duration,
                        const RequestWriter& write, std::uint64_t firstId) {
  RawClient client(address, port);
  if (!client.connected()) return 0;
  std::uint64_t id = firstId;
  std::string request;
  for (int i = 0; i < inFlight; ++i) {
    write(request, id++);
    client.send(request);
  }
  std::uint64_t answered = 0;
  std::string reply;
  const auto start = Clock::now();
  const auto end = start + duration;
  while (Clock::now() < end) {
    if (!client.readReply(reply)) return 0;
    ++answered;
    write(request, id++);
    client.send(request);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  // The ones still in flight are read off before the connection closes.
  for (int i = 0; i < inFlight; ++i) client.readReply(reply);
  return static_cast<double>(answered) / seconds;
}

}  // namespace bench
