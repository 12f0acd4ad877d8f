// Non-real-time motion through the robot: what immediate and queued lists put on the wire, the
// control requests and their codes, the in-flight limit, and the reports coming back.
#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "robot/motion_robot_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

const CartesianPosition kPose{0.4, 0.1, 0.5, 3.14, 0.0, 0.0};
const CartesianPosition kAux{0.45, 0.15, 0.5, 3.14, 0.0, 0.0};

template <typename T>
std::vector<T> twice(const T& command) {
  return {command, command};
}

struct KindCase {
  const char* key;
  const char* prefix;
  std::function<void(BaseRobot&, int count, std::string&, std::error_code&)> append;
  std::function<void(BaseRobot&, std::error_code&)> execute;
};

template <typename T>
KindCase kind(const char* key, const char* prefix, const T& command) {
  return {key, prefix,
          [command](BaseRobot& r, int count, std::string& id, std::error_code& ec) {
            r.moveAppend(std::vector<T>(static_cast<std::size_t>(count), command), id, ec);
          },
          [command](BaseRobot& r, std::error_code& ec) { r.executeCommand(std::vector<T>{command}, ec); }};
}

std::vector<KindCase> everyKind() {
  return {
      kind("move.j", "absj", MoveAbsJCommand(JointPosition({0, 0.1, 0, 1.2, 0, 0.5, 0}), 500, 10)),
      kind("move.jc", "j", MoveJCommand(kPose, 500, 10)),
      kind("move.l", "l", MoveLCommand(kPose, 500, 10)),
      kind("move.c", "c", MoveCCommand(kPose, kAux, 500, 10)),
      kind("move.cf", "cf", MoveCFCommand(kPose, kAux, 360, 500, 10)),
      kind("move.sp", "sp", MoveSPCommand(kPose, 0.01, 0.001, 6.28, true, 500)),
  };
}

TEST_F(MotionRobotTest, EachKindGoesOutAsOneRequestImmediateOrQueued) {
  for (const auto& c : everyKind()) {
    SCOPED_TRACE(c.key);
    command().log().clear();
    std::error_code ec;
    c.execute(robot(), ec);
    EXPECT_FALSE(ec) << ec.value();
    auto sent = requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].key, c.key);
    EXPECT_TRUE(sent[0].id.isIntegral()) << "a request id, outside the queue";
    EXPECT_TRUE(sent[0].payload.isObject() && !sent[0].payload.isMember("path")) << "one command: its bare body";
    EXPECT_EQ(sent[1].key, "move.continue");
    EXPECT_THAT(sent[1].payload, JsonIs("null"));

    command().log().clear();
    std::string id;
    c.append(robot(), 2, id, ec);
    EXPECT_FALSE(ec) << ec.value();
    EXPECT_THAT(id, ::testing::StartsWith(std::string(c.prefix) + "#"));
    ASSERT_TRUE(arrives(c.key));
    sent = requests();
    ASSERT_EQ(sent.size(), 1u) << "queuing sends nothing else";
    EXPECT_EQ(sent[0].id, Json::Value(id));
    EXPECT_EQ(sent[0].payload["path"].size(), 2u);
  }
  EXPECT_EQ(finishAll(12), 12);
}

TEST_F(MotionRobotTest, ListsOfNoneOrOverAHundredAreRefusedUnsent) {
  std::error_code ec;
  std::string id = "untouched";
  for (const int n : {0, 101}) {
    SCOPED_TRACE(n);
    robot().moveAppend(linearMoves(n), id, ec);
    EXPECT_EQ(ec.value(), 259);
    robot().executeCommand(linearMoves(n), ec);
    EXPECT_EQ(ec.value(), 259);
  }
  auto poisoned = linearMoves(3);
  poisoned[1].target.trans[2] = kNaN;
  robot().moveAppend(poisoned, id, ec);
  EXPECT_EQ(ec.value(), 259);
  poisoned = linearMoves(3);
  poisoned[2].speed = kNaN;
  robot().executeCommand(poisoned, ec);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(id, "untouched");
  EXPECT_TRUE(requests().empty());
  EXPECT_FALSE(global_.contains("executeCommand ("));
}

