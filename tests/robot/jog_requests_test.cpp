// Jogging, online adjustment and the per-arm motion options: the requests, their refusals
// and how the replies become results and codes.
#include <gmock/gmock.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "robot/motion_robot_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;
using S = JogOpt::Space;

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST_F(MotionRobotTest, JogsSendTheirMembersAndRefuseRatesAndStepsOutOfRange) {
  struct Case {
    const char* name;
    std::function<void(BaseRobot&, std::error_code&)> call;
    const char* key;  // null: refused, nothing sent
    const char* payload;
  };
  using R = BaseRobot&;
  using E = std::error_code&;
  const Case cases[] = {
      {"lowest rate", [](R r, E ec) { r.startJog(S::world, 0.01, 0.5, 2, true, ec); }, "move.jog",
       R"({"space": 0, "rate": 0.01, "step": 0.5, "index": 2, "direction": true})"},
      {"highest rate", [](R r, E ec) { r.startJog(S::baseParallelMode, 1.0, 2.0, 0, false, ec); }, "move.jog",
       R"({"space": 7, "rate": 1.0, "step": 2.0, "index": 0, "direction": false})"},
      {"external unit", [](R r, E ec) { r.startJogWithExt(S::jointSpace, 0.5, 1.0, 1, false, "u1", ec, true); },
       "move.jog_with_ext",
       R"({"space": 5, "rate": 0.5, "step": 1.0, "index": 1, "direction": false, "fixed_name": "u1",
           "is_ext": true})"},
      {"external default", [](R r, E ec) { r.startJogWithExt(S::flange, 0.2, 1.0, 3, true, "u2", ec); },
       "move.jog_with_ext",
       R"({"space": 1, "rate": 0.2, "step": 1.0, "index": 3, "direction": true, "fixed_name": "u2",
           "is_ext": false})"},
      {"rate too low", [](R r, E ec) { r.startJog(S::world, 0.009, 0.5, 0, true, ec); }, nullptr, ""},
      {"rate too high", [](R r, E ec) { r.startJog(S::world, 1.01, 0.5, 0, true, ec); }, nullptr, ""},
      {"rate NaN", [](R r, E ec) { r.startJog(S::world, kNaN, 0.5, 0, true, ec); }, nullptr, ""},
      {"step zero", [](R r, E ec) { r.startJog(S::world, 0.5, 0.0, 0, true, ec); }, nullptr, ""},
      {"step NaN", [](R r, E ec) { r.startJog(S::world, 0.5, kNaN, 0, true, ec); }, nullptr, ""},
      {"step infinite", [](R r, E ec) { r.startJog(S::world, 0.5, kInf, 0, true, ec); }, nullptr, ""},
      {"external rate NaN", [](R r, E ec) { r.startJogWithExt(S::world, kNaN, 1.0, 0, true, "u1", ec, true); }, nullptr,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    std::error_code ec;
    c.call(robot(), ec);
    const auto sent = requests();
    if (c.key == nullptr) {
      EXPECT_EQ(ec.value(), 258);
      EXPECT_TRUE(sent.empty());
      continue;
    }
    EXPECT_FALSE(ec) << ec.value();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].form, Form::command);
    EXPECT_EQ(sent[0].key, c.key);
    EXPECT_THAT(sent[0].payload, JsonIs(std::string(c.payload)));
  }
  EXPECT_TRUE(global_.contains(
      "uid: VELSIM00-0001 | startJogWithExt end, space: jointSpace, rate: 50%, step: 1, index: 1, direction: false "
      ",mech_unit name:u1 (0)"));
  EXPECT_TRUE(global_.contains("| startJog end, space: world, rate: 50%, step: 0, index: 0, direction: true (258)"));
}

