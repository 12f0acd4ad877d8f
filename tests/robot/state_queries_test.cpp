// The state queries: what each asks, what the simulated controller's state reads as, and how
// each reply kind becomes the result and the code.
#include <gmock/gmock.h>

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "robot/robot_fixture.h"
#include "support/link_options.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

std::string pose(const CartesianPosition& p) {
  return ::testing::PrintToString(
      std::vector<double>{p.trans[0], p.trans[1], p.trans[2], p.rpy[0], p.rpy[1], p.rpy[2], p.elbow});
}

TEST_F(RobotOpsTest, StateQueriesAskTheirKeys) {
  const struct {
    const char* name;
    std::function<void(OstraMaxRobot&, std::error_code&)> call;
    const char* key;
  } cases[] = {
      {"jointPos", [](auto& r, auto& ec) { r.jointPos(ec); }, "sys.rt.jnt_pos"},
      {"jointVel", [](auto& r, auto& ec) { r.jointVel(ec); }, "sys.rt.jnt_vel"},
      {"jointTorque", [](auto& r, auto& ec) { r.jointTorque(ec); }, "sys.rt.jnt_trq"},
      {"flange", [](auto& r, auto& ec) { r.cartPosture(CoordinateType::flangeInBase, ec); },
       "sys.posture.flan_in_base"},
      {"end", [](auto& r, auto& ec) { r.cartPosture(CoordinateType::endInRef, ec); }, "sys.posture"},
      {"other", [](auto& r, auto& ec) { r.cartPosture(static_cast<CoordinateType>(9), ec); }, "sys.posture"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    std::error_code ec;
    c.call(robot(), ec);
    EXPECT_FALSE(ec);
    ASSERT_EQ(command().log().size(), 1u);
    EXPECT_EQ(last(c.key).form, Form::get);
    EXPECT_THAT(last(c.key).payload, JsonIs("null"));
  }

  // The snapshot is one request of five keys.
  command().log().clear();
  std::error_code ec;
  robot().getStateList(ec);
  EXPECT_FALSE(ec);
  const auto records = command().log().all();
  ASSERT_EQ(records.size(), 5u);
  for (const auto& record : records) {
    EXPECT_EQ(record.form, Form::get);
    EXPECT_EQ(record.id, records.front().id);
  }
  for (const char* key : {"sys.rt.jnt_pos", "sys.posture", "device.io", "sys.mode"}) {
    EXPECT_THAT(last(key).payload, JsonIs("null")) << key;
  }
  EXPECT_THAT(last("project.run_param").payload, JsonIs(R"({"override": null})"));
}

TEST_F(RobotOpsTest, StateQueriesReadTheControllersState) {
  sim().system().setPosture({0.5, -0.25, 0.75, 3.0, 0.125, -1.5});
  sim().system().setOperateMode("auto");
  sim().arm().setSpeedOverride(0.4);
  sim().ioBoard().setDigital("DO0_5", true);
  sim().ioBoard().setAnalog("AI0_1", 3.5);
  std::error_code ec;
  // One arm: the joints are where the posture put the flange (the identity model's slots), the
  // elbow where it was.
  EXPECT_EQ(robot().jointPos(ec), (std::vector<double>{0.5, -0.25, 0.75, 3.0, 0.125, -1.5, 0.7000000000000001}));
  EXPECT_EQ(robot().jointVel(ec).size(), 7u);
  EXPECT_EQ(robot().jointTorque(ec), (std::array<double, 7>{1.5, 3.0, 4.5, 6.0, 7.5, 9.0, 10.5}));
  EXPECT_EQ(pose(robot().cartPosture(CoordinateType::flangeInBase, ec)), pose({0.5, -0.25, 0.75, 3.0, 0.125, -1.5}));
  EXPECT_FALSE(ec);

  const StateList list = robot().getStateList(ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(list.joint_pos, robot().jointPos(ec));
  EXPECT_EQ(pose(list.cart_pos), pose({0.5, -0.25, 0.75, 3.0, 0.125, -1.5}));
  ASSERT_EQ(list.digital_signals.size(), 16u);
  EXPECT_EQ(list.digital_signals.front(), std::make_pair(std::string("DI0_0"), false));
  EXPECT_EQ(list.digital_signals[13], std::make_pair(std::string("DO0_5"), true));
  EXPECT_EQ(list.analog_signals, (std::vector<std::pair<std::string, double>>{
                                     {"AI0_0", 0.0}, {"AI0_1", 3.5}, {"AO0_0", 0.0}, {"AO0_1", 0.0}}));
  EXPECT_EQ(list.operation_mode, OperateMode::automatic);
  EXPECT_EQ(list.speed_override, 0.4);
}

TEST_F(RobotOpsTest, JointQueriesTakeOnlyArraysOfNumbers) {
  const struct {
    const char* reply;
    int code;
    std::vector<double> values;  // jointPos and jointVel
    int torqueCode;
    std::array<double, 7> torques;
  } cases[] = {
      {"[1, 2, 3, 4, 5, 6, 7]", 0, {1, 2, 3, 4, 5, 6, 7}, 0, {1, 2, 3, 4, 5, 6, 7}},
      {"[1, 2, 3, 4, 5, 6, 7, 8]", 0, {1, 2, 3, 4, 5, 6, 7, 8}, 0, {1, 2, 3, 4, 5, 6, 7}},
      {"[1, 2, 3]", 0, {1, 2, 3}, 261, {}},
      {"[]", 0, {}, 261, {}},
      {R"([1, 2, 3, 4, 5, 6, "x"])", 257, {}, 261, {}},
      {"[1, 2, 3, 4, 5, 6, [7]]", 257, {}, 261, {}},
      {R"("x")", 257, {}, 261, {}},
      {"{}", 257, {}, 261, {}},
      {"-1", 257, {}, 261, {}},
      {"null", 257, {}, 261, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    const Json::Value reply = parseJson(c.reply);
    command().script(Form::get, "sys.rt.jnt_pos", Behaviour::reply(reply).times(1));
    command().script(Form::get, "sys.rt.jnt_vel", Behaviour::reply(reply).times(1));
    command().script(Form::get, "sys.rt.jnt_trq", Behaviour::reply(reply).times(1));
    std::error_code ec;
    EXPECT_EQ(robot().jointPos(ec), c.values);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(robot().jointVel(ec), c.values);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(robot().jointTorque(ec), c.torques);
    EXPECT_EQ(ec.value(), c.torqueCode);
  }
}

TEST_F(RobotOpsTest, PostureRepliesGiveAPoseOrACode) {
  const std::string zero = pose(CartesianPosition());
  CartesianPosition expected{1, 2, 3, 0.5, 0.25, 0.125};
  expected.elbow = 0.75;
  const struct {
    const char* reply;
    int code;
    std::string pose;
  } cases[] = {
      {R"({"trans": [1, 2, 3], "rot": [0.5, 0.25, 0.125], "elb": 0.75})", 0, pose(expected)},
      {"-1", -1, zero},
      {"0", 0, zero},
      {"-50501", -50501, zero},
      {R"("x")", 257, zero},
      {"[1, 2, 3]", 257, zero},
      {"null", 257, zero},
      {"2.5", 257, zero},
      {R"({"trans": [1, "x", 3], "rot": [1, 2, 3]})", 257, zero},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    command().script(Form::get, "sys.posture", Behaviour::reply(parseJson(c.reply)).times(1));
    std::error_code ec;
    const CartesianPosition read = robot().cartPosture(CoordinateType::endInRef, ec);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(pose(read), c.pose);
  }
}

TEST_F(RobotOpsTest, SnapshotMembersOfOtherKindsAddNothing) {
  const struct {
    const char* name;
    const char* key;
    const char* reply;
    std::function<void(const StateList&, int)> check;
  } cases[] = {
      {"extra joints", "sys.rt.jnt_pos", "[1, 2, 3, 4, 5, 6, 7, 8]",
       [](const StateList& l, int code) {
         EXPECT_EQ(code, 0);
         EXPECT_EQ(l.joint_pos, (std::vector<double>{1, 2, 3, 4, 5, 6, 7}));
       }},
      {"short joints", "sys.rt.jnt_pos", "[1, 2, 3, 4, 5, 6]",
       [](const StateList& l, int code) {
         EXPECT_EQ(code, 261);
         EXPECT_EQ(l.joint_pos, std::vector<double>(7, 0.0));
         EXPECT_TRUE(l.digital_signals.empty());
         EXPECT_EQ(l.speed_override, 0.0);
       }},
      {"joints as text", "sys.rt.jnt_pos", R"("x")",
       [](const StateList& l, int code) {
         EXPECT_EQ(code, 261);
         EXPECT_EQ(l.joint_pos, std::vector<double>(7, 0.0));
       }},
      {"signals in name order, odd ones left out", "device.io",
       R"({"DI": {"DI0_2": 1, "DI0_10": 0, "DI0_3": "on"}, "DO": 5, "AI": {"AI0_1": true, "AI0_0": 2.5},
           "AO": {"AO0_0": [1]}})",
       [](const StateList& l, int code) {
         EXPECT_EQ(code, 0);
         EXPECT_EQ(l.digital_signals, (std::vector<std::pair<std::string, bool>>{{"DI0_10", false}, {"DI0_2", true}}));
         EXPECT_EQ(l.analog_signals, (std::vector<std::pair<std::string, double>>{{"AI0_0", 2.5}}));
       }},
      {"io as a code", "device.io", "-1",
       [](const StateList& l, int code) {
         EXPECT_EQ(code, 0);
         EXPECT_TRUE(l.digital_signals.empty());
         EXPECT_TRUE(l.analog_signals.empty());
       }},
      {"mode other", "sys.mode", R"("manual")",
       [](const StateList& l, int) { EXPECT_EQ(l.operation_mode, OperateMode::manual); }},
      {"mode not text", "sys.mode", "1",
       [](const StateList& l, int) { EXPECT_EQ(l.operation_mode, OperateMode::manual); }},
      {"override text", "project.run_param", R"({"override": "x"})",
       [](const StateList& l, int code) {
         EXPECT_EQ(code, 0);
         EXPECT_EQ(l.speed_override, 0.0);
       }},
      {"run param a code", "project.run_param", "-2",
       [](const StateList& l, int) { EXPECT_EQ(l.speed_override, 0.0); }},
      {"posture unreadable", "sys.posture", R"({"trans": [1, "x", 3], "rot": [1, 2, 3]})",
       [](const StateList& l, int code) {
         EXPECT_EQ(code, 0);
         EXPECT_EQ(pose(l.cart_pos), pose(CartesianPosition()));
         EXPECT_EQ(l.joint_pos.size(), 7u);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().script(Form::get, c.key, Behaviour::reply(parseJson(c.reply)).times(1));
    std::error_code ec;
    const StateList list = robot().getStateList(ec);
    c.check(list, ec.value());
  }
}

TEST_F(RobotOpsTest, StateQueryTransportFailuresGiveEmptyResults) {
  useRequestWait(150ms);
  std::error_code ec;
  command().script("sys.mode", Behaviour::silent().times(1));
  const StateList list = robot().getStateList(ec);
  EXPECT_EQ(ec.value(), 263);
  EXPECT_TRUE(list.joint_pos.empty());
  command().script("sys.posture", Behaviour::wrongKind().times(1));
  EXPECT_TRUE(robot().getStateList(ec).joint_pos.empty());
  EXPECT_EQ(ec.value(), 257);

  command().script("sys.rt.jnt_pos", Behaviour::silent().times(1));
  command().script("sys.rt.jnt_trq", Behaviour::wrongKind().times(1));
  command().script("sys.posture", Behaviour::wrongKind().times(1));
  EXPECT_TRUE(robot().jointPos(ec).empty());
  EXPECT_EQ(ec.value(), 263);
  EXPECT_EQ(robot().jointTorque(ec), (std::array<double, 7>{}));
  EXPECT_EQ(ec.value(), 257);
  EXPECT_EQ(pose(robot().cartPosture(CoordinateType::endInRef, ec)), pose(CartesianPosition()));
  EXPECT_EQ(ec.value(), 257);
}

}  // namespace
}  // namespace velmora
