// Reading: one party at a time reads the socket and owns the framer. The I/O thread reads when
// the socket is armed in its epoll set; a waiting caller may take the reading instead, claims the
// messages it wants and leaves the rest, in order, to the I/O thread. Taking and giving back the
// reading touch no epoll interest: the I/O thread, woken once by bytes a caller reads, parks its
// read interest until callers stop requesting (see `unparkRead`).

#include <poll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>

#include <asio/error.hpp>

#include <cerrno>
#include <ctime>

#include "common/globals.h"
#include "common/logging.h"
#include "network/tcp/tcp_core.h"

namespace velmora::internal {

namespace {

// Reads per turn before looking at anything else (a stop, the inbox, the clock).
constexpr int kReadsPerTurn = 16;

enum class Got { some, drained, none, ended };

// One read into the framer's room: `flags` without MSG_DONTWAIT sleep in the socket until bytes
// come or its receive timeout ends (then nothing was read).
Got readOnce(int fd, Framer& framer, MessageSink& sink, std::error_code& ended, int flags = MSG_DONTWAIT) {
  auto [room, size] = framer.prepare();
  ssize_t n;
  do {
    n = ::recv(fd, room, size, flags);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Got::none;
    ended = {errno, std::system_category()};
    return Got::ended;
  }
  if (n == 0) {
    ended = asio::error::eof;
    return Got::ended;
  }
  switch (framer.commit(static_cast<std::size_t>(n), sink)) {
    case FrameStatus::overflow:
      ended = asio::error::message_size;
      return Got::ended;
    case FrameStatus::stopped:
      return Got::drained;
    case FrameStatus::ok:
      break;
  }
  // A short read took everything there was; asking again would only cost a call.
  return static_cast<std::size_t>(n) < size ? Got::drained : Got::some;
}

// Sleeps until `fd` has something to read or `deadline` passes; false at the deadline.
bool pollUntil(int fd, std::chrono::steady_clock::time_point deadline) noexcept {
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return false;
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
  wait.tv_nsec = static_cast<long>(ns % 1'000'000'000);
  pollfd watched{};
  watched.fd = fd;
  watched.events = POLLIN | POLLRDHUP;
  return ::ppoll(&watched, 1, &wait, nullptr) > 0;
}

}  // namespace

// Every message the I/O thread reads goes to the receive handler.
class IoReadSink final : public MessageSink {
 public:
  explicit IoReadSink(TcpClient::Core& core) : core_(core) {}
  bool onMessage(std::string_view message) override {
    core_.callHandler("receive", core_.running_->onReceive, message);
    std::lock_guard<std::mutex> lock(core_.mutex_);
    return !core_.stopRequested_ && core_.up_;
  }

 private:
  TcpClient::Core& core_;
};

// A reading caller's messages: claimed where they are read, or left to the I/O thread. Once one
// is left there, the rest follow until the I/O thread has handled it, so nothing overtakes.
class CallerReadSink final : public MessageSink {
 public:
  explicit CallerReadSink(TcpClient::Core& core) : core_(core) {}
  bool onMessage(std::string_view message) override {
    const auto& claim = core_.readerHandlers_->claim;
    if (core_.undispatched_.load(std::memory_order_acquire) == 0 && claim && claim(message)) return true;
    core_.leaveToIo(message);
    return true;
  }

 private:
  TcpClient::Core& core_;
};

void TcpClient::Core::logOverflow() noexcept {
  try {
    globalLogger()->error("uid: {} | tcp {}:{} sent a message over {} bytes, link dropped", logUid, host_, port_,
                          DelimiterFramer::kDefaultCap);
  } catch (...) {
  }
}

std::error_code TcpClient::Core::ioRead(bool& taken) {
  int fd;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    int nobody = kNobody;
    if (!up_ || !readArmed_ || !holder_.compare_exchange_strong(nobody, kIoThread)) return {};
    fd = fd_;
  }
  // Whatever a caller left here was read before anything this read brings.
  drainInbox();
  std::error_code ended;
  try {
    IoReadSink sink(*this);
    for (int i = 0; i < kReadsPerTurn; ++i) {
      const Got got = readOnce(fd, *framer_, sink, ended);
      if (i == 0) taken = got == Got::none;
      if (got != Got::some) break;
    }
  } catch (const std::exception& e) {
    try {
      globalLogger()->error("uid: {} | tcp receive: {}", logUid, e.what());
    } catch (...) {
    }
    ended = std::make_error_code(std::errc::not_enough_memory);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    holder_ = kNobody;
  }
  if (ended == asio::error::message_size) logOverflow();
  return ended;
}

void TcpClient::Core::drainInbox() {
  for (;;) {
    std::string message;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (inbox_.empty()) return;
      message.swap(inbox_.front());
      inbox_.pop_front();
    }
    callHandler("receive", running_->onReceive, std::string_view(message));
    undispatched_.fetch_sub(1, std::memory_order_release);
  }
}

