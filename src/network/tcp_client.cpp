// The client's lifecycle and its I/O thread: connecting, reconnecting, the event loop, stopping.

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/error.hpp>

#include <cerrno>
#include <cstring>

#include "common/globals.h"
#include "common/logging.h"
#include "network/tcp_core.h"

namespace velmora::internal {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kWakeTag = 0;

void setLinkOptions(int fd) noexcept {
  // A controller that vanishes without closing must show up as a lost link, not as endless
  // request timeouts; requests are small and must not wait for coalescing.
  const int on = 1, idle = 10, interval = 3, count = 3;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

std::error_code lastError() { return {errno, std::system_category()}; }

}  // namespace

// ---- Core ----------------------------------------------------------------------------------------

TcpClient::Core::Core(TcpClientOptions options, FramerFactory framer)
    : options_(options), framerFactory_(std::move(framer)) {}

TcpClient::Core::~Core() {
  if (wake_ >= 0) ::close(wake_);
  if (epoll_ >= 0) ::close(epoll_);
}

void TcpClient::Core::logHandlerFailure(const char* what, const char* text) noexcept {
  try {
    globalLogger()->error("uid: {} | tcp {} handler threw: {}", logUid, what, text);
  } catch (...) {
  }
}

std::error_code TcpClient::Core::prepare() {
  if (!framer_) framer_ = framerFactory_();
  if (epoll_ < 0) {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) return lastError();
  }
  if (wake_ < 0) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) return lastError();
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeTag;
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev) != 0) {
      const auto ec = lastError();
      ::close(wake_);
      wake_ = -1;
      return ec;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  startDone_ = false;
  startResult_.clear();
  stopRequested_ = false;
  wakePending_ = false;
  return {};
}

void TcpClient::Core::run(std::shared_ptr<const Handlers> handlers, std::string host, std::uint16_t port) noexcept {
  ioThread_ = std::this_thread::get_id();
  running_ = std::move(handlers);
  host_ = std::move(host);
  port_ = port;
  established_ = false;
  firstDone_ = false;
  timer_ = Timer::none;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    readerHandlers_ = running_.get();
  }
  attempt();
  loop();
  closeAttemptSocket();
  closeConnection(asio::error::operation_aborted, false);
  signalStart(asio::error::operation_aborted);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    readerHandlers_ = nullptr;
  }
  running_.reset();
  ioThread_ = std::thread::id();
}

void TcpClient::Core::loop() {
  epoll_event events[8];
  for (;;) {
    int timeout = -1;
    if (timer_ != Timer::none) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(timerAt_ - Clock::now()).count();
      timeout = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
    }
    int n = ::epoll_wait(epoll_, events, 8, timeout);
    if (n < 0) n = 0;  // EINTR; anything else would repeat and is caught by the stop flag
    std::optional<std::error_code> lost;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (wakePending_) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(wake_, &count, sizeof count);
        wakePending_ = false;
      }
      if (stopRequested_) return;
      lost.swap(lostBy_);
    }
    drainInbox();
    if (lost) closeConnection(*lost, true);
    const std::uint64_t tag = socketTag_;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.u64 == kWakeTag || events[i].data.u64 != tag || socketTag_ != tag) continue;
      onSocketEvent(events[i].events);
    }
    if (timer_ != Timer::none && Clock::now() >= timerAt_) {
      const Timer fired = timer_;
      timer_ = Timer::none;
      if (fired == Timer::reconnect) {
        attempt();
      } else {
        closeAttemptSocket();
        attemptFailed(asio::error::timed_out);
      }
    }
  }
}

void TcpClient::Core::requestStop() noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  stopRequested_ = true;
  wakeIo();
}

void TcpClient::Core::wakeIo() noexcept {
  if (wakePending_ || wake_ < 0) return;
  wakePending_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t wrote = ::write(wake_, &one, sizeof one);
}

std::error_code TcpClient::Core::waitStarted(std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, bound, [this] { return startDone_; })) return asio::error::timed_out;
  return startResult_;
}

void TcpClient::Core::signalStart(const std::error_code& ec) {
  if (firstDone_) return;
  firstDone_ = true;
  std::lock_guard<std::mutex> lock(mutex_);
  startDone_ = true;
  startResult_ = ec;
  changed_.notify_all();
}

// ---- Connecting (I/O thread) ------------------------------------------------------------------------

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
  timerAt_ = Clock::now() + options_.connectTimeout;
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
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to.address), to.size) == 0) {
      connectedNow(fd);
      return;
    }
    if (errno == EINPROGRESS) {
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
  setLinkOptions(fd);
  framer_->reset();
  const std::uint64_t tag = ++socketTag_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fd_ = fd;
    socketTagShared_ = tag;
    up_ = true;
    ++connection_;
    queue_.clear();
    queuedBytes_ = 0;
    lostBy_.reset();
    readArmed_ = true;
    writeArmed_ = false;
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
    ev.data.u64 = tag;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
    connected = true;
  }
  established_ = true;
  callHandler("connect", running_->onConnect, std::error_code());
  signalStart(std::error_code());
}