TEST_F(MotionRobotTest, ArraysLongerThanTheArmAreRefusedUnsent) {
  // The arm has 7 joints and at most 6 external axes: 13 values in a joint target.
  auto absj = [](std::size_t joints, std::size_t external) {
    JointPosition target(std::vector<double>(joints, 0.1));
    target.external.assign(external, 0.2);
    return MoveAbsJCommand(target, 500, 10);
  };
  auto withExternal = [](CartesianPosition pose, std::size_t external) {
    pose.external.assign(external, 0.3);
    return pose;
  };
  using Call = std::function<void(std::error_code&)>;
  auto append = [this](auto commands) {
    return Call([this, commands](std::error_code& ec) {
      std::string id;
      robot().moveAppend(commands, id, ec);
    });
  };
  auto execute = [this](auto commands) {
    return Call([this, commands](std::error_code& ec) { robot().executeCommand(commands, ec); });
  };
  struct Case {
    const char* name;
    Call call;
    int code;
  };
  const CartesianPosition wide = withExternal(kPose, 7);
  const Case cases[] = {
      {"joint target of 13", append(std::vector{absj(13, 0)}), 0},
      {"7 joints and 6 external", execute(std::vector{absj(7, 6)}), 0},
      {"fewer joints than the arm", append(std::vector{absj(3, 0)}), 0},
      {"pose with 6 external", append(std::vector{MoveLCommand(withExternal(kPose, 6), 500, 10)}), 0},
      {"joint target of 14", append(std::vector{absj(14, 0)}), 259},
      {"7 joints and 7 external", append(std::vector{absj(7, 7)}), 259},
      {"a million joints", execute(std::vector{absj(1'000'000, 0)}), 259},
      {"linear target", append(std::vector{MoveLCommand(wide, 500, 10)}), 259},
      {"second of a list", append(std::vector{MoveJCommand(kPose, 500, 10), MoveJCommand(wide, 500, 10)}), 259},
      {"circle's auxiliary point", execute(std::vector{MoveCCommand(kPose, wide, 500, 10)}), 259},
      {"full circle's target", append(std::vector{MoveCFCommand(wide, kAux, 360, 500, 10)}), 259},
      {"spiral target", execute(std::vector{MoveSPCommand(wide, 0.01, 0.001, 6.28, true, 500)}), 259},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    std::error_code ec;
    c.call(ec);
    EXPECT_EQ(ec.value(), c.code);
    if (c.code != 0) {
      EXPECT_TRUE(requests().empty());
    } else {
      EXPECT_TRUE(waitUntil([&] { return !requests().empty(); }, 2s));
    }
  }
}

TEST_F(MotionRobotTest, AHundredCommandsTravelAsOneRequestWithATextId) {
  std::error_code ec;
  std::string id;
  robot().moveAppend(linearMoves(100), id, ec);
  ASSERT_FALSE(ec);
  ASSERT_TRUE(arrives("move.l"));
  const auto sent = command().log().withKey("move.l");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].id, Json::Value(id));
  ASSERT_EQ(sent[0].payload["path"].size(), 100u);
  EXPECT_DOUBLE_EQ(sent[0].payload["path"][99]["point"]["trans"][0].asDouble(), 0.3 + 99 * 1e-3) << "list order";
  EXPECT_DOUBLE_EQ(sent[0].payload["path"][0]["traj"]["speed"].asDouble(), 0.5);

  robot().executeCommand(linearMoves(100), ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(command().log().withKey("move.l").back().payload["path"].size(), 100u);
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | executeCommand (0)"));
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | Append cmd " + id));

  // A single command travels as its bare body, and a wait as a batch of its own.
  robot().moveAppend(linearMoves(1), id, ec);
  ASSERT_TRUE(arrives("move.l", 3));
  const auto single = command().log().withKey("move.l").back();
  EXPECT_TRUE(single.payload.isMember("point") && !single.payload.isMember("path"));
  const std::string lastMove = id;
  robot().moveAppend(MoveWaitCommand(1500ms), id, ec);
  EXPECT_FALSE(ec);
  ASSERT_TRUE(arrives("move.wait"));
  EXPECT_THAT(command().log().withKey("move.wait")[0].payload, JsonIs(R"({"time": 1.5})"));
  EXPECT_EQ(id, "wait#" + std::to_string(std::stoul(lastMove.substr(2)) + 1)) << "the next id of the one counter";
  responder().finishPending();
}

