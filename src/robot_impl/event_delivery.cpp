#include "robot_impl/event_delivery.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "common/globals.h"
#include "common/logging.h"
#include "common/operation_log.h"

namespace velmora::internal {

struct EventDeliveryAccess {
  static EventCallback& callback(EventChannel& channel) { return channel.callback_; }
  static bool& closed(EventChannel& channel) { return channel.closed_; }
  static int& running(EventChannel& channel) { return channel.running_; }
};

namespace {

using Access = EventDeliveryAccess;
using Clock = std::chrono::steady_clock;

// How long an idle delivery thread waits for the next delivery before it ends.
constexpr auto kLinger = std::chrono::milliseconds(100);
// At most one drop warning in this time, however fast the controller sends.
constexpr auto kDropLogInterval = std::chrono::seconds(1);

struct Delivery {
  std::shared_ptr<EventChannel> channel;
  EventInfo info;
};

// Created once and never destroyed: detached delivery threads may still run, or wait for work,
// while the process's static objects are destroyed at exit.
struct DeliveryState {
  std::mutex mutex;
  std::condition_variable work;
  std::condition_variable finished;  // a call of a closed channel returned
  std::deque<Delivery> waiting;
  int threads = 0;  // delivery threads alive
  int running = 0;  // deliveries taken by a thread and not yet released
  int idle = 0;     // threads waiting for work and not yet called
  int calls = 0;    // idle threads called for waiting work
  // Drops not yet said, the reason of the latest and when the last line went out.
  std::uint64_t dropsUnsaid = 0;
  const char* dropReason = "";
  Clock::time_point dropsSaid{};
};

DeliveryState& state() {
  static DeliveryState* const instance = new DeliveryState;
  return *instance;
}

// The channel whose callback this thread runs now: closing it from inside must not wait for
// the very call it is part of.
thread_local const EventChannel* runningHere = nullptr;

void sayDropped(const char* why, std::uint64_t count) noexcept {
  try {
    globalLogger()->warn("uid: {} | event callback dropped: {} ({} dropped since last said)", logUid, why, count);
  } catch (...) {
  }
}

// Under the lock: takes the drops unsaid when their line is due, else 0.
std::uint64_t takeDueDropsLocked(DeliveryState& s, Clock::time_point now) {
  if (s.dropsUnsaid == 0) return 0;
  if (s.dropsSaid != Clock::time_point{} && now - s.dropsSaid < kDropLogInterval) return 0;
  s.dropsSaid = now;
  return std::exchange(s.dropsUnsaid, 0);
}

void noteDropped(const char* why, std::uint64_t count = 1) noexcept {
  DeliveryState& s = state();
  std::uint64_t due = 0;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.dropsUnsaid += count;
    s.dropReason = why;
    due = takeDueDropsLocked(s, Clock::now());
  }
  if (due > 0) sayDropped(why, due);
}

void logCallbackThrow(const char* what) noexcept {
  try {
    // The program's own text, of any length.
    globalLogger()->error(logLine("uid: {} | event callback throw: {}", logUid, what));
  } catch (...) {
  }
}

void call(const EventCallback& callback, const EventInfo& info) noexcept {
  try {
    callback(info);
  } catch (const std::exception& e) {
    logCallbackThrow(e.what());
  } catch (...) {
    logCallbackThrow("non-standard exception");
  }
}

// One delivery taken from the queue, with the lock held on entry and on return.
void runOne(DeliveryState& s, std::unique_lock<std::mutex>& lock) {
  Delivery delivery = std::move(s.waiting.front());
  s.waiting.pop_front();
  ++s.running;
  EventChannel& channel = *delivery.channel;
  ++Access::running(channel);
  lock.unlock();
  runningHere = &channel;
  // The callback is emptied only once its channel is closed with no call running, and this
  // call counts as running.
  call(Access::callback(channel), delivery.info);
  runningHere = nullptr;
  // What the program handed over goes before the delivery counts as finished.
  try {
    EventInfo gone = std::move(delivery.info);
  } catch (...) {
  }
  std::shared_ptr<EventChannel> held = std::move(delivery.channel);
  lock.lock();
  --s.running;
  // Not only at 0: a callback closing its own channel waits for the others' calls alone.
  --Access::running(channel);
  if (Access::closed(channel)) s.finished.notify_all();
  lock.unlock();
  // The last holder of a channel whose closing gave up waiting frees its callback here.
  held.reset();
  lock.lock();
}

// The body of a delivery thread: waiting deliveries one after the other, then a short wait for
// more, then the end; drops still unsaid keep it until their line is due. Detached; it holds
// nothing of a robot.
void deliveryLoop() noexcept {
  DeliveryState& s = state();
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    if (!s.waiting.empty()) {
      runOne(s, lock);
      continue;
    }
    ++s.idle;
    auto until = Clock::now() + kLinger;
    if (s.dropsUnsaid > 0 && s.dropsSaid + kDropLogInterval > until) until = s.dropsSaid + kDropLogInterval;
    if (s.work.wait_until(lock, until, [&s] { return s.calls > 0; })) {
      // The caller took this thread off the idle count.
      --s.calls;
      continue;
    }
    --s.idle;
    if (s.dropsUnsaid > 0) {
      const char* why = s.dropReason;
      const std::uint64_t due = takeDueDropsLocked(s, Clock::now());
      if (due > 0) {
        lock.unlock();
        sayDropped(why, due);
        lock.lock();
      }
      continue;
    }
    --s.threads;
    return;
  }
}

}  // namespace

