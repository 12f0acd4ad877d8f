#include "native/callback_gate.h"

#include <dlfcn.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace velmora::internal {

namespace {

std::atomic<vel_event_fn> eventFn{nullptr};
std::atomic<vel_connection_fn> connectionFn{nullptr};

// The robot whose callback this thread runs now (0: none; ids start at 1).
thread_local std::int64_t currentRobot = 0;

class Gate {
 public:
  bool enter() noexcept {
    // Counted before the test, so a closing gate either sees this crossing or stops it.
    inFlight_.fetch_add(1);
    if (closed_.load()) {
      leave();
      return false;
    }
    return true;
  }

  void leave() noexcept {
    if (inFlight_.fetch_sub(1) == 1 && waiters_.load() > 0) wake();
  }

  void close() noexcept { closed_.store(true); }

  void wake() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
  }

  // Waits until `idle()` holds; the predicate is also polled, so a wake-up missed between a
  // change and the waiter's registration costs at most one slice.
  template <class Idle>
  bool waitUntil(std::chrono::milliseconds timeout, Idle idle) noexcept {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    waiters_.fetch_add(1);
    bool done = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!(done = idle()) && std::chrono::steady_clock::now() < deadline) {
        changed_.wait_for(lock, std::chrono::milliseconds(10));
      }
    }
    waiters_.fetch_sub(1);
    return done;
  }

  bool noneInFlight() const noexcept { return inFlight_.load() == 0; }

 private:
  std::atomic<int> inFlight_{0};
  std::atomic<int> waiters_{0};
  std::atomic<bool> closed_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
};

// Never destroyed: detached delivery threads of the library may still pass through it while the
// process exits.
Gate& gate() noexcept {
  static Gate* const instance = new Gate;
  return *instance;
}

// The deleting thread of robots destroyed inside their own callbacks; joined when the library
// unloads, after the deletions queued so far.
class Deleter {
 public:
  ~Deleter() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  void add(std::function<void()> deletion) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(deletion));
    ++pending_;
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    wake_.notify_one();
  }

  bool idle() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_ == 0;
  }

 private:
  void run() noexcept {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      std::function<void()> deletion = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      try {
        deletion();
      } catch (...) {
        // A destructor that throws is already reported by the library's own log.
      }
      deletion = nullptr;
      lock.lock();
      --pending_;
      lock.unlock();
      gate().wake();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  std::size_t pending_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

Deleter& deleter() {
  static Deleter instance;
  return instance;
}

// The managed runtime's own calls for its threads, found in the process when it hosts one;
// absent (and nothing is detached) under any other host.
class RuntimeThreads {
 public:
  RuntimeThreads() noexcept
      : internal_(reinterpret_cast<Internal>(::dlsym(RTLD_DEFAULT, "mono_thread_internal_current"))),
        detach_(reinterpret_cast<Detach>(::dlsym(RTLD_DEFAULT, "mono_thread_info_detach"))) {
    if (internal_ == nullptr) detach_ = nullptr;
  }

  /// Whether this thread belongs to the runtime now (or no runtime can be told).
  bool attached() const noexcept { return detach_ == nullptr || internal_() != nullptr; }

  /// Gives this thread back as its end would: the runtime forgets it wholly, so it neither waits
  /// for it at exit nor finds a half-registered thread at its next call.
  void detach() const noexcept {
    if (detach_ != nullptr && internal_() != nullptr) detach_();
  }

 private:
  using Internal = void* (*)();
  using Detach = void (*)();
  Internal internal_;
  Detach detach_;
};

const RuntimeThreads& runtimeThreads() noexcept {
  static const RuntimeThreads instance;
  return instance;
}

}  // namespace

CallbackScope::CallbackScope(std::int64_t robotId) noexcept {
  if (!gate().enter()) return;
  open_ = true;
  attached_ = runtimeThreads().attached();
  previous_ = currentRobot;
  currentRobot = robotId;
}

CallbackScope::~CallbackScope() {
  if (!open_) return;
  currentRobot = previous_;
  // Before leaving the gate: once it closed, the runtime may be gone.
  if (!attached_) runtimeThreads().detach();
  gate().leave();
}

vel_event_fn eventEntry() noexcept { return eventFn.load(); }

vel_connection_fn connectionEntry() noexcept { return connectionFn.load(); }

bool insideCallbackOf(std::int64_t robotId) noexcept { return robotId != 0 && currentRobot == robotId; }

void deferDeletion(std::function<void()> deletion) { deleter().add(std::move(deletion)); }

bool closeGate(std::chrono::milliseconds timeout) noexcept {
  gate().close();
  return gate().waitUntil(timeout, [] { return gate().noneInFlight(); });
}

bool waitIdle(std::chrono::milliseconds timeout) noexcept {
  Deleter& d = deleter();
  return gate().waitUntil(timeout, [&d] { return gate().noneInFlight() && d.idle(); });
}

}  // namespace velmora::internal

extern "C" {

int32_t vel_set_callbacks(vel_event_fn on_event, vel_connection_fn on_connection) noexcept {
  velmora::internal::eventFn.store(on_event);
  velmora::internal::connectionFn.store(on_connection);
  return VEL_OK;
}

}  // extern "C"
