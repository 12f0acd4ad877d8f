// The connection's state machine on the I/O thread: resolving, trying each endpoint within the
// connect timeout, the established connection, its end and the reconnection after it.

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/error.hpp>

#include <cerrno>
#include <cstring>

#include "network/tcp/tcp_core.h"

namespace velmora::internal {

namespace {

using Clock = std::chrono::steady_clock;

// Requests are small and must not wait for coalescing.
void setNoDelay(int fd) noexcept {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// A controller that vanishes without closing must show up as a lost link, not as endless request
// timeouts.
void setKeepAlive(int fd) noexcept {
  const int on = 1, idle = 10, interval = 3, count = 3;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

std::error_code lastError() { return {errno, std::system_category()}; }

// Lets a reading caller sleep in its receive call, which its slice bounds. Every other call on the
// socket passes MSG_DONTWAIT and stays non-blocking. False leaves the socket as it was.
bool allowBlockingReads(int fd, std::chrono::milliseconds slice) noexcept {
  timeval bound{};
  bound.tv_sec = static_cast<time_t>(slice.count() / 1000);
  bound.tv_usec = static_cast<suseconds_t>((slice.count() % 1000) * 1000);
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound) != 0) return false;
  int nonBlocking = 0;
  return ::ioctl(fd, FIONBIO, &nonBlocking) == 0;
}

}  // namespace

void TcpClient::Core::attempt() {
  endpoints_.clear();
  nextEndpoint_ = 0;
  sockaddr_in v4{};
  sockaddr_in6 v6{};
  if (::inet_pton(AF_INET, host_.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port_);
    endpoints_.emplace_back(reinterpret_cast<const sockaddr*>(&v4), sizeof v4);
  } else if (::inet_pton(AF_INET6, host_.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port_);
    endpoints_.emplace_back(reinterpret_cast<const sockaddr*>(&v6), sizeof v6);
  } else {
    // Resolved synchronously on this thread: nothing else waits for it meanwhile.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port_);
    if (::getaddrinfo(host_.c_str(), service.c_str(), &hints, &found) == 0) {
      for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (a->ai_addrlen <= sizeof(sockaddr_storage)) endpoints_.emplace_back(a->ai_addr, a->ai_addrlen);
      }
      ::freeaddrinfo(found);
    }
    if (endpoints_.empty()) {
      attemptFailed(asio::error::host_not_found);
      return;
    }
  }
  timer_ = Timer::connectTimeout;
  attemptBegan_ = Clock::now();
  timerAt_ = attemptBegan_ + options_.connectTimeout;
  lastAttemptError_ = asio::error::connection_refused;
  tryNextEndpoint();
}

void TcpClient::Core::tryNextEndpoint() {
  while (nextEndpoint_ < endpoints_.size()) {
    const Endpoint& to = endpoints_[nextEndpoint_];
    const int fd = ::socket(to.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      lastAttemptError_ = lastError();
      ++nextEndpoint_;
      continue;
    }
    const auto address = reinterpret_cast<const sockaddr*>(&to.address);
    bool connected = ::connect(fd, address, to.size) == 0;
    // On the local network the handshake is mostly over by now: then it needs no epoll round.
    // Asked again, connect tells in one call: done (0 or EISCONN), still going, or how it failed.
    if (!connected && errno == EINPROGRESS) connected = ::connect(fd, address, to.size) == 0 || errno == EISCONN;
    if (connected) {
      connectedNow(fd);
      return;
    }
    if (errno == EALREADY || errno == EINPROGRESS) {
      attemptFd_ = fd;
      epoll_event ev{};
      ev.events = EPOLLOUT | EPOLLONESHOT;
      ev.data.u64 = ++socketTag_;
      if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) == 0) return;
    }
    lastAttemptError_ = lastError();
    ::close(fd);
    attemptFd_ = -1;
    ++nextEndpoint_;
  }
  attemptFailed(lastAttemptError_);
}

void TcpClient::Core::finishConnect() {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(attemptFd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error == EINPROGRESS || error == EALREADY) {
    epoll_event ev{};
    ev.events = EPOLLOUT | EPOLLONESHOT;
    ev.data.u64 = socketTag_;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, attemptFd_, &ev);
    return;
  }
  const int fd = attemptFd_;
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  attemptFd_ = -1;
  if (error == 0) {
    connectedNow(fd);
    return;
  }
  ::close(fd);
  lastAttemptError_ = {error, std::system_category()};
  ++nextEndpoint_;
  tryNextEndpoint();
}

