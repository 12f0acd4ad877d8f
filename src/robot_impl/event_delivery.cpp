#include "robot_impl/event_delivery.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "common/globals.h"
#include "common/logging.h"

namespace velmora::internal {

namespace {

// How long an idle delivery thread waits for the next delivery before it ends.
constexpr auto kLinger = std::chrono::milliseconds(100);

struct Delivery {
  EventCallback callback;
  EventInfo info;
};

// Created once and never destroyed: detached delivery threads may still run, or wait for work,
// while the process's static objects are destroyed at exit.
struct DeliveryState {
  std::mutex mutex;
  std::condition_variable work;
  std::deque<Delivery> waiting;
  int threads = 0;  // delivery threads alive
  int running = 0;  // deliveries taken by a thread and not yet released
  int idle = 0;     // threads waiting for work and not yet called
  int calls = 0;    // idle threads called for waiting work
};

DeliveryState& state() {
  static DeliveryState* const instance = new DeliveryState;
  return *instance;
}

std::atomic<std::int64_t> lastDropLog{0};
std::atomic<std::uint64_t> droppedSinceLog{0};

// One line per second at most, however fast the controller sends.
void noteDropped(const char* why, std::uint64_t count = 1) noexcept {
  try {
    const std::uint64_t dropped = droppedSinceLog.fetch_add(count) + count;
    const std::int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::int64_t last = lastDropLog.load();
    const std::int64_t second = std::chrono::nanoseconds(std::chrono::seconds(1)).count();
    if (last != 0 && now - last < second) return;
    if (!lastDropLog.compare_exchange_strong(last, now)) return;
    droppedSinceLog.fetch_sub(dropped);
    globalLogger()->warn("uid: {} | event callback dropped: {} ({} dropped since last said)", logUid, why, dropped);
  } catch (...) {
  }
}

void logCallbackThrow(const char* what) noexcept {
  try {
    globalLogger()->error("uid: {} | event callback throw: {}", logUid, what);
  } catch (...) {
  }
}

void call(Delivery& delivery) noexcept {
  try {
    delivery.callback(delivery.info);
  } catch (const std::exception& e) {
    logCallbackThrow(e.what());
  } catch (...) {
    logCallbackThrow("non-standard exception");
  }
}

// The body of a delivery thread: waiting deliveries one after the other, then a short wait for
// more, then the end. Detached; it holds nothing of a robot.
void deliveryLoop() noexcept {
  DeliveryState& s = state();
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    if (!s.waiting.empty()) {
      Delivery delivery = std::move(s.waiting.front());
      s.waiting.pop_front();
      ++s.running;
      lock.unlock();
      call(delivery);
      // What the program handed over goes before the delivery counts as finished.
      try {
        Delivery gone = std::move(delivery);
      } catch (...) {
      }
      lock.lock();
      --s.running;
      continue;
    }
    ++s.idle;
    if (s.work.wait_for(lock, kLinger, [&s] { return s.calls > 0; })) {
      // The caller took this thread off the idle count.
      --s.calls;
      continue;
    }
    --s.idle;
    --s.threads;
    return;
  }
}

}  // namespace

void deliverEvent(const EventCallback& callback, EventInfo info) noexcept {
  if (!callback) return;
  DeliveryState& s = state();
  Delivery delivery;
  try {
    delivery.callback = callback;
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
  // The dropped copy goes outside the lock: its captures are the program's.
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
