#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/cpu_relax.h"

using namespace velmora::internal;
using Clock = std::chrono::steady_clock;

// The watch ends when the flag drops, and never later than its limit however long it stays up.
TEST(SpinWhile, EndsWhenTheFlagDropsOrAtItsLimit) {
  struct Case {
    const char* name;
    std::chrono::microseconds dropAfter;  // negative: never
    std::chrono::microseconds limit;
    std::chrono::microseconds atLeast, atMost;
  };
  const Case cases[] = {
      {"not busy", std::chrono::microseconds(-1), std::chrono::microseconds(0), {}, std::chrono::seconds(1)},
      {"stays busy", std::chrono::microseconds(-1), std::chrono::milliseconds(5), std::chrono::milliseconds(5),
       std::chrono::seconds(2)},
      {"drops early", std::chrono::milliseconds(2), std::chrono::seconds(30), std::chrono::milliseconds(2),
       std::chrono::seconds(10)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> busy{c.limit.count() > 0};
    const auto start = Clock::now();  // before the flag can drop
    std::thread dropper;
    if (c.dropAfter.count() >= 0) {
      dropper = std::thread([&] {
        std::this_thread::sleep_for(c.dropAfter);
        busy = false;
      });
    }
    spinWhile([&] { return busy.load(); }, c.limit);
    const auto took = Clock::now() - start;
    if (dropper.joinable()) dropper.join();
    EXPECT_GE(took, c.atLeast);
    EXPECT_LE(took, c.atMost);
  }
}
