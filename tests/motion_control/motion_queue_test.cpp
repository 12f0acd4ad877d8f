// The command queue under the in-flight limit: wire order, the limit itself, resets and
// refusals, as the controller sees them.

#include <gmock/gmock.h>

#include <algorithm>
#include <map>
#include <random>
#include <thread>

#include "motion_control/motion_fixture.h"
#include "support/json_match.h"
#include "support/process_stats.h"

using namespace velmora;
using namespace velmora::internal;
using namespace std::chrono_literals;
using velmora_sim::Behaviour;

namespace {

std::uint32_t idNumber(const std::string& id) {
  return static_cast<std::uint32_t>(std::stoul(id.substr(id.find('#') + 1)));
}

using MotionQueue = MotionTest;

}  // namespace

// Appends race the sender (a finish report frees a place while another thread appends): an
// append that returned before another began must reach the wire first, whichever threads made
// them, so in particular each thread's commands arrive in the order of their ids.
TEST_F(MotionQueue, WireOrderUnderLimitFromFourThreads) {
  responder.finishAfter(0ms, 1ms);
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setMaxCacheSize(3);
  constexpr int kThreads = 4;
  constexpr int kPerThread = 125;
  struct Append {
    std::string id;
    std::uint64_t began;
    std::uint64_t returned;
  };
  std::atomic<std::uint64_t> clock{0};
  std::vector<std::vector<Append>> appended(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Paced near the rate at which places free up, so the queue keeps running empty and
      // direct sends meet the sender's pops.
      std::mt19937 random(static_cast<unsigned>(t));
      std::uniform_int_distribution<int> pause(0, 5000);
      for (int i = 0; i < kPerThread; ++i) {
        Append a;
        std::error_code ec;
        a.began = clock++;
        mc.appendCommand(lines(1), a.id, ec);
        a.returned = clock++;
        ASSERT_FALSE(ec);
        appended[t].push_back(a);
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
      }
    });
  }
  for (auto& t : threads) t.join();
  ASSERT_TRUE(waitUntil([&] { return wireIds("move.l").size() == kThreads * kPerThread; }, 20s))
      << wireIds("move.l").size();
  std::map<std::string, std::size_t> position;
  const auto wire = wireIds("move.l");
  for (std::size_t i = 0; i < wire.size(); ++i) position[wire[i]] = i;
  ASSERT_EQ(position.size(), wire.size()) << "an id reached the controller twice";
  std::vector<Append> all;
  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t i = 1; i < appended[t].size(); ++i) {
      ASSERT_LT(idNumber(appended[t][i - 1].id), idNumber(appended[t][i].id));
    }
    all.insert(all.end(), appended[t].begin(), appended[t].end());
  }
  for (const auto& later : all) {
    for (const auto& earlier : all) {
      if (earlier.returned < later.began) {
        ASSERT_LT(position.at(earlier.id), position.at(later.id)) << later.id << " overtook " << earlier.id;
      }
    }
  }
  ASSERT_TRUE(waitUntil([&] { return runtimeOf(mc).inFlight.load() == 0; }, 5s));
}

// With the limit at 1, a request of five commands holds the next one until all five are
// reported; reports of ids it never sent free nothing.
TEST_F(MotionQueue, LimitCountsCommandsAndOnlyKnownIds) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setMaxCacheSize(1);
  std::string first;
  std::string second;
  std::error_code ec;
  mc.appendCommand(lines(5), first, ec);
  mc.appendCommand(lines(1), second, ec);
  ASSERT_TRUE(waitUntil([&] { return responder.pending() == 5; }, 2s));
  EXPECT_EQ(runtimeOf(mc).inFlight.load(), 5u);
  // Stray reports: unknown ids, no "#", a wait that takes no place.
  responder.report("l#4000000000", 0, "finish:0");
  responder.report("nohash", 0, "finish:0");
  responder.report(second, 0, "finish:0");
  responder.finishOldest(4);
  ASSERT_TRUE(waitUntil([&] { return runtimeOf(mc).inFlight.load() == 1; }, 2s));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(wireIds("move.l"), std::vector<std::string>{first});
  responder.finishOldest(1);
  ASSERT_TRUE(command().log().waitFor("move.l", 2s, 2));
  EXPECT_EQ(wireIds("move.l"), (std::vector<std::string>{first, second}));
}

