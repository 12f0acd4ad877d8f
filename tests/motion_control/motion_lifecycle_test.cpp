// The worker threads' life: starting and stopping in loops, failed resets, and the callback
// stopping, restarting or destroying its own motion control.

#include <gmock/gmock.h>

#include <atomic>
#include <future>
#include <thread>

#include "motion_control/motion_fixture.h"
#include "network/tcp/io_threads.h"
#include "support/process_stats.h"

using namespace velmora;
using namespace velmora::internal;
using namespace std::chrono_literals;
using velmora_sim::Behaviour;

namespace {

using MotionLifecycle = MotionTest;

// Threads at work: a worker whose body ended waits in the pool a while for the next one.
int workingThreads() { return threadCount() - static_cast<int>(IoThreads::idleCount()); }

}  // namespace

TEST_F(MotionLifecycle, StartStopLoop) {
  command().log().setEnabled(false);
  auto link = connectLink();
  MotionControl<1> mc(link);
  const int threadsBefore = workingThreads();
  {
    Watchdog watchdog(2s, "start/stop");
    for (int i = 0; i < 500; ++i) {
      watchdog.kick(i);
      mc._stopThreads();
      ASSERT_FALSE(mc.threadsRunning());
      ASSERT_EQ(mc.state(), kThreadsStopped);
      mc._startThreads();
      ASSERT_TRUE(mc.threadsRunning()) << i;
      ASSERT_EQ(mc.state(), kMotionReset);
    }
  }
  EXPECT_TRUE(waitUntil([&] { return workingThreads() == threadsBefore; }, 2s))
      << workingThreads() << " " << threadsBefore;
}

// The limit at 1 with two queued and each finished at once: every finish must wake the sender.
TEST_F(MotionLifecycle, FinishWakesSenderLoop) {
  command().log().setEnabled(false);
  responder.finishAfter(0ms, 0ms);
  Heard heard;
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setMaxCacheSize(1);
  mc.setExecutionInfoCallback(heard.callback());
  Watchdog watchdog(2s, "limit 1, depth 2");
  for (int i = 0; i < 500; ++i) {
    watchdog.kick(i);
    appendOne(mc);
    appendOne(mc);
    ASSERT_TRUE(heard.waitFor(2 * (i + 1), 2s)) << i;
  }
  EXPECT_EQ(runtimeOf(mc).inFlight.load(), 0u);
}

// A start whose reset is refused starts nothing; the next start works and a second one is a
// no-op (it never assigns over live threads).
TEST_F(MotionLifecycle, FailedResetThenTwoStarts) {
  command().script("move.reset", Behaviour::reply(-3).times(1));
  auto link = connectLink();
  MotionControl<1> mc(link);
  EXPECT_FALSE(mc.threadsRunning());
  EXPECT_EQ(mc.state(), kThreadsStopped);
  EXPECT_FALSE(mc.lastErrorWatched());
  mc._startThreads();
  EXPECT_TRUE(mc.threadsRunning());
  EXPECT_EQ(mc.state(), kMotionReset);
  mc._startThreads();
  EXPECT_TRUE(mc.threadsRunning());
  EXPECT_EQ(command().log().count("move.reset"), 2u);
  EXPECT_TRUE(mc.lastErrorWatched());
  std::error_code ec;
  mc.moveStart(ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(mc.state(), kMotionRunning);
}

// A reset refused at construction leaves the workers down: a start must say the reset's code
// and tell the controller nothing, until a reset goes through and the workers start with it.
TEST_F(MotionLifecycle, StartWithoutWorkersGivesTheResetsCode) {
  struct Case {
    const char* name;
    int refusals;            // of "move.reset", construction's included
    std::vector<int> codes;  // of each moveStart
  };
  const Case cases[] = {
      {"refused once", 1, {0, 0}},
      {"refused twice", 2, {-3, 0}},
      {"refused three times", 3, {-3, -3, 0}},
  };
  responder.finishAfter(0ms, 0ms);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    command().script("move.reset", Behaviour::reply(-3).times(c.refusals));
    auto link = connectLink();
    MotionControl<1> mc(link);
    EXPECT_FALSE(mc.threadsRunning());
    std::size_t continues = 0;
    for (const int expected : c.codes) {
      std::error_code ec;
      mc.moveStart(ec);
      EXPECT_EQ(ec.value(), expected);
      if (expected == 0) ++continues;
      EXPECT_EQ(mc.threadsRunning(), expected == 0);
      EXPECT_EQ(mc.state(), expected == 0 ? kMotionRunning : kThreadsStopped);
      EXPECT_EQ(command().log().count("move.continue"), continues);
    }
    // Started at last, the workers carry a batch to its report.
    Heard heard;
    mc.setExecutionInfoCallback(heard.callback());
    appendOne(mc);
    EXPECT_TRUE(heard.waitFor(1));
    mc.setExecutionInfoCallback(nullptr);
  }
}