void TcpClient::Core::leaveToIo(std::string_view message) {
  std::lock_guard<std::mutex> lock(mutex_);
  inbox_.emplace_back(message);
  undispatched_.fetch_add(1, std::memory_order_relaxed);
  wakeIo();
}

void TcpClient::Core::reportLost(const std::error_code& ec) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!up_ || closing_) return;
  // New sends fail at once; the I/O thread closes and tells the owner.
  up_ = false;
  lostBy_ = ec;
  wakeIo();
}

bool TcpClient::Core::claimRead() noexcept {
  if (holder_.load() != kNobody || onIoThread()) return false;
  // While the I/O thread is behind, whatever a caller read would only queue up behind it.
  if (undispatched_.load(std::memory_order_relaxed) != 0) return false;
  // Taken first and checked after, so of several callers that find the reading free only one
  // goes on to the lock (the senders need it too).
  int nobody = kNobody;
  if (!holder_.compare_exchange_strong(nobody, kCaller)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!up_ || closing_ || readerHandlers_ == nullptr) {
    holder_.store(kNobody);
    if (closing_) changed_.notify_all();  // the I/O thread waits for readers to leave
    return false;
  }
  ++claims_;
  // An armed read interest would wake the I/O thread for every message this caller reads: in
  // the kernel, where it finds the bytes gone and sleeps again without ever parking by itself.
  // Parked here instead.
  if (readArmed_) {
    ++parks_;
    park();
    applyInterest();
  }
  return true;
}

TcpClient::ReadStatus TcpClient::Core::callerRead(std::chrono::steady_clock::time_point deadline) noexcept {
  std::error_code ended;
  try {
    CallerReadSink sink(*this);
    // The first call waits, when there is time to: in the socket itself while the time left
    // fills a slice (the socket's timeout ends that call), else with a poll bounded by it.
    int flags = MSG_DONTWAIT;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left >= kWaitSlice && blockingReads_) {
      flags = 0;
    } else if (left > std::chrono::steady_clock::duration::zero() && !pollUntil(fd_, deadline)) {
      return ReadStatus::idle;
    }
    Got got = Got::some;
    for (int i = 0; i < kReadsPerTurn && got == Got::some; ++i) {
      got = readOnce(fd_, *framer_, sink, ended, i == 0 ? flags : MSG_DONTWAIT);
      // Anything left to the I/O thread may be the reply this caller waits for, and all that
      // follows must wait behind it: let the I/O thread read on.
      if (undispatched_.load(std::memory_order_acquire) != 0 && got != Got::ended) return ReadStatus::backlog;
    }
    if (got != Got::ended) return ReadStatus::idle;
  } catch (const std::exception&) {
    ended = std::make_error_code(std::errc::not_enough_memory);
  }
  if (ended == asio::error::message_size) logOverflow();
  reportLost(ended);
  return ReadStatus::closed;
}

void TcpClient::Core::releaseRead() noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  // Stored before the caller looks whether others wait, to call one to read on; one who came
  // meanwhile and found the reading taken is seen there.
  holder_.store(kNobody);
  if (closing_) changed_.notify_all();
  // What this caller left to the I/O thread may hide replies others wait for behind it.
  if (undispatched_.load(std::memory_order_relaxed) != 0) {
    unparkNow();
  } else if (tickMissed_ && readParked_) {
    tickMissed_ = false;
    armTick();
  }
}

void TcpClient::Core::park() noexcept {
  readArmed_ = false;
  readParked_ = true;
  armTick();
}

void TcpClient::Core::armTick() noexcept {
  // Counts as put off now: a request that begins waiting within half a tick leaves it as it is.
  tickDeferredAt_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
  itimerspec at{};
  at.it_value.tv_nsec = std::chrono::duration_cast<std::chrono::nanoseconds>(kParkedTick).count();
  ::timerfd_settime(parkTimer_, 0, &at, nullptr);
}

void TcpClient::Core::deferTick() noexcept {
  if (!readParked_.load(std::memory_order_relaxed)) return;
  // Setting the timer is a system call: done at most every half tick, so the tick comes half a
  // tick to a tick after the last request began waiting.
  constexpr auto kEvery = std::chrono::duration_cast<std::chrono::steady_clock::duration>(kParkedTick).count() / 2;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  auto last = tickDeferredAt_.load(std::memory_order_relaxed);
  if (now - last < kEvery || !tickDeferredAt_.compare_exchange_strong(last, now, std::memory_order_relaxed)) return;
  armTick();
}

void TcpClient::Core::unparkRead() noexcept {
  // Requests put the tick off while they go on: it comes once they have stopped. One that still
  // waits for a late reply arms it again when it lets go, so a long wait costs no ticks.
  if (holder_.load() != kNobody) {
    tickMissed_ = true;
    return;
  }
  unparkNow();
}

void TcpClient::Core::unparkNow() noexcept {
  if (!readParked_) return;
  readParked_ = false;
  if (!up_ || closing_) return;
  readArmed_ = true;
  applyInterest();
}

}  // namespace velmora::internal