TEST_F(MotionRobotTest, StopEndsAJogThenPausesAgain) {
  std::error_code ec;
  command().script(Form::command, "move.jog", Behaviour::reply(-3).times(1));
  robot().startJog(S::toolFrame, 0.5, 1.0, 0, true, ec);
  EXPECT_EQ(ec.value(), -3);
  robot().stop(ec);
  EXPECT_EQ(requests().back().key, "move.pause") << "a refused jog leaves nothing to end";

  robot().startJog(S::toolFrame, 0.5, 1.0, 0, true, ec);
  ASSERT_FALSE(ec);
  EXPECT_EQ(robot().operationState(ec), OperationState::jogging);
  command().log().clear();
  command().script(Form::command, "move.stop", Behaviour::reply(-1).times(1));
  robot().stop(ec);
  EXPECT_EQ(ec.value(), 769);
  robot().stop(ec);
  EXPECT_FALSE(ec);
  const auto sent = requests();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].key, "move.stop");
  EXPECT_THAT(sent[0].payload, JsonIs(R"({"task_space": 1})"));
  EXPECT_EQ(sent[1].key, "move.pause") << "the jog ended with the first stop, whatever its reply";
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | stop jogging"));
}

TEST_F(MotionRobotTest, OnlineAdjustmentsSendTheirValuesAndReadTheirReplies) {
  std::error_code ec;
  robot().adjustSpeedOnline(0.5, ec);
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("move.override_rate").payload, JsonIs("0.5"));
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | adjustSpeedOnline end, scale: 50% (0)"));
  robot().adjustAcceleration(1.5, 2.5, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(last("move.acc").form, Form::set);
  EXPECT_THAT(last("move.acc").payload, JsonIs(R"({"acc": 1.5, "jerk": 2.5})"));
  double acc = 0;
  double jerk = 0;
  robot().getAcceleration(acc, jerk, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(acc, 1.5);
  EXPECT_EQ(jerk, 2.5);
  robot().setAutoIgnoreZone(true, ec);
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("move.ignore_zone").payload, JsonIs("true"));

  const struct {
    const char* name;
    std::function<void(std::error_code&)> call;
    Form form;
    const char* key;
    const char* reply;
    int code;
  } replies[] = {
      {"speed refused", [&](auto& e) { robot().adjustSpeedOnline(0.2, e); }, Form::command, "move.override_rate", "-3",
       -3},
      {"speed odd reply", [&](auto& e) { robot().adjustSpeedOnline(0.2, e); }, Form::command, "move.override_rate",
       R"("x")", -260},
      {"acc refused", [&](auto& e) { robot().adjustAcceleration(1, 1, e); }, Form::set, "move.acc", "-2", -2},
      {"ignore zone not read", [&](auto& e) { robot().setAutoIgnoreZone(false, e); }, Form::command, "move.ignore_zone",
       "-3", 0},
  };
  for (const auto& c : replies) {
    SCOPED_TRACE(c.name);
    command().script(c.form, c.key, Behaviour::reply(parseJson(c.reply)).times(1));
    c.call(ec);
    EXPECT_EQ(ec.value(), c.code);
  }

  command().log().clear();
  robot().adjustSpeedOnline(kNaN, ec);
  EXPECT_EQ(ec.value(), 259);
  robot().adjustAcceleration(1.0, kInf, ec);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_TRUE(requests().empty()) << "a value that is not finite would reach the controller as null";
}

