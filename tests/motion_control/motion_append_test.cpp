// Appending, replaying and executing command lists end to end, refusals that send nothing,
// reports reaching the callback, and reports a confused controller might send.

#include <gmock/gmock.h>

#include <limits>
#include <thread>

#include "motion_control/motion_encoding.h"
#include "motion_control/motion_fixture.h"
#include "support/json_match.h"
#include "support/process_stats.h"

using namespace velmora;
using namespace velmora::internal;
using namespace std::chrono_literals;

namespace {

const CartesianPosition kAux{0.35, 0.15, 0.4, 3.14, 0, 0};

template <typename T>
std::string append(MotionControl<1>& mc, std::vector<T> cmds) {
  std::string id;
  std::error_code ec;
  mc.appendCommand(cmds, id, ec);
  EXPECT_FALSE(ec) << ec.value();
  return id;
}

using MotionAppend = MotionTest;

}  // namespace

// Every type under its key with its id prefix, the id counter shared by all, and the body the
// encoder built.
TEST_F(MotionAppend, EachTypeOnTheWire) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  MoveAbsJCommand absj(JointPosition({0, 0, 0, 0, 0, 0}), 100, 0);
  MoveJCommand movej(kPose, 100, 0);
  MoveLCommand movel(kPose, 100, 0);
  MoveCCommand movec(kPose, kAux, 100, 0);
  MoveCFCommand movecf(kPose, kAux, 90, 100, 0);
  MoveSPCommand movesp(kPose, 0.1, 0.01, 90, true, 100);
  MoveWaitCommand wait(2s);
  struct Row {
    std::string id;
    const char* key;
    const char* prefix;
    Json::Value body;
  };
  const std::uint32_t first = cmdIdCounter.load();
  Json::Value replay;
  replay["name"] = "p1";
  replay["rate"] = 0.5;
  const std::vector<Row> table = {
      {append(mc, std::vector{absj}), "move.j", "absj", requestBody(std::vector{absj})},
      {append(mc, std::vector{movej, movej}), "move.jc", "j", requestBody(std::vector{movej, movej})},
      {append(mc, std::vector{movel}), "move.l", "l", requestBody(std::vector{movel})},
      {append(mc, std::vector{movec}), "move.c", "c", requestBody(std::vector{movec})},
      {append(mc, std::vector{movecf}), "move.cf", "cf", requestBody(std::vector{movecf})},
      {append(mc, std::vector{movesp}), "move.sp", "sp", requestBody(std::vector{movesp})},
      {append(mc, std::vector{wait}), "move.wait", "wait", requestBody(std::vector{wait})},
      {[&] {
         mc.appendReplay(replay);
         return std::string("path#") + std::to_string(first + 7);
       }(),
       "move.replay", "path", replay},
  };
  for (std::size_t i = 0; i < table.size(); ++i) {
    const Row& row = table[i];
    EXPECT_EQ(row.id, std::string(row.prefix) + "#" + std::to_string(first + i)) << row.key;
    const auto seen = command().log().waitFor(row.key, 2s);
    ASSERT_TRUE(seen) << row.key;
    EXPECT_EQ(seen->form, velmora_sim::Form::command) << row.key;
    EXPECT_EQ(seen->id, Json::Value(row.id)) << row.key;
    EXPECT_TRUE(jsonEquivalent(seen->payload, row.body)) << row.key << ": " << compactJson(seen->payload);
  }
  EXPECT_EQ(runtimeOf(mc).inFlight.load(), 1u + 2 + 1 + 1 + 1 + 1 + 1) << "the wait takes no place";
}

TEST_F(MotionAppend, ExecuteSendsNumericIdAndQueuesNothing) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  const std::uint32_t counter = cmdIdCounter.load();
  std::error_code ec;
  mc.executeCommand(std::vector{MoveLCommand(kPose, 500, 250)}, ec);
  EXPECT_FALSE(ec);
  const auto seen = command().log().waitFor("move.l", 2s);
  ASSERT_TRUE(seen);
  EXPECT_TRUE(seen->id.isUInt64());
  EXPECT_EQ(cmdIdCounter.load(), counter);
  EXPECT_EQ(runtimeOf(mc).inFlight.load(), 0u);
  link->stop();
  mc.executeCommand(std::vector{MoveLCommand(kPose, 500, 250)}, ec);
  EXPECT_EQ(ec.value(), 256);
}

