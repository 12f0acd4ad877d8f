#include "network/state_stream/udp_service.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <asio/ip/address.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "common/globals.h"
#include "common/logging.h"

namespace velmora::internal {

namespace {

std::error_code lastError() noexcept { return {errno, std::system_category()}; }

}  // namespace

std::chrono::steady_clock::time_point deadlineAfter(std::chrono::nanoseconds timeout) noexcept {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point now = Clock::now();
  if (timeout <= std::chrono::nanoseconds::zero()) return now;
  if (timeout >= Clock::time_point::max() - now) return Clock::time_point::max();
  return now + std::chrono::duration_cast<Clock::duration>(timeout);
}

UdpService::UdpService() = default;

UdpService::~UdpService() { closeSocket(); }

void UdpService::setEndpoint(unsigned port, const std::string& remoteHost, const std::string& localAddress) {
  localAddress_ = localAddress;
  localPort_.store(port, std::memory_order_release);
  const auto wirePort = static_cast<unsigned short>(port);
  std::error_code ec;
  const asio::ip::address numeric = asio::ip::make_address(remoteHost, ec);
  if (!ec) {
    // Resolving a numeric address with "address configured" fails on a host whose only
    // address is loopback; the answer would be the address itself anyway.
    peer_ = asio::ip::udp::endpoint(numeric, wirePort);
    return;
  }
  asio::io_context context(1);
  asio::ip::udp::resolver resolver(context);
  // The socket is IPv4, so the controller's stream can only come from an IPv4 address.
  const auto results = resolver.resolve(asio::ip::udp::v4(), remoteHost, std::to_string(port),
                                        asio::ip::resolver_base::passive | asio::ip::resolver_base::address_configured);
  if (results.empty()) throw std::system_error(asio::error::host_not_found);
  peer_ = results.begin()->endpoint();
}

void UdpService::open(std::error_code& ec, bool anyPortOnFailure) {
  ec.clear();
  if (fd_.load(std::memory_order_acquire) >= 0) close();

  // An empty local address means "any interface": robots built without one must still stream.
  asio::ip::address address = asio::ip::address_v4::any();
  if (!localAddress_.empty()) {
    address = asio::ip::make_address(localAddress_, ec);
    if (ec) return;
  }
  if (!address.is_v4()) {
    ec = asio::error::address_family_not_supported;
    return;
  }
  const std::uint32_t wanted = localPort_.load(std::memory_order_acquire);
  // Blocking: a receive waits in its one system call, bounded by the socket's time-out.
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    ec = lastError();
    return;
  }
  const auto bindTo = [&](unsigned short port) {
    const asio::ip::udp::endpoint local(address, port);
    if (::bind(fd, local.data(), static_cast<socklen_t>(local.size())) != 0) ec = lastError();
  };
  // No SO_REUSEADDR: a second receiver on the same port must fall back to a free port, not
  // share the port and silently split the stream with the first.
  if (wanted > 0xFFFF) {
    ec = asio::error::invalid_argument;
  } else {
    bindTo(static_cast<unsigned short>(wanted));
  }
  if (ec && anyPortOnFailure) {
    ec.clear();
    bindTo(0);
  }
  if (!ec) {
    // Read back even after a bind to the configured port: port 0 there means "any", and the
    // controller must be told the port actually bound.
    asio::ip::udp::endpoint bound;
    socklen_t size = static_cast<socklen_t>(bound.capacity());
    if (::getsockname(fd, bound.data(), &size) != 0) {
      ec = lastError();
    } else {
      bound.resize(size);
      localPort_.store(bound.port(), std::memory_order_release);
    }
  }
  if (ec) {
    ::close(fd);
    return;
  }
  // Arrival stamps tell datagrams queued before a restart of the controller from those after
  // it. Without them every datagram counts as new, as before.
  const int on = 1;
  (void)::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  armedWait_ = std::chrono::nanoseconds::zero();
  fd_.store(fd, std::memory_order_seq_cst);
  state_.store(kOpen, std::memory_order_release);
}

void UdpService::open(bool anyPortOnFailure) {
  std::error_code ec;
  open(ec, anyPortOnFailure);
}

void UdpService::close() { closeSocket(); }