// Only a start leaves the stopped state: requests that succeed meanwhile leave it stopped, and
// moveStart then starts the threads.
TEST_F(MotionLifecycle, RequestsDoNotLeaveStoppedState) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc._stopThreads();
  std::error_code ec;
  mc.moveReset(true, ec);
  EXPECT_FALSE(ec);
  mc.resume(ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(mc.state(), kThreadsStopped);
  EXPECT_FALSE(mc.threadsRunning());
  mc.moveStart(ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(mc.threadsRunning());
  EXPECT_EQ(mc.state(), kMotionRunning);
}

// The callback runs on a worker; stopping from there must not join that worker, restarting
// from there must work, and a request from there must get its reply.
TEST_F(MotionLifecycle, StopStartAndRequestsFromTheCallback) {
  responder.finishAfter(0ms, 0ms);
  auto link = connectLink();
  MotionControl<1> mc(link);
  std::atomic<int> calls{0};
  std::atomic<int> handled{0};
  std::promise<std::error_code> stopped;
  mc.setExecutionInfoCallback([&](const EventInfo&) {
    switch (calls++) {
      case 0:
        mc._stopThreads();
        break;
      case 1:
        mc._stopThreads();
        mc._startThreads();
        break;
      case 2: {
        std::error_code ec;
        mc.stop(2, ec);
        stopped.set_value(ec);
        break;
      }
      default:
        break;
    }
    ++handled;
  });
  appendOne(mc);
  ASSERT_TRUE(waitUntil([&] { return handled == 1; }, 2s));
  EXPECT_FALSE(mc.threadsRunning());
  mc._startThreads();
  ASSERT_TRUE(mc.threadsRunning());
  appendOne(mc);
  ASSERT_TRUE(waitUntil([&] { return handled == 2; }, 2s));
  EXPECT_TRUE(mc.threadsRunning());
  appendOne(mc);
  auto result = stopped.get_future();
  ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(result.get());
  EXPECT_TRUE(command().log().waitFor("move.pause", 2s));
  EXPECT_TRUE(mc.threadsRunning());
}

// The callback deletes the motion control it belongs to; the worker it runs on finishes on
// its own and the link, which outlives it, keeps working.
TEST_F(MotionLifecycle, DestroyedFromItsOwnCallback) {
  responder.finishAfter(0ms, 0ms);
  auto link = connectLink();
  const int threadsBefore = workingThreads();
  auto mc = std::make_unique<MotionControl<1>>(link);
  std::atomic<bool> destroyed{false};
  mc->setExecutionInfoCallback([&](const EventInfo&) {
    mc.reset();
    destroyed = true;
  });
  appendOne(*mc);
  ASSERT_TRUE(waitUntil([&] { return destroyed.load(); }, 2s));
  EXPECT_TRUE(waitUntil([&] { return workingThreads() == threadsBefore; }, 2s));
  responder.report("l#1", 0, "finish:0");
  std::error_code ec;
  Json::Value result;
  link->sendCommand("move.continue", Json::Value(), result, ec, 2s);
  EXPECT_FALSE(ec);
}

// A throwing callback is caught: later reports are still processed.
TEST_F(MotionLifecycle, ThrowingCallbackIsContained) {
  responder.finishAfter(0ms, 0ms);
  auto link = connectLink();
  MotionControl<1> mc(link);
  std::atomic<int> calls{0};
  mc.setExecutionInfoCallback([&](const EventInfo&) {
    ++calls;
    throw std::runtime_error("user callback");
  });
  appendOne(mc);
  appendOne(mc);
  EXPECT_TRUE(waitUntil([&] { return calls == 2; }, 2s));
  EXPECT_TRUE(mc.threadsRunning());
}