TEST_F(MotionQueue, RaisingTheLimitWakesTheSender) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setMaxCacheSize(1);
  std::string id;
  std::error_code ec;
  mc.appendCommand(lines(1), id, ec);
  mc.appendCommand(lines(1), id, ec);
  ASSERT_TRUE(command().log().waitFor("move.l", 2s));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(command().log().count("move.l"), 1u);
  const auto raised = std::chrono::steady_clock::now();
  mc.setMaxCacheSize(2);
  ASSERT_TRUE(command().log().waitFor("move.l", 2s, 2));
  // Well below the workers' periodic re-test: the change itself woke the sender.
  EXPECT_LT(std::chrono::steady_clock::now() - raised, 500ms);
}

// While "move.reset" is out, a finish report frees a place; the commands queued before the
// reset must not follow it onto the wire.
TEST_F(MotionQueue, ResetWhileSenderBlockedSendsNothingStale) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setMaxCacheSize(1);
  std::string a;
  std::string b;
  std::string c;
  std::error_code ec;
  mc.appendCommand(lines(1), a, ec);
  mc.appendCommand(lines(1), b, ec);
  mc.appendCommand(lines(1), c, ec);
  ASSERT_TRUE(waitUntil([&] { return responder.pending() == 1; }, 2s));
  command().script("move.reset", Behaviour::reply(0).after(300ms).times(1));
  std::error_code resetEc = makeErrorCode(1);
  std::thread resetter([&] { mc.moveReset(true, resetEc); });
  ASSERT_TRUE(command().log().waitFor("move.reset", 2s, 2));  // the first came with the start
  responder.finishOldest(1);
  resetter.join();
  EXPECT_FALSE(resetEc);
  std::string d;
  mc.appendCommand(lines(1), d, ec);
  ASSERT_TRUE(command().log().waitFor("move.l", 2s, 2));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(wireIds("move.l"), (std::vector<std::string>{a, d}));
  EXPECT_EQ(runtimeOf(mc).queuedCommands(), 0u);
}

// A refused reset keeps the queue, and the sender goes on once the reset is answered.
TEST_F(MotionQueue, FailedResetKeepsTheQueue) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setMaxCacheSize(1);
  std::string a;
  std::string b;
  std::error_code ec;
  mc.appendCommand(lines(1), a, ec);
  mc.appendCommand(lines(1), b, ec);
  ASSERT_TRUE(waitUntil([&] { return responder.pending() == 1; }, 2s));
  command().script("move.reset", Behaviour::reply(-3).after(100ms).times(1));
  std::error_code resetEc;
  std::thread resetter([&] { mc.moveReset(false, resetEc); });
  ASSERT_TRUE(command().log().waitFor("move.reset", 2s, 2));
  responder.finishOldest(1);
  resetter.join();
  EXPECT_EQ(resetEc.value(), -3);
  ASSERT_TRUE(command().log().waitFor("move.l", 2s, 2));
  EXPECT_EQ(wireIds("move.l"), (std::vector<std::string>{a, b}));
  const auto all = command().log().all();
  const auto resetAt = std::find_if(all.rbegin(), all.rend(), [](const auto& r) { return r.key == "move.reset"; });
  const auto bAt = std::find_if(all.rbegin(), all.rend(), [&](const auto& r) { return r.id == Json::Value(b); });
  EXPECT_LT(std::distance(all.rbegin(), bAt), std::distance(all.rbegin(), resetAt)) << "b left before the reset answer";
}