// Ends the connection once no caller reads from or writes to its socket any more (both only make
// calls that return at once or when the socket is shut down), delivers what was read before
// the end, then tells the owner.
void TcpClient::Core::closeConnection(const std::error_code& why, bool reconnect) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (fd_ < 0) return;
    up_ = false;
    connected = false;
    closing_ = true;
    if (holder_.load() == kCaller) ::shutdown(fd_, SHUT_RDWR);  // wakes a reader blocked in poll
    changed_.wait(lock, [this] { return holder_.load() != kCaller && !directWriting_; });
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd_, nullptr);
    ::close(fd_);
    fd_ = -1;
    ++socketTagShared_;
    closing_ = false;
    readArmed_ = writeArmed_ = false;
    queue_.clear();
    queuedBytes_ = 0;
    lostBy_.reset();
    if (sendAllWaiters_ > 0) changed_.notify_all();
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
  if ((events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0) {
    const std::error_code ended = ioRead();
    if (ended) {
      closeConnection(ended, true);
      return;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // A caller that reads re-arms when it lets go; left disarmed, a failed socket cannot keep
  // this thread busy meanwhile.
  if (readArmed_ || writeArmed_) applyInterest();
}

void TcpClient::Core::applyInterest() noexcept {
  if (fd_ < 0 || closing_) return;
  epoll_event ev{};
  ev.events = EPOLLONESHOT | (readArmed_ ? EPOLLIN | EPOLLRDHUP : 0u) | (writeArmed_ ? EPOLLOUT : 0u);
  ev.data.u64 = socketTagShared_;
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd_, &ev);
}

// ---- TcpClient ------------------------------------------------------------------------------------

TcpClient::TcpClient(TcpClientOptions options)
    : TcpClient(options, [] { return std::make_unique<DelimiterFramer>(); }) {}

TcpClient::TcpClient(TcpClientOptions options, FramerFactory framer)
    : options_(options), core_(std::make_shared<Core>(options, std::move(framer))) {
  core_->handlers = std::make_shared<const Core::Handlers>();
}

TcpClient::~TcpClient() {
  if (onOwnIoThread()) {
    core_->requestStop();
    job_.reset();  // the loop holds the core until it ends
    return;
  }
  std::lock_guard<std::mutex> lock(controlMutex_);
  stopLocked();
}

void TcpClient::setHandlers(ConnectHandler onConnect, ReceiveHandler onReceive, DisconnectHandler onDisconnect) {
  std::lock_guard<std::mutex> lock(core_->handlersMutex);
  auto handlers = std::make_shared<Core::Handlers>(*core_->handlers);
  handlers->onConnect = std::move(onConnect);
  handlers->onReceive = std::move(onReceive);
  handlers->onDisconnect = std::move(onDisconnect);
  core_->handlers = std::move(handlers);
}

void TcpClient::setClaim(Claim claim) {
  std::lock_guard<std::mutex> lock(core_->handlersMutex);
  auto handlers = std::make_shared<Core::Handlers>(*core_->handlers);
  handlers->claim = std::move(claim);
  core_->handlers = std::move(handlers);
}

bool TcpClient::onOwnIoThread() const noexcept { return core_->onIoThread(); }

std::error_code TcpClient::begin(const std::string& host, std::uint16_t port) {
  stopLocked();
  if (host.empty()) return asio::error::host_not_found;
  std::shared_ptr<const Core::Handlers> handlers;
  {
    std::lock_guard<std::mutex> handlersLock(core_->handlersMutex);
    handlers = core_->handlers;
  }
  try {
    if (const std::error_code ec = core_->prepare()) return ec;
    job_ = IoThreads::run([core = core_, handlers, host, port]() mutable {
      core->run(std::move(handlers), std::move(host), port);
    });
  } catch (const std::system_error& e) {
    return e.code();
  } catch (const std::bad_alloc&) {
    return std::make_error_code(std::errc::not_enough_memory);
  }
  return {};
}

std::error_code TcpClient::start(const std::string& host, std::uint16_t port) {
  if (onOwnIoThread()) return std::make_error_code(std::errc::resource_deadlock_would_occur);
  std::lock_guard<std::mutex> lock(controlMutex_);
  // Name resolution is not covered by the connect timeout; give it a generous margin.
  const auto bound = options_.connectTimeout + std::chrono::seconds(30);
  if (launched_) {
    launched_ = false;
    if (!core_->waitStarted(bound)) return {};
  }
  if (const std::error_code ec = begin(host, port)) return ec;
  const std::error_code result = core_->waitStarted(bound);
  if (result) stopLocked();
  return result;
}

void TcpClient::launch(const std::string& host, std::uint16_t port) {
  if (onOwnIoThread()) return;
  std::lock_guard<std::mutex> lock(controlMutex_);
  launched_ = !begin(host, port);
}

void TcpClient::stop() noexcept {
  if (onOwnIoThread()) {
    core_->requestStop();
    return;
  }
  std::lock_guard<std::mutex> lock(controlMutex_);
  stopLocked();
}

void TcpClient::stopLocked() noexcept {
  launched_ = false;
  if (!job_) return;
  core_->requestStop();
  job_->join();
  job_.reset();
}

bool TcpClient::isConnected() const noexcept { return core_->connected.load(); }

bool TcpClient::claimRead() noexcept { return core_->claimRead(); }
TcpClient::ReadStatus TcpClient::read() noexcept { return core_->callerRead(); }
bool TcpClient::waitReadable(std::chrono::steady_clock::time_point deadline) noexcept {
  return core_->waitReadable(deadline);
}
void TcpClient::releaseRead() noexcept { core_->releaseRead(); }

}  // namespace velmora::internal