void deliverEvent(const std::shared_ptr<EventChannel>& channel, EventInfo info) noexcept {
  if (!channel || !channel->calls) return;
  DeliveryState& s = state();
  Delivery delivery;
  try {
    delivery.channel = channel;
    delivery.info = std::move(info);
  } catch (...) {
    noteDropped("out of memory");
    return;
  }
  Delivery dropped;
  bool overflow = false;
  bool startThread = false;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    // Closed while the I/O thread was on its way here: the robot let this callback go.
    if (Access::closed(*channel)) return;
    if (s.waiting.size() >= kMaxWaitingEventDeliveries) {
      dropped = std::move(s.waiting.front());
      s.waiting.pop_front();
      overflow = true;
    }
    try {
      s.waiting.push_back(std::move(delivery));
    } catch (...) {
      // Only memory exhaustion gets here; the delivery is lost like an overflow.
      overflow = true;
    }
    if (s.idle > 0) {
      --s.idle;
      ++s.calls;
      s.work.notify_one();
    } else if (s.threads < kMaxEventDeliveries) {
      ++s.threads;
      startThread = true;
    }
  }
  // The dropped copy goes outside the lock.
  if (overflow) {
    try {
      Delivery gone = std::move(dropped);
    } catch (...) {
    }
    noteDropped("too many callbacks waiting");
  }
  if (!startThread) return;
  const char* failure = nullptr;
  try {
    std::thread(deliveryLoop).detach();
    return;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "thread not started";
  }
  // With no thread left to take them, the waiting deliveries would never finish.
  std::deque<Delivery> stranded;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    --s.threads;
    if (s.threads == 0) stranded.swap(s.waiting);
  }
  if (!stranded.empty()) noteDropped(failure, stranded.size());
}

bool closeEventChannels(const std::shared_ptr<EventChannel>* channels, std::size_t count) noexcept {
  DeliveryState& s = state();
  // Calls of the channels under way on other threads.
  auto othersRunning = [&] {
    int running = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (!channels[i]) continue;
      running += Access::running(*channels[i]) - (channels[i].get() == runningHere ? 1 : 0);
    }
    return running;
  };
  bool done = false;
  {
    std::unique_lock<std::mutex> lock(s.mutex);
    for (std::size_t i = 0; i < count; ++i) {
      if (channels[i]) Access::closed(*channels[i]) = true;
    }
    // In place and in order, without allocating: dropped here, under the lock, as what they
    // hold is the library's (the callbacks stay with their channels).
    const auto closed = std::stable_partition(s.waiting.begin(), s.waiting.end(), [](const Delivery& delivery) {
      return !Access::closed(*delivery.channel);
    });
    s.waiting.erase(closed, s.waiting.end());
    done = s.finished.wait_for(lock, kEventCallbackWait, [&] { return othersRunning() == 0; });
  }
  if (!done) {
    try {
      globalLogger()->warn("uid: {} | event callback still running {} s after its robot let it go", logUid,
                           kEventCallbackWait.count());
    } catch (...) {
    }
    return false;
  }
  // No call of these runs any more, and none can start: what the callbacks captured goes now,
  // not on a delivery thread after the robot is gone. The caller's own callback is still on
  // its stack and goes with the channel's last holder.
  for (std::size_t i = 0; i < count; ++i) {
    if (!channels[i] || channels[i].get() == runningHere) continue;
    try {
      EventCallback gone = std::move(Access::callback(*channels[i]));
    } catch (...) {
    }
  }
  return true;
}

int runningEventDeliveries() noexcept {
  DeliveryState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.running + static_cast<int>(s.waiting.size());
}

std::size_t waitingEventDeliveries() noexcept {
  DeliveryState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.waiting.size();
}

}  // namespace velmora::internal