// Only a reset answered with a code of 0 (or null) empties the queue: an answer that is no code
// reads as the protocol mismatch, and the commands it would drop are still the controller's.
TEST_F(MotionQueue, ResetWithoutACodeKeepsTheQueue) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setMaxCacheSize(1);
  std::error_code started;
  mc.moveStart(started);
  ASSERT_FALSE(started);
  const struct {
    const char* name;
    Json::Value reply;
    int code;
  } cases[] = {
      {"text", "ok", -260},
      {"object", parseJson(R"({"error": -5})"), -260},
      {"array", Json::Value(Json::arrayValue), -260},
      {"null", Json::Value(), 0},  // last: it ends the run
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // One out at the controller, one waiting behind the limit.
    std::string ids[2];
    std::error_code ec;
    for (std::string& id : ids) mc.appendCommand(lines(1), id, ec);
    ASSERT_TRUE(waitUntil([&] { return responder.pending() == 1; }, 2s));
    ASSERT_EQ(runtimeOf(mc).queuedCommands(), 1u);
    command().log().clear();
    command().script("move.reset", Behaviour::reply(c.reply).times(1));
    mc.moveReset(true, ec);
    EXPECT_EQ(ec.value(), c.code);
    const auto sent = command().log().withKey("move.reset");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_THAT(sent[0].payload, JsonIs(R"({"remain_traj": true})"));
    EXPECT_EQ(runtimeOf(mc).queuedCommands(), c.code == 0 ? 0u : 1u);
    EXPECT_EQ(runtimeOf(mc).inFlight.load(), c.code == 0 ? 0u : 1u);
    EXPECT_EQ(mc.state(), c.code == 0 ? kMotionReset : kMotionRunning);
    // The kept command follows once the one out is finished; the simulator forgets both.
    responder.finishPending();
    if (c.code != 0) {
      ASSERT_TRUE(waitUntil([&] { return responder.pending() == 1; }, 2s));
      EXPECT_EQ(wireIds("move.l"), std::vector<std::string>{ids[1]});
    }
    responder.finishPending();
    ASSERT_TRUE(waitUntil([&] { return runtimeOf(mc).inFlight.load() == 0; }, 2s));
  }
}

// A refusal (-3, -16..-20) drops the queue and zeroes the count; other codes change nothing.
TEST_F(MotionQueue, RefusalDropsTheQueue) {
  Heard heard;
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setExecutionInfoCallback(heard.callback());
  mc.setMaxCacheSize(3);
  // The refusal comes late enough for the fourth append to find three in flight.
  command().script("move.l", Behaviour::reply(-2).times(1));
  command().script("move.l", Behaviour::reply(-21).times(1));
  command().script("move.l", Behaviour::reply(-16).after(200ms).times(1));
  std::string a;
  std::string b;
  std::string c;
  std::string d;
  std::error_code ec;
  mc.appendCommand(lines(1), a, ec);
  mc.appendCommand(lines(1), b, ec);
  mc.appendCommand(lines(1), c, ec);
  mc.appendCommand(lines(1), d, ec);  // queued: three in flight
  ASSERT_TRUE(heard.waitFor(1));
  const auto info = heard.all().front();
  EXPECT_EQ(entry<std::string>(info, "cmdID"), c);
  EXPECT_EQ(entry<std::error_code>(info, "error").value(), -16);
  EXPECT_FALSE(entry<bool>(info, "reachTarget"));
  EXPECT_EQ(runtimeOf(mc).queuedCommands(), 0u);
  EXPECT_EQ(runtimeOf(mc).inFlight.load(), 0u);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(heard.size(), 1u);
  EXPECT_EQ(wireIds("move.l"), (std::vector<std::string>{a, b, c}));
}

// A send that fails reaches the callback on the thread that sent it, with 256.
TEST_F(MotionQueue, FailedDirectSendIsReported) {
  Heard heard;
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setExecutionInfoCallback(heard.callback());
  link->stop();
  std::string id;
  std::error_code ec;
  mc.appendCommand(lines(1), id, ec);
  EXPECT_FALSE(ec);
  ASSERT_TRUE(heard.waitFor(1, 0ms));
  EXPECT_EQ(entry<std::string>(heard.all()[0], "cmdID"), id);
  EXPECT_EQ(entry<std::error_code>(heard.all()[0], "error").value(), 256);
  EXPECT_EQ(runtimeOf(mc).inFlight.load(), 0u);
}