TEST_F(MotionRobotTest, GetAccelerationKeepsItsOutputsUnlessBothValuesRead) {
  const struct {
    const char* reply;
    int code;
    double acc;
    double jerk;
  } cases[] = {
      {R"({"acc": 3, "jerk": 4.5})", 0, 3, 4.5},
      {"-3", -3, 9, 9},
      {"0", 0, 9, 9},  // a bare success code carries no values
      {R"("bad")", 257, 9, 9},
      {"[1, 2]", 257, 9, 9},
      {"null", 257, 9, 9},
      {R"({"acc": "1", "jerk": 2})", 257, 9, 9},
      {R"({"acc": 1})", 257, 9, 9},
      {R"({"acc": true, "jerk": 2})", 257, 9, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    command().script(Form::get, "move.acc", Behaviour::reply(parseJson(c.reply)).times(1));
    double acc = 9;
    double jerk = 9;
    std::error_code ec;
    robot().getAcceleration(acc, jerk, ec);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(acc, c.acc);
    EXPECT_EQ(jerk, c.jerk);
  }
}

TEST_F(MotionRobotTest, SingularityAvoidanceByArm) {
  robot_.reset();
  sim().setInfo(arm(6, "industrial"));
  StandardRobot standard(address(), address());
  sim().setInfo(arm(6, "cobot"));
  OstraRobot ostra(address(), address());
  using M = AvoidSingularityMethod;
  struct Case {
    const char* name;
    BaseRobot* robot;
    M method;
    bool enable;
    double limit;
    const char* key;  // null: refused with 259, nothing sent
    const char* payload;
  };
  auto set = [&](const Case& c, std::error_code& ec) {
    if (c.robot == &standard) {
      standard.setAvoidSingularity(c.method, c.enable, c.limit, ec);
    } else {
      ostra.setAvoidSingularity(c.method, c.enable, c.limit, ec);
    }
  };
  const Case cases[] = {
      {"wrist in degrees", &standard, M::wrist, true, 0.5, "move.avoid_sing_wrist",
       R"({"enable": true, "threshold": 28.64788975654116})"},
      {"joint way unconverted", &standard, M::jointWay, true, 0.5, "move.avoid_sing_joint_way",
       R"({"enable": true, "threshold": 0.5})"},
      {"lock axis 4: the flag alone", &standard, M::lockAxis4, false, 3.0, "move.avoid_singularity", "false"},
      {"lock axis 4 ignores the limit", &ostra, M::lockAxis4, true, kNaN, "move.avoid_singularity", "true"},
      {"collaborative wrist", &ostra, M::wrist, false, 0.1, "move.avoid_sing_wrist",
       R"({"enable": false, "threshold": 5.729577951308232})"},
      {"collaborative joint way", &ostra, M::jointWay, true, 0.5, nullptr, ""},
      {"outside the enumeration", &standard, static_cast<M>(9), true, 0.5, nullptr, ""},
      {"limit NaN", &standard, M::wrist, true, kNaN, nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    std::error_code ec;
    set(c, ec);
    const auto sent = requests();
    if (c.key == nullptr) {
      EXPECT_EQ(ec.value(), 259);
      EXPECT_TRUE(sent.empty());
      continue;
    }
    EXPECT_FALSE(ec) << ec.value();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].key, c.key);
    EXPECT_THAT(sent[0].payload, JsonIs(std::string(c.payload)));
  }
  EXPECT_TRUE(global_.contains("| setAvoidSingularity unsupported method jointWay (259)"));
  EXPECT_TRUE(global_.contains("| setAvoidSingularity end, method: lockAxis4, enable: false, threshold: 3 (0)"));

  // Round trips through the simulator, then each reply kind.
  std::error_code ec;
  EXPECT_TRUE(standard.getAvoidSingularity(M::jointWay, ec)) << "switched on above";
  EXPECT_FALSE(ostra.getAvoidSingularity(M::wrist, ec)) << "switched off last";
  EXPECT_FALSE(ec);
  EXPECT_FALSE(ostra.getAvoidSingularity(M::jointWay, ec));
  EXPECT_EQ(ec.value(), 259);
  const struct {
    const char* reply;
    bool on;
    int code;
  } replies[] = {{R"("on")", true, 0},    {R"("off")", false, 0}, {"true", true, 0},     {"false", false, 0},
                 {R"("x")", false, -260}, {"-3", false, -3},      {"null", false, -260}, {"{}", false, -260}};
  for (const auto& c : replies) {
    SCOPED_TRACE(c.reply);
    command().script(Form::get, "move.avoid_singularity", Behaviour::reply(parseJson(c.reply)).times(1));
    EXPECT_EQ(ostra.getAvoidSingularity(M::lockAxis4, ec), c.on);
    EXPECT_EQ(ec.value(), c.code);
  }
  for (const auto& [reply, code] : {std::pair{"-3", -3}, {R"("ok")", -260}, {"null", -260}}) {
    command().script(Form::command, "move.avoid_sing_wrist", Behaviour::reply(parseJson(reply)).times(1));
    standard.setAvoidSingularity(M::wrist, true, 0.2, ec);
    EXPECT_EQ(ec.value(), code) << reply;
  }
}