// Refused lists leave nothing: no request, no id taken, the out-parameter untouched.
TEST_F(MotionAppend, RefusalsSendNothing) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  ASSERT_TRUE(command().log().waitFor("move.last_error_with_setting", 2s));
  command().log().clear();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const CartesianPosition matrix{1, 0, 0, 0.1, 0, 1, 0, 0.2, 0, 0, 1, 0.3, 0, 0, 0, 1};
  MoveLCommand nanSpeed(kPose, nan, 0);
  MoveCCommand matrixAux(kPose, matrix, 100, 0);
  MoveSPCommand nanRadius(kPose, nan, 0.01, 90, true, 100);
  JointPosition nanJoint({0, nan, 0, 0, 0, 0});
  const std::uint32_t counter = cmdIdCounter.load();
  struct Row {
    const char* name;
    std::function<void(std::string&, std::error_code&)> append;
    std::function<void(std::error_code&)> execute;
    int code;
  };
  const Row table[] = {
      {"nan speed", [&](auto& id, auto& ec) { mc.appendCommand(std::vector{nanSpeed}, id, ec); },
       [&](auto& ec) { mc.executeCommand(std::vector{nanSpeed}, ec); }, 259},
      {"matrix aux", [&](auto& id, auto& ec) { mc.appendCommand(std::vector{matrixAux}, id, ec); },
       [&](auto& ec) { mc.executeCommand(std::vector{matrixAux}, ec); }, 260},
      {"nan radius", [&](auto& id, auto& ec) { mc.appendCommand(std::vector{nanRadius}, id, ec); },
       [&](auto& ec) { mc.executeCommand(std::vector{nanRadius}, ec); }, 259},
      {"nan joint", [&](auto& id, auto& ec) { mc.appendCommand(std::vector{MoveAbsJCommand(nanJoint, 1, 1)}, id, ec); },
       [&](auto& ec) { mc.executeCommand(std::vector{MoveAbsJCommand(nanJoint, 1, 1)}, ec); }, 259},
      {"empty", [&](auto& id, auto& ec) { mc.appendCommand(std::vector<MoveJCommand>{}, id, ec); },
       [&](auto& ec) { mc.executeCommand(std::vector<MoveJCommand>{}, ec); }, 259},
      {"101",
       [&](auto& id, auto& ec) { mc.appendCommand(std::vector<MoveLCommand>(101, MoveLCommand(kPose, 1, 1)), id, ec); },
       [&](auto& ec) { mc.executeCommand(std::vector<MoveLCommand>(101, MoveLCommand(kPose, 1, 1)), ec); }, 259},
  };
  for (const auto& row : table) {
    std::string id = "untouched";
    std::error_code ec;
    row.append(id, ec);
    EXPECT_EQ(ec.value(), row.code) << row.name;
    EXPECT_EQ(id, "untouched") << row.name;
    row.execute(ec);
    EXPECT_EQ(ec.value(), row.code) << row.name;
  }
  EXPECT_EQ(cmdIdCounter.load(), counter);
  std::error_code ec;
  mc.setDefaultZone(std::numeric_limits<double>::infinity(), ec);
  EXPECT_EQ(ec.value(), 259);
  // Something that does go out, to be sure the refusals had their chance to show up first.
  mc.resume(ec);
  for (const auto& r : command().log().all()) EXPECT_EQ(r.key, "move.continue") << r.raw;
}

// A finish report for a command of a path, with a custom text, reaches the callback.
TEST_F(MotionAppend, ReportReachesCallback) {
  Heard heard;
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setExecutionInfoCallback(heard.callback());
  MoveJCommand pick(kPose, 100, 0);
  pick.customInfo = "pick";
  const std::string id = append(mc, std::vector{MoveJCommand(kPose, 100, 0), pick});
  ASSERT_TRUE(waitUntil([&] { return responder.pending() == 2; }, 2s));
  EXPECT_EQ(responder.finishPending(), 2);
  ASSERT_TRUE(heard.waitFor(2));
  const auto info = heard.all()[1];
  EXPECT_EQ(info.size(), 6u);
  EXPECT_EQ(entry<std::string>(info, "cmdID"), id);
  EXPECT_EQ(entry<std::string>(info, "customInfo"), "pick");
  EXPECT_EQ(entry<int>(info, "wayPointIndex"), 1);
  EXPECT_TRUE(entry<bool>(info, "reachTarget"));
  EXPECT_EQ(entry<std::error_code>(info, "error").value(), 0);
  EXPECT_EQ(entry<std::string>(info, "remark"), apiErrorCategory().message(0));
  EXPECT_EQ(runtimeOf(mc).inFlight.load(), 0u);
  EXPECT_EQ(mc.executionInfo().size(), 6u);
}

// Wrong kinds, unknown ids and floods: nothing crashes, the count and the last execution
// information stay as they were, and the queue goes on working afterwards.
TEST_F(MotionAppend, HostileReports) {
  Heard heard;
  auto link = connectLink();
  MotionControl<1> mc(link);
  mc.setExecutionInfoCallback(heard.callback());
  mc.setMaxCacheSize(1);
  const std::string first = append(mc, std::vector{MoveLCommand(kPose, 100, 0)});
  const std::string queued = append(mc, std::vector{MoveLCommand(kPose, 100, 0)});
  responder.report("x#1", 0, "moving");  // overwrites the information, no callback
  const char* const junk[] = {
      R"(null)",
      R"([1,2])",
      R"("finish")",
      R"(17)",
      R"({"error":"x"})",
      R"({"error":1.5})",
      R"({"error":0,"data":[]})",
      R"({"error":0,"data":{"id":[7],"msg":"finish"}})",
      R"({"error":0,"data":{"id":"l#1","point":{},"msg":"finish"}})",
      R"({"error":0,"data":{"id":"l#1","point":1,"msg":{"finish":true}}})",
  };
  for (int round = 0; round < 300; ++round) {
    for (const char* text : junk) responder.reportRaw(parseJson(text));
    // Well-formed finish reports of ids this motion control never sent.
    responder.report("l#" + std::to_string(4000000000u - round), 0, "finish:0");
    command().broadcast(parseJson(R"({"id":"l#5","x":{"move.l":-16}})"));
    command().broadcast(parseJson(R"({"c":"move.l","id":"l#5"})"));
  }
  // A marker processed after the flood: a finish report of an unknown id calls back.
  responder.report("marker#0", 0, "finish:0");
  ASSERT_TRUE(heard.waitFor(301, 10s)) << heard.size();
  EXPECT_EQ(entry<std::string>(heard.all().back(), "cmdID"), "marker#0");
  EXPECT_EQ(runtimeOf(mc).inFlight.load(), 1u);
  EXPECT_EQ(wireIds("move.l"), std::vector<std::string>{first});
  EXPECT_TRUE(mc.threadsRunning());

  EXPECT_EQ(responder.finishOldest(1), 1);
  ASSERT_TRUE(command().log().waitFor("move.l", 2s, 2));
  EXPECT_EQ(wireIds("move.l"), (std::vector<std::string>{first, queued}));
}