TEST_F(MotionRobotTest, ControlRequestsSendTheirPayloadAndMapTheirReplies) {
  struct Case {
    const char* name;
    std::function<void(BaseRobot&, std::error_code&)> call;
    Form form;
    const char* key;
    const char* payload;
    Json::Value reply;  // null: the simulator's own answer
    int code;
  };
  using R = BaseRobot&;
  using E = std::error_code&;
  const Case cases[] = {
      {"reset", [](R r, E ec) { r.moveReset(ec); }, Form::command, "move.reset", R"({"remain_traj": true})", {}, 0},
      {"reset refused", [](R r, E ec) { r.moveReset(ec); }, Form::command, "move.reset", R"({"remain_traj": true})", -3,
       -3},
      {"reset answered by a text", [](R r, E ec) { r.moveReset(ec); }, Form::command, "move.reset",
       R"({"remain_traj": true})", "ok", -260},
      {"reset answered by an object", [](R r, E ec) { r.moveReset(ec); }, Form::command, "move.reset",
       R"({"remain_traj": true})", parseJson(R"({"error": -5})"), -260},
      {"reset answered by an array", [](R r, E ec) { r.moveReset(ec); }, Form::command, "move.reset",
       R"({"remain_traj": true})", Json::Value(Json::arrayValue), -260},
      {"start", [](R r, E ec) { r.moveStart(ec); }, Form::command, "move.continue", "0", {}, 0},
      {"start empty", [](R r, E ec) { r.moveStart(ec); }, Form::command, "move.continue", "0", -1, 768},
      {"start refused", [](R r, E ec) { r.moveStart(ec); }, Form::command, "move.continue", "0", -5, -5},
      {"pause", [](R r, E ec) { r.stop(ec); }, Form::command, "move.pause", "null", {}, 0},
      {"pause stopping", [](R r, E ec) { r.stop(ec); }, Form::command, "move.pause", "null", -1, 769},
      {"speed", [](R r, E ec) { r.setDefaultSpeed(200, ec); }, Form::set, "move.default_speed", "0.2", {}, 0},
      {"speed refused", [](R r, E ec) { r.setDefaultSpeed(200, ec); }, Form::set, "move.default_speed", "0.2", -2, -2},
      {"zone", [](R r, E ec) { r.setDefaultZone(5, ec); }, Form::set, "move.default_zone", "0.005", {}, 0},
      {"conf", [](R r, E ec) { r.setDefaultConfOpt(true, ec); }, Form::command, "move.default_conf", "true", {}, 0},
      {"conf refused is not read", [](R r, E ec) { r.setDefaultConfOpt(false, ec); }, Form::command,
       "move.default_conf", "false", -3, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    if (!c.reply.isNull()) command().script(c.form, c.key, Behaviour::reply(c.reply).times(1));
    std::error_code ec;
    c.call(robot(), ec);
    EXPECT_EQ(ec.value(), c.code);
    const auto sent = requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].form, c.form);
    EXPECT_EQ(sent[0].key, c.key);
    EXPECT_THAT(sent[0].payload, JsonIs(std::string(c.payload)));
  }
  EXPECT_EQ(sim().motionSettings().values().defaultSpeed.asDouble(), 0.2);
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | setDefaultSpeed end, speed: 200 (0)"));
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | moveStart end (768)"));
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | setDefaultConfOpt end, forced: false (0)"));

  std::error_code ec;
  robot().setDefaultZone(kNaN, ec);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(requests().size(), 1u) << "nothing more sent";
}

TEST_F(MotionRobotTest, WithoutMotionControlOperationsGive255AndSendNothing) {
  MotionArm unconnected;
  std::error_code ec;
  std::string id = "untouched";
  const std::vector<std::function<void()>> calls = {
      [&] { unconnected.executeCommand(linearMoves(1), ec); },
      [&] { unconnected.moveAppend(linearMoves(1), id, ec); },
      [&] { unconnected.moveAppend(MoveWaitCommand(1ms), id, ec); },
      [&] { unconnected.moveReset(ec); },
      [&] { unconnected.moveStart(ec); },
      [&] { unconnected.stop(ec); },
      [&] { unconnected.setDefaultSpeed(100, ec); },
      [&] { unconnected.setDefaultZone(1, ec); },
      [&] { unconnected.setMaxCacheSize(10, ec); },
      [&] { unconnected.startJog(JogOpt::Space::world, 0.5, 1, 0, true, ec); },
      [&] { unconnected.startJogWithExt(JogOpt::Space::world, 0.5, 1, 0, true, "u1", ec, true); },
  };
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    calls[i]();
    EXPECT_EQ(ec.value(), 255);
  }
  EXPECT_EQ(id, "untouched");
  unconnected.setDefaultConfOpt(true, ec);
  EXPECT_EQ(ec.value(), 256) << "needs the link only";
  EXPECT_TRUE(requests().empty());
  EXPECT_TRUE(global_.contains("| moveReset uninitialized(255)"));
  EXPECT_TRUE(global_.contains("| moveStart uninitialized (255)"));
  EXPECT_TRUE(global_.contains("| setMaxCacheSize uninitialized (255)"));
  EXPECT_FALSE(global_.contains("executeCommand"));
  EXPECT_FALSE(global_.contains("startJog end"));
}