void TcpClient::Core::closeAttemptSocket() noexcept {
  if (attemptFd_ < 0) return;
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, attemptFd_, nullptr);
  ::close(attemptFd_);
  attemptFd_ = -1;
  ++socketTag_;
}

void TcpClient::Core::attemptFailed(const std::error_code& ec) {
  timer_ = Timer::none;
  callHandler("connect", running_->onConnect, ec);
  if (!firstDone_) {
    signalStart(ec);  // the starting caller ends this period
    return;
  }
  scheduleReconnect();
}

void TcpClient::Core::scheduleReconnect() {
  if (!options_.autoReconnect) return;
  timer_ = Timer::reconnect;
  timerAt_ = Clock::now() + options_.reconnectDelay;
}

void TcpClient::Core::connectedNow(int fd) {
  timer_ = Timer::none;
  handshake_.store((Clock::now() - attemptBegan_).count(), std::memory_order_relaxed);
  setNoDelay(fd);
  const bool blocking = allowBlockingReads(fd, kWaitSlice);
  framer_->reset();
  const std::uint64_t tag = ++socketTag_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fd_ = fd;
    blockingReads_ = blocking;
    tickMissed_ = false;
    socketTagShared_ = tag;
    up_ = true;
    sending_.open();
    lostBy_.reset();
    // Where callers read, the requests that follow a connection have their replies read by
    // their callers: the read interest starts parked, so those replies don't wake this thread
    // one by one (it takes up reading once callers stop, see `unparkRead`).
    const bool callersRead = static_cast<bool>(running_->claim);
    readArmed_ = !callersRead;
    readParked_ = false;
    writeArmed_ = false;
    epoll_event ev{};
    ev.events = EPOLLONESHOT | (callersRead ? 0u : EPOLLIN | EPOLLRDHUP);
    ev.data.u64 = tag;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
    if (callersRead) park();
  }
  established_ = true;
  callHandler("connect", running_->onConnect, std::error_code());
  signalStart(std::error_code());
  // Only the I/O thread closes the socket; the starter need not wait for these.
  if (!starterAttempts_) setKeepAlive(fd);
}

void TcpClient::Core::keepAliveLeft() noexcept {
  // Nothing but this thread closes fd_, so it is the starter's connection or none yet (an
  // attempt still under way sets its own once connected).
  int fd = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fd = fd_;
  }
  if (fd >= 0) setKeepAlive(fd);
}

// Ends the connection once no caller reads from or writes to its socket any more (both only make
// calls that return at once or when the socket is shut down), delivers what was read before
// the end, then tells the owner.
void TcpClient::Core::closeConnection(const std::error_code& why, bool reconnect) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (fd_ < 0) return;
    up_ = false;
    closing_ = true;
    if (holder_.load() == kCaller) ::shutdown(fd_, SHUT_RDWR);  // wakes a reader asleep in the socket
    changed_.wait(lock, [this] { return holder_.load() != kCaller && !sending_.writing(); });
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd_, nullptr);
    ::close(fd_);
    fd_ = -1;
    ++socketTagShared_;
    closing_ = false;
    readArmed_ = writeArmed_ = readParked_ = false;
    sending_.close();
    lostBy_.reset();
  }
  ++socketTag_;
  drainInbox();
  if (established_) {
    established_ = false;
    callHandler("disconnect", running_->onDisconnect, why);
  }
  if (reconnect) scheduleReconnect();
}

void TcpClient::Core::onSocketEvent(std::uint32_t events) {
  if (attemptFd_ >= 0) {
    finishConnect();
    return;
  }
  if (!established_) return;
  if ((events & EPOLLOUT) != 0) {
    const std::error_code broken = ioWrite();
    if (broken) {
      closeConnection(broken, true);
      return;
    }
  }
  bool taken = false;
  if ((events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0) {
    const std::error_code ended = ioRead(taken);
    if (ended) {
      closeConnection(ended, true);
      return;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // A caller reads, or has just read what woke this thread: re-arming now would wake it for
  // each of the callers' replies. Parked, the read interest comes back once callers stop
  // reading; a failed socket cannot keep this thread busy meanwhile either.
  if (readArmed_ && (taken || holder_.load() == kCaller)) park();
  if (readArmed_ || writeArmed_) applyInterest();
}

void TcpClient::Core::applyInterest() noexcept {
  if (fd_ < 0 || closing_) return;
  epoll_event ev{};
  ev.events = EPOLLONESHOT | (readArmed_ ? EPOLLIN | EPOLLRDHUP : 0u) | (writeArmed_ ? EPOLLOUT : 0u);
  ev.data.u64 = socketTagShared_;
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd_, &ev);
}

}  // namespace velmora::internal
