// When the sender thread is woken: only when a queued command may go, never for an append
// that cannot be sent, with the queue's order kept.

#include <gmock/gmock.h>

#include <functional>
#include <thread>

#include "motion_control/motion_fixture.h"
#include "support/process_stats.h"

using namespace velmora;
using namespace velmora::internal;
using namespace std::chrono_literals;

namespace {

using MotionSender = MotionTest;

}  // namespace

// Whatever keeps a command from going out, appending it (and a limit change that frees nothing)
// leaves the sender asleep.
TEST_F(MotionSender, AppendThatCannotBeSentWakesNobody) {
  const struct {
    const char* name;
    std::function<void(XService&, MotionControl<1>&)> block;
  } cases[] = {
      {"limit of zero", [](XService&, MotionControl<1>& mc) { mc.setMaxCacheSize(0); }},
      {"limit reached",
       [this](XService&, MotionControl<1>& mc) {
         mc.setMaxCacheSize(1);
         appendOne(mc);
         ASSERT_TRUE(waitUntil([&] { return responder.pending() == 1; }, 2s));
       }},
      {"limit reached, then the link lost",
       [this](XService& link, MotionControl<1>& mc) {
         mc.setMaxCacheSize(1);
         appendOne(mc);
         ASSERT_TRUE(waitUntil([&] { return responder.pending() == 1; }, 2s));
         link.stop();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto link = connectLink();
    MotionControl<1> mc(link);
    ASSERT_TRUE(mc.threadsRunning());
    c.block(*link, mc);
    const auto woken = runtimeOf(mc).senderWakeUps();
    for (int i = 0; i < 200; ++i) appendOne(mc);
    mc.setMaxCacheSize(mc.maxCacheSize());
    EXPECT_EQ(runtimeOf(mc).queuedCommands(), 200u);
    EXPECT_EQ(runtimeOf(mc).senderWakeUps(), woken);
    responder.finishPending();
  }
}

// Each finish that frees a place while commands wait wakes the sender once, and it sends the
// oldest; a finish or a raised limit with nothing waiting wakes nobody.
TEST_F(MotionSender, WokenOncePerFreedPlaceInOrder) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setMaxCacheSize(1);
  std::vector<std::string> ids{appendOne(mc)};
  ASSERT_TRUE(waitUntil([&] { return responder.pending() == 1; }, 2s));
  constexpr int kQueued = 20;
  for (int i = 0; i < kQueued; ++i) ids.push_back(appendOne(mc));
  const auto woken = runtimeOf(mc).senderWakeUps();
  for (int i = 1; i <= kQueued; ++i) {
    ASSERT_EQ(responder.finishOldest(1), 1u) << i;
    ASSERT_TRUE(command().log().waitFor("move.l", 2s, static_cast<std::size_t>(i) + 1)) << i;
    ASSERT_TRUE(waitUntil([&] { return responder.pending() == 1; }, 2s)) << i;
    EXPECT_EQ(runtimeOf(mc).senderWakeUps(), woken + static_cast<std::uint64_t>(i));
  }
  EXPECT_EQ(wireIds("move.l"), ids);
  responder.finishPending();
  ASSERT_TRUE(waitUntil([&] { return runtimeOf(mc).inFlight.load() == 0; }, 2s));
  mc.setMaxCacheSize(5);
  EXPECT_EQ(runtimeOf(mc).senderWakeUps(), woken + kQueued);
  EXPECT_EQ(runtimeOf(mc).queuedCommands(), 0u);
}