TEST_F(MotionRobotTest, ExecuteCommandOnALostLinkGives256AndNoContinue) {
  command().refuse(true);
  command().dropConnections();
  ASSERT_TRUE(waitUntil([&] { return !robot().impl().service->isConnected(); }, 2s));
  command().log().clear();
  std::error_code ec;
  robot().executeCommand(linearMoves(2), ec);
  EXPECT_EQ(ec.value(), 256);
  EXPECT_TRUE(requests().empty());
  EXPECT_FALSE(global_.contains("executeCommand ("));
}

TEST_F(MotionRobotTest, TheInFlightLimitHoldsBatchesUntilFinishesOrARaise) {
  std::error_code ec;
  const struct {
    int asked;
    std::uint32_t kept;
  } clamps[] = {{0, 1}, {-5, 1}, {5000, 1000}, {1000, 1000}, {1, 1}};
  for (const auto& c : clamps) {
    robot().setMaxCacheSize(c.asked, ec);
    EXPECT_FALSE(ec);
    EXPECT_EQ(robot().impl().motionControl->maxCacheSize(), c.kept) << c.asked;
  }
  EXPECT_TRUE(requests().empty()) << "the limit is the library's own";
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | setMaxCacheSize end (0)"));

  // Limit 1: a batch of two leaves at once, the next waits for both finishes.
  std::string first;
  std::string second;
  robot().moveAppend(linearMoves(2), first, ec);
  robot().moveAppend(linearMoves(1), second, ec);
  ASSERT_TRUE(arrives("move.l"));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(command().log().count("move.l"), 1u);
  EXPECT_EQ(responder().finishOldest(1), 1);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(command().log().count("move.l"), 1u) << "one of two finished: still at the limit";
  EXPECT_EQ(responder().finishOldest(1), 1);
  ASSERT_TRUE(arrives("move.l", 2));
  EXPECT_EQ(command().log().withKey("move.l")[1].id, Json::Value(second));

  // Held at the limit again; raising it lets the held batch go without any finish.
  std::string third;
  robot().moveAppend(linearMoves(1), third, ec);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(command().log().count("move.l"), 2u);
  robot().setMaxCacheSize(10, ec);
  ASSERT_TRUE(arrives("move.l", 3, 1s)) << "a raise wakes the sender";
  EXPECT_EQ(finishAll(2), 2);
}

TEST_F(MotionRobotTest, ReportsReachTheCallbackInOrderAndAnErrorDropsTheQueue) {
  Heard heard;
  std::error_code ec;
  robot().setEventWatcher(Event::moveExecution, heard.callback(), ec);
  ASSERT_FALSE(ec);
  responder().reportStarts(true);
  responder().finishAfter(5ms, 20ms);
  std::vector<std::string> ids(3);
  robot().moveAppend(linearMoves(2), ids[0], ec);
  robot().moveAppend(linearMoves(1), ids[1], ec);
  robot().moveAppend(MoveWaitCommand(1ms), ids[2], ec);
  robot().moveStart(ec);
  ASSERT_FALSE(ec);
  ASSERT_TRUE(heard.waitFor(4));
  std::this_thread::sleep_for(50ms);
  const auto infos = heard.all();
  ASSERT_EQ(infos.size(), 4u) << "start reports finish nothing and call nothing";
  const std::vector<std::string> expected = {ids[0], ids[0], ids[1], ids[2]};
  for (std::size_t i = 0; i < infos.size(); ++i) {
    EXPECT_EQ(entry<std::string>(infos[i], "cmdID"), expected[i]);
    EXPECT_TRUE(entry<bool>(infos[i], "reachTarget"));
  }
  EXPECT_EQ(entry<int>(infos[1], "wayPointIndex"), 1);
  EXPECT_EQ(robot().queryEventInfo(Event::moveExecution, ec).size(), 6u);

  // The second command from now fails: the controller and the queue drop what follows.
  responder().finishAfter(30ms, 30ms);
  // Limit 1: the batch of two holds the next one back until both commands are reported.
  robot().setMaxCacheSize(1, ec);
  responder().failCommand(2, -50, "error");
  robot().moveAppend(linearMoves(2), ids[0], ec);
  robot().moveAppend(linearMoves(1), ids[1], ec);
  ASSERT_TRUE(heard.waitFor(6));
  std::this_thread::sleep_for(100ms);
  const auto after = heard.all();
  ASSERT_EQ(after.size(), 6u);
  EXPECT_EQ(entry<std::string>(after[5], "cmdID"), ids[0]);
  EXPECT_EQ(entry<std::error_code>(after[5], "error").value(), -50);
  EXPECT_FALSE(entry<bool>(after[5], "reachTarget"));
  EXPECT_EQ(command().log().count("move.l"), 3u) << "the held batch was dropped, never sent";
}

}  // namespace
}  // namespace velmora
