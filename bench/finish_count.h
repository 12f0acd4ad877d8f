#pragma once
// What the queued-motion benchmarks share: a robot's motion queue started, and its finish reports
// counted as they arrive.

#include <velmora/robots.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <system_error>
#include <thread>

#include "bench_common.h"

namespace bench {

/// Declared before the robot it counts for: the robot's callbacks may run until it is destroyed.
class FinishCount {
 public:
  /// Watches the robot's motion reports and starts its queue; false, said on stderr, when refused.
  bool start(velmora::OstraMaxRobot& robot) {
    std::error_code ec;
    robot.setEventWatcher(
        velmora::Event::moveExecution,
        [this](const velmora::EventInfo&) { finished_.fetch_add(1, std::memory_order_release); }, ec);
    if (!ec) robot.moveStart(ec);
    if (ec) std::fprintf(stderr, "moveStart failed (%d)\n", ec.value());
    return !ec;
  }
  std::uint64_t count() const { return finished_.load(std::memory_order_acquire); }
  /// Until `n` moves have been reported finished; false after a minute without.
  bool waitFor(std::uint64_t n) const {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (count() < n) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    return true;
  }

 private:
  std::atomic<std::uint64_t> finished_{0};
};

}  // namespace bench