TEST_F(MotionRobotTest, CompletePostureInterpolationOnTheFiveAxisArm) {
  robot_.reset();
  sim().setInfo(arm(5, "cobot"));
  OstraLiteRobot lite(address(), address());
  command().log().clear();
  std::error_code ec;
  lite.enableCompletePostureLerp(true, ec);
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("sys.completePostureLerp").payload, JsonIs(R"({"enable": true})"));
  command().script(Form::command, "sys.completePostureLerp", Behaviour::reply(-3).times(1));
  lite.enableCompletePostureLerp(false, ec);
  EXPECT_EQ(ec.value(), -3);
  EXPECT_FALSE(global_.contains("enableCompletePostureLerp")) << "robot log only";
}

TEST_F(MotionRobotTest, NoReplyOfAnyKindEndsTheProgram) {
  const char* const keys[] = {"move.reset",
                              "move.continue",
                              "move.pause",
                              "move.stop",
                              "move.default_speed",
                              "move.default_zone",
                              "move.default_conf",
                              "move.override_rate",
                              "move.acc",
                              "move.ignore_zone",
                              "move.jog",
                              "move.jog_with_ext",
                              "move.path.check",
                              "sys.state",
                              "eci.enable",
                              "eci.disable",
                              "move.l",
                              "move.wait"};
  const CartesianPosition pose{0.4, 0, 0.5, 3.14, 0, 0};
  for (const char* odd : {R"("x")", "{}", "[]", "null", "1.5", "true", R"({"error": [], "data": {"index": "i"}})"}) {
    SCOPED_TRACE(odd);
    const Json::Value reply = parseJson(odd);
    for (const char* key : keys) command().handle(key, [reply](velmora_sim::Exchange& x) { x.reply(reply); });
    std::error_code ec;
    std::string id;
    double acc = 0;
    double jerk = 0;
    std::vector<double> out;
    robot().moveAppend(linearMoves(2), id, ec);
    robot().moveAppend(MoveWaitCommand(1ms), id, ec);
    robot().executeCommand(linearMoves(1), ec);
    robot().moveStart(ec);
    robot().stop(ec);
    robot().moveReset(ec);
    robot().setDefaultSpeed(100, ec);
    robot().setDefaultZone(1, ec);
    robot().setDefaultConfOpt(true, ec);
    robot().adjustSpeedOnline(0.5, ec);
    robot().adjustAcceleration(1, 1, ec);
    robot().getAcceleration(acc, jerk, ec);
    robot().setAutoIgnoreZone(true, ec);
    robot().startJog(S::world, 0.5, 1, 0, true, ec);
    robot().startJogWithExt(S::world, 0.5, 1, 0, true, "u1", ec, true);
    robot().stop(ec);
    robot().checkPath(pose, {0, 0}, pose, ec);
    robot().checkPath(pose, {0, 0}, pose, pose, ec, 90.0);
    robot().checkPath({0, 0}, {pose, pose}, out, ec);
    robot().setMotionControlMode(MotionControlMode::NrtCommand, ec);
    command().clearScripts();
  }
  std::error_code ec;
  EXPECT_EQ(robot().operationState(ec), OperationState::idle) << "the link and the robot still work";
}

}  // namespace
}  // namespace velmora