void UdpService::closeSocket() noexcept {
  state_.store(kClosed, std::memory_order_release);
  const int fd = fd_.exchange(-1, std::memory_order_seq_cst);
  if (fd < 0) return;
  // A receive blocked on another thread returns at once from a shut-down socket; only after it
  // has let go may the number go back to the system, which could hand it to another file.
  (void)::shutdown(fd, SHUT_RDWR);
  while (receivers_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
  ::close(fd);
}

bool UdpService::fromController() noexcept {
  // Anyone on the network could otherwise feed the arm's state to the program.
  if (peer_.address().is_unspecified() || sender_.address() == peer_.address()) return true;
  foreignDatagrams_.fetch_add(1, std::memory_order_relaxed);
  ++foreignSinceLog_;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastForeignLog_ >= std::chrono::seconds(1)) {
    lastForeignLog_ = now;
    try {
      globalLogger()->warn(
          "uid: {} | state stream: {} datagram(s) not from the controller {} dropped, the last from {}", logUid,
          foreignSinceLog_, peer_.address().to_string(), sender_.address().to_string());
    } catch (...) {
    }
    foreignSinceLog_ = 0;
  }
  return false;
}

bool UdpService::armWait(int fd, std::chrono::nanoseconds wait) noexcept {
  // A caller passing the same time-out every time (the usual loop) sets it once.
  if (wait == armedWait_) return true;
  // Rounded up: a time-out of 0 would mean "wait for ever".
  const auto micros = std::chrono::ceil<std::chrono::microseconds>(wait).count();
  constexpr std::int64_t kMaxSeconds = 1'000'000'000;  // beyond that the system waits for ever anyway
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(std::min<std::int64_t>(micros / 1'000'000, kMaxSeconds));
  tv.tv_usec = static_cast<suseconds_t>(micros % 1'000'000);
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) {
    armedWait_ = std::chrono::nanoseconds::zero();
    return false;
  }
  armedWait_ = wait;
  return true;
}

long UdpService::receiveOnce(int fd, std::uint8_t* buffer, bool wait) noexcept {
  iovec data{buffer, kReceiveSize};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(timespec))];
  msghdr message{};
  message.msg_name = sender_.data();
  message.msg_namelen = static_cast<socklen_t>(sender_.capacity());
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd, &message, wait ? 0 : MSG_DONTWAIT);
  if (n < 0) return -1;
  // The endpoint's size follows the address family the system wrote: nothing to resize.
  arrival_ = timespec{};
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
      std::memcpy(&arrival_, CMSG_DATA(c), sizeof arrival_);
    }
  }
  // A datagram cut to the buffer is still a datagram; its length is what was taken.
  return static_cast<long>(std::min<std::size_t>(static_cast<std::size_t>(n), kReceiveSize));
}

std::size_t UdpService::receive(std::uint8_t* buffer, std::chrono::nanoseconds timeout) {
  // Bounds the foreign datagrams dropped once the time is up, so a flood of them cannot hold a
  // caller past its time-out.
  constexpr int kDropsAfterDeadline = 64;
  // Held from before the descriptor is read until the last call on it: see `closeSocket`.
  receivers_.fetch_add(1, std::memory_order_seq_cst);
  struct Leave {
    std::atomic<int>& count;
    ~Leave() { count.fetch_sub(1, std::memory_order_seq_cst); }
  } leave{receivers_};
  const auto deadline = deadlineAfter(timeout);
  std::chrono::nanoseconds wait = timeout;
  int lateDrops = 0;
  for (;;) {
    const int fd = fd_.load(std::memory_order_seq_cst);
    if (fd < 0) return 0;
    const bool blocking = wait > std::chrono::nanoseconds::zero();
    // Without its time-out a blocking call could wait for ever: no wait then.
    if (blocking && !armWait(fd, wait)) return 0;
    const long n = receiveOnce(fd, buffer, blocking);
    if (n >= 0) {
      // A shut-down socket reads as an empty datagram: the service was closed meanwhile.
      if (n == 0 && fd_.load(std::memory_order_seq_cst) < 0) return 0;
      if (fromController()) return static_cast<std::size_t>(n);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!blocking) return 0;
    } else if (errno != EINTR) {
      return 0;
    }
    // The system's time-out counts in kernel ticks and may end a little early: wait out the rest.
    wait = deadline - std::chrono::steady_clock::now();
    if (wait <= std::chrono::nanoseconds::zero() && n >= 0 && ++lateDrops > kDropsAfterDeadline) return 0;
  }
}

bool UdpService::arrivedSince(std::chrono::system_clock::time_point since) const noexcept {
  // Without a stamp every datagram counts as new, as before stamps.
  if (arrival_.tv_sec == 0 && arrival_.tv_nsec == 0) return true;
  // The stamp is on the wall clock, and so is `since`: compared on the one clock, nothing that
  // happens between two readings can skew it. A step of the wall clock between the two is the
  // only error left.
  const auto arrived = std::chrono::seconds(arrival_.tv_sec) + std::chrono::nanoseconds(arrival_.tv_nsec);
  return arrived >= since.time_since_epoch();
}

}  // namespace velmora::internal
