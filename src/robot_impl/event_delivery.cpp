#include "robot_impl/event_delivery.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <thread>
#include <utility>

#include "common/globals.h"
#include "common/logging.h"

namespace velmora::internal {

namespace {

// Plain atomics only: detached delivery threads may still run while the process's static
// objects are destroyed at exit.
std::atomic<int> running{0};
std::atomic<std::int64_t> lastDropLog{0};
std::atomic<std::uint64_t> droppedSinceLog{0};

bool reserveThread() noexcept {
  int now = running.load();
  do {
    if (now >= kMaxEventDeliveries) return false;
  } while (!running.compare_exchange_weak(now, now + 1));
  return true;
}

// One line per second at most, however fast the controller sends.
void noteDropped(const char* why) noexcept {
  try {
    const std::uint64_t dropped = droppedSinceLog.fetch_add(1) + 1;
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

}  // namespace

void deliverEvent(const EventCallback& callback, EventInfo info) noexcept {
  if (!callback) return;
  if (!reserveThread()) {
    noteDropped("too many callbacks running");
    return;
  }
  try {
    std::thread([callback, info = std::move(info)]() mutable {
      try {
        callback(info);
      } catch (const std::exception& e) {
        logCallbackThrow(e.what());
      } catch (...) {
        logCallbackThrow("non-standard exception");
      }
      // What the program handed over goes before the slot is given back.
      try {
        EventCallback released = std::move(callback);
        EventInfo gone = std::move(info);
      } catch (...) {
      }
      running.fetch_sub(1);
    }).detach();
  } catch (const std::exception& e) {
    running.fetch_sub(1);
    noteDropped(e.what());
  } catch (...) {
    running.fetch_sub(1);
    noteDropped("thread not started");
  }
}

int runningEventDeliveries() noexcept { return running.load(); }

}  // namespace velmora::internal
