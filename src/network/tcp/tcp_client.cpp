// The client's lifecycle and its I/O thread: the event loop, starting and stopping a period; the
// caller-facing side of the client. Connecting and the connection's state are in tcp_connection.cpp.

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <asio/error.hpp>

#include <cerrno>
#include <cstring>

#include "common/cpu_relax.h"
#include "common/globals.h"
#include "common/logging.h"
#include "common/wait_policy.h"
#include "network/tcp/loop_descriptors.h"
#include "network/tcp/tcp_core.h"

namespace velmora::internal {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kWakeTag = 0;
constexpr std::uint64_t kParkTimerTag = ~std::uint64_t{0};  // sockets count up from 1
constexpr std::chrono::microseconds kStartWatch{150};

std::error_code lastError() { return {errno, std::system_category()}; }

}  // namespace

// ---- Core ----------------------------------------------------------------------------------------

TcpClient::Core::Core(TcpClientOptions options, FramerFactory framer)
    : options_(options), framerFactory_(std::move(framer)) {}

TcpClient::Core::~Core() {
  // Every socket has left the epoll set by now: only the loop's own descriptors remain in it.
  returnLoopDescriptors({epoll_, wake_, parkTimer_});
}

void TcpClient::Core::logHandlerFailure(const char* what, const char* text) noexcept {
  try {
    globalLogger()->error("uid: {} | tcp {} handler threw: {}", logUid, what, text);
  } catch (...) {
  }
}

std::error_code TcpClient::Core::watch(int fd, std::uint64_t tag, int& kept) {
  if (fd < 0) return lastError();
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = tag;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
    const auto ec = lastError();
    ::close(fd);
    return ec;
  }
  kept = fd;
  return {};
}

std::error_code TcpClient::Core::prepare() {
  if (!framer_) framer_ = framerFactory_();
  LoopDescriptors kept;
  if (epoll_ < 0 && takeLoopDescriptors(kept)) {
    epoll_ = kept.epoll;
    wake_ = kept.wake;
    parkTimer_ = kept.tick;
  }
  if (epoll_ < 0) {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) return lastError();
  }
  if (wake_ < 0) {
    if (const auto ec = watch(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), kWakeTag, wake_)) return ec;
  }
  if (parkTimer_ < 0) {
    if (const auto ec =
            watch(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK), kParkTimerTag, parkTimer_)) {
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

void TcpClient::Core::open(std::shared_ptr<const Handlers> handlers, std::string host, std::uint16_t port,
                           bool attemptHere) noexcept {
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
  if (!attemptHere) return;
  // A connection on the local network is made within the call; handing it to a thread that
  // first has to wake would cost the starter two wake-ups on top.
  ioThread_ = std::this_thread::get_id();
  starterAttempts_ = true;
  attempt();
  starterAttempts_ = false;
  ioThread_ = std::thread::id();
}

void TcpClient::Core::run(bool attempted) noexcept {
  ioThread_ = std::this_thread::get_id();
  if (attempted) {
    keepAliveLeft();
  } else {
    attempt();
  }
  loop();
  finish();
  ioThread_ = std::thread::id();
}

void TcpClient::Core::finish() noexcept {
  closeAttemptSocket();
  closeConnection(asio::error::operation_aborted, false);
  signalStart(asio::error::operation_aborted);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    readerHandlers_ = nullptr;
  }
  running_.reset();
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
    bool ticked = false;
    for (int i = 0; i < n; ++i) ticked = ticked || events[i].data.u64 == kParkTimerTag;
    if (ticked) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = ::read(parkTimer_, &count, sizeof count);
    }
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
      if (ticked && readParked_) unparkRead();
    }
    drainInbox();
    if (lost) closeConnection(*lost, true);
    const std::uint64_t tag = socketTag_;
    for (int i = 0; i < n; ++i) {
      // The wake descriptor, the tick, a closed socket.
      if (events[i].data.u64 != tag || socketTag_ != tag) continue;
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
  // A connection on the local network is up within tens of microseconds: watching that long
  // spares the starter a wake-up, which costs as much again, but only while a core stands idle
  // for the I/O thread that makes the connection.
  if (!startDone_.load(std::memory_order_acquire) && idleCores() >= 2) {
    spinWhile([this] { return !startDone_.load(std::memory_order_acquire); }, kStartWatch);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, bound, [this] { return startDone_.load(); })) return asio::error::timed_out;
  return startResult_;
}

void TcpClient::Core::signalStart(const std::error_code& ec) {
  if (firstDone_) return;
  firstDone_ = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    startDone_ = true;
    startResult_ = ec;
  }
  // The loop holds this core, so it outlives the call; a starter woken now finds the lock free.
  changed_.notify_all();
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

std::error_code TcpClient::begin(const std::string& host, std::uint16_t port, bool attemptHere) {
  stopLocked();
  if (host.empty()) return asio::error::host_not_found;
  std::shared_ptr<const Core::Handlers> handlers;
  {
    std::lock_guard<std::mutex> handlersLock(core_->handlersMutex);
    handlers = core_->handlers;
  }
  bool opened = false;
  try {
    if (const std::error_code ec = core_->prepare()) return ec;
    std::string name(host);
    opened = true;
    core_->open(std::move(handlers), std::move(name), port, attemptHere);
    job_ = IoThreads::run([core = core_, attemptHere] { core->run(attemptHere); });
  } catch (const std::system_error& e) {
    if (opened) core_->finish();
    return e.code();
  } catch (const std::bad_alloc&) {
    if (opened) core_->finish();
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
  if (const std::error_code ec = begin(host, port, true)) return ec;
  const std::error_code result = core_->waitStarted(bound);
  if (result) stopLocked();
  return result;
}

void TcpClient::launch(const std::string& host, std::uint16_t port) {
  if (onOwnIoThread()) return;
  std::lock_guard<std::mutex> lock(controlMutex_);
  launched_ = !begin(host, port, false);
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

bool TcpClient::isConnected() const noexcept { return core_->up_.load(); }

std::chrono::steady_clock::duration TcpClient::handshakeTime() const noexcept {
  return std::chrono::steady_clock::duration(core_->handshake_.load(std::memory_order_relaxed));
}

bool TcpClient::claimRead() noexcept { return core_->claimRead(); }
TcpClient::ReadStatus TcpClient::read(std::chrono::steady_clock::time_point deadline) noexcept {
  return core_->callerRead(deadline);
}
void TcpClient::releaseRead() noexcept { core_->releaseRead(); }
void TcpClient::deferTick() noexcept { core_->deferTick(); }
bool TcpClient::readParked() const noexcept { return core_->readParked_.load(); }
std::uint64_t TcpClient::callerReads() const noexcept {
  std::lock_guard<std::mutex> lock(core_->mutex_);
  return core_->claims_;
}
std::uint64_t TcpClient::readParks() const noexcept {
  std::lock_guard<std::mutex> lock(core_->mutex_);
  return core_->parks_;
}

}  // namespace velmora::internal
