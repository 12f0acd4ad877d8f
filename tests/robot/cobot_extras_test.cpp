// The collaborative arms' extras (drag, collision detection, force sensor, keypad, tool-end
// board settings, real-time client) and the industrial 6-axis arm's collision detection, as
// the controller received them, with their reply rules and refusals.
#include <gmock/gmock.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "robot/robot_fixture.h"
#include "support/link_options.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;
using Space = DragParameter::Space;
using Type = DragParameter::Type;
using Vout = FlangeboxOpt::Vout;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST_F(RobotOpsTest, EachExtraSendsItsKeyAndPayload) {
  const std::array<double, 7> sens{1, 2, 3, 4, 5, 6, 7};
  const RequestCase cases[] = {
      {"drag joint freely", [](auto& r, auto& ec) { r.enableDrag(Space::jointSpace, Type::freely, ec); }, Form::command,
       "sys.drag", R"({"enable": true, "type": 2, "space": 0, "quick": false})"},
      {"drag cartesian rotation button",
       [](auto& r, auto& ec) { r.enableDrag(Space::cartesianSpace, Type::rotationOnly, ec, true); }, Form::command,
       "sys.drag", R"({"enable": true, "type": 1, "space": 1, "quick": true})"},
      {"drag off remembers", [](auto& r, auto& ec) { r.disableDrag(ec); }, Form::command, "sys.drag",
       R"({"enable": false, "type": 1, "space": 1})"},
      {"collision stop0", [&](auto& r, auto& ec) { r.enableCollisionDetection(sens, StopLevel::stop0, 0.4, ec); },
       Form::command, "safety.collision_detection",
       R"({"enable": true, "sensitivity": [1,2,3,4,5,6,7], "action": {"behaviour": "stop1", "fallback": 0.4}})"},
      {"collision off", [](auto& r, auto& ec) { r.disableCollisionDetection(ec); }, Form::command,
       "safety.collision_detection", R"({"enable": false})"},
      {"collision stop2", [&](auto& r, auto& ec) { r.enableCollisionDetection(sens, StopLevel::stop2, 2.5, ec); },
       Form::command, "safety.collision_detection",
       R"({"enable": true, "sensitivity": [1,2,3,4,5,6,7], "action": {"behaviour": "pause", "fallback": 2.5}})"},
      {"collision off again", [](auto& r, auto& ec) { r.disableCollisionDetection(ec); }, Form::command,
       "safety.collision_detection", R"({"enable": false})"},
      {"collision supple capped",
       [&](auto& r, auto& ec) { r.enableCollisionDetection(sens, StopLevel::suppleStop, 1.5, ec); }, Form::command,
       "safety.collision_detection",
       R"({"enable": true, "sensitivity": [1,2,3,4,5,6,7], "action": {"behaviour": "fcimpedstop"},
           "compliance": 1.0})"},
      {"collision off third", [](auto& r, auto& ec) { r.disableCollisionDetection(ec); }, Form::command,
       "safety.collision_detection", R"({"enable": false})"},
      {"collision supple below cap",
       [&](auto& r, auto& ec) { r.enableCollisionDetection(sens, StopLevel::suppleStop, 0.25, ec); }, Form::command,
       "safety.collision_detection",
       R"({"enable": true, "sensitivity": [1,2,3,4,5,6,7], "action": {"behaviour": "fcimpedstop"},
           "compliance": 0.25})"},
      {"collision off fourth", [](auto& r, auto& ec) { r.disableCollisionDetection(ec); }, Form::command,
       "safety.collision_detection", R"({"enable": false})"},
      {"collision odd level",
       [&](auto& r, auto& ec) { r.enableCollisionDetection(sens, static_cast<StopLevel>(9), 0.5, ec); }, Form::command,
       "safety.collision_detection",
       R"({"enable": true, "sensitivity": [1,2,3,4,5,6,7], "action": {"behaviour": "stop1", "fallback": 0.5}})"},
      {"calibrate all", [](auto& r, auto& ec) { r.calibrateForceSensor(true, 99, ec); }, Form::command,
       "utils.calibrate_force_sensor", "null"},
      {"calibrate axis 6", [](auto& r, auto& ec) { r.calibrateForceSensor(false, 6, ec); }, Form::command,
       "utils.calibrate_force_sensor", R"({"index": 6})"},
      {"keypad", [](auto& r, auto& ec) { r.getKeypadState(ec); }, Form::get, "device.io.keypad", "null"},
      {"vout 24", [](auto& r, auto& ec) { r.setFlangeboxVout(Vout::supply24v, ec); }, Form::set, "device.io.flangebox",
       R"({"vout": "24v"})"},
      {"vout odd", [](auto& r, auto& ec) { r.setFlangeboxVout(static_cast<Vout>(7), ec); }, Form::set,
       "device.io.flangebox", R"({"vout": "off"})"},
      {"rs485 on", [](auto& r, auto& ec) { r.setFlangeboxRS485(Vout::supply12v, true, ec); }, Form::set,
       "device.io.flangebox", R"({"vout": "12v", "mode": "rs485"})"},
      {"rs485 off", [](auto& r, auto& ec) { r.setFlangeboxRS485(Vout::reserve, false, ec); }, Form::set,
       "device.io.flangebox", R"({"vout": "reserve", "mode": "ai"})"},
      {"rci use", [](auto& r, auto& ec) { r.useRciClient(true, ec); }, Form::set, "eci.rci.cfg",
       R"({"protocol_version": ""})"},
      {"rci not", [](auto& r, auto& ec) { r.useRciClient(false, ec); }, Form::set, "eci.rci.cfg",
       R"({"protocol_version": "sdk0.7.1"})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    std::error_code ec;
    c.call(robot(), ec);
    EXPECT_FALSE(ec) << ec.value();
    const auto records = command().log().withKey(c.key);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].form, c.form);
    EXPECT_THAT(records[0].payload, JsonIs(std::string(c.payload)));
  }
  EXPECT_EQ(sim().cobot().boardMode(), "ai");
  EXPECT_EQ(sim().cobot().calibrations(), (std::vector<int>{-1, 6}));
}

TEST_F(RobotOpsTest, DragFollowsTheControllerStateAndRemembersWhatWasAsked) {
  LogCapture global;
  std::error_code ec;
  // A fresh robot disables freely in joint space.
  robot().disableDrag(ec);
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("sys.drag").payload, JsonIs(R"({"enable": false, "space": 0, "type": 2})"));
  EXPECT_EQ(command().log().all().front().key, "sys.state");

  // Joint space takes nothing but freely: refused, nothing sent, the memory kept.
  for (const Type type : {Type::translationOnly, Type::rotationOnly, static_cast<Type>(5)}) {
    command().log().clear();
    robot().enableDrag(Space::jointSpace, type, ec, true);
    EXPECT_EQ(ec.value(), 259);
    EXPECT_EQ(command().log().size(), 0u);
  }
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | enableDrag not freely in joint space (259)"));

  // A refused enable still changes the memory: it records what was asked.
  command().script(Form::command, "sys.drag", Behaviour::reply(-5).times(1));
  robot().enableDrag(Space::cartesianSpace, Type::translationOnly, ec);
  EXPECT_EQ(ec.value(), -5);
  sim().system().setState("rci");
  robot().disableDrag(ec);
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("eci.drag").payload, JsonIs(R"({"enable": false, "space": 1, "type": 0})"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | disableDrag end, rt:true (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | enableDrag end, rt:false (-5)"));

  // A state reply that names no state does not keep the drag request from deciding the code.
  command().script(Form::get, "sys.state", Behaviour::reply(Json::Value(Json::arrayValue)).times(1));
  robot().enableDrag(Space::cartesianSpace, Type::freely, ec);
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("sys.drag").payload, JsonIs(R"({"enable": true, "space": 1, "type": 2, "quick": false})"));
}

TEST_F(RobotOpsTest, DragMemoryNeverMixesTwoEnables) {
  // Two threads enabling at once: the pair a disable sends is one of the two asked.
  std::atomic<bool> stop{false};
  std::thread other([&] {
    std::error_code ec;
    while (!stop) robot().enableDrag(Space::jointSpace, Type::freely, ec);
  });
  std::error_code ec;
  for (int i = 0; i < 40; ++i) {
    robot().enableDrag(Space::cartesianSpace, Type::translationOnly, ec);
    robot().disableDrag(ec);
    // The simulator refuses joint space with another type than freely.
    EXPECT_FALSE(ec) << i;
  }
  stop = true;
  other.join();
}

TEST_F(RobotOpsTest, ReplyCodesOfTheExtras) {
  struct Case {
    const char* name;
    std::function<void(OstraMaxRobot&, std::error_code&)> call;
    Form form;
    const char* key;
    Json::Value reply;
    int code;
  };
  const std::array<double, 7> sens{};
  auto enable = [&](auto& r, auto& ec) { r.enableCollisionDetection(sens, StopLevel::stop1, 1.0, ec); };
  const Case cases[] = {
      {"enable -1 is duplicate", enable, Form::command, "safety.collision_detection", -1, 264},
      {"enable other code", enable, Form::command, "safety.collision_detection", -7, -7},
      {"enable odd reply", enable, Form::command, "safety.collision_detection", "x", -260},
      {"disable -1 stays", [](auto& r, auto& ec) { r.disableCollisionDetection(ec); }, Form::command,
       "safety.collision_detection", -1, -1},
      {"calibrate code", [](auto& r, auto& ec) { r.calibrateForceSensor(true, 0, ec); }, Form::command,
       "utils.calibrate_force_sensor", -3, -3},
      {"vout code", [](auto& r, auto& ec) { r.setFlangeboxVout(Vout::off, ec); }, Form::set, "device.io.flangebox", -2,
       -2},
      {"rs485 code", [](auto& r, auto& ec) { r.setFlangeboxRS485(Vout::off, true, ec); }, Form::set,
       "device.io.flangebox", 5, 5},
      {"rci code", [](auto& r, auto& ec) { r.useRciClient(true, ec); }, Form::set, "eci.rci.cfg", -9, -9},
      {"drag code", [](auto& r, auto& ec) { r.disableDrag(ec); }, Form::command, "sys.drag", -4, -4},
      {"drag odd reply", [](auto& r, auto& ec) { r.disableDrag(ec); }, Form::command, "sys.drag",
       Json::Value(Json::objectValue), -260},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().script(c.form, c.key, Behaviour::reply(c.reply).times(1));
    std::error_code ec;
    c.call(robot(), ec);
    EXPECT_EQ(ec.value(), c.code);
  }
  // The real controller answers -1 to a second enable.
  std::error_code ec;
  enable(robot(), ec);
  EXPECT_FALSE(ec);
  enable(robot(), ec);
  EXPECT_EQ(ec.value(), 264);
}

TEST_F(RobotOpsTest, RefusedExtrasSendNothing) {
  LogCapture global;
  std::error_code ec;
  robot().calibrateForceSensor(false, 7, ec);
  EXPECT_EQ(ec.value(), 258);
  robot().calibrateForceSensor(false, -1, ec);
  EXPECT_EQ(ec.value(), 258);
  robot().enableCollisionDetection({1, 2, 3, kNaN, 5, 6, 7}, StopLevel::stop0, 0.5, ec);
  EXPECT_EQ(ec.value(), 259);
  robot().enableCollisionDetection({}, StopLevel::suppleStop, std::numeric_limits<double>::infinity(), ec);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(command().log().size(), 0u);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | calibrateForceSensor index:7 over-range | (258)"));
  EXPECT_FALSE(global.contains("calibrateForceSensor end"));
}

TEST_F(RobotOpsTest, KeypadReadsSevenKeysOrNone) {
  sim().cobot().setKeys({true, false, true, false, false, false, true});
  std::error_code ec;
  KeyPadState keys = robot().getKeypadState(ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(keys.key1_state && keys.key3_state && keys.key7_state);
  EXPECT_FALSE(keys.key2_state || keys.key4_state || keys.key5_state || keys.key6_state);

  // A refusal is its code; any other answer: no key pressed, the code unchanged.
  command().script(Form::get, "device.io.keypad", Behaviour::reply(-1).times(1));
  keys = robot().getKeypadState(ec);
  EXPECT_EQ(ec.value(), -1);
  EXPECT_FALSE(keys.key1_state || keys.key3_state || keys.key7_state);
  for (const char* reply : {"[true,true,true,true,true,true]", "[true,true,true,true,true,true,true,true]",
                            R"(["x",true,true,true,true,true,true])", R"({"a": 1})", "0", "\"keys\"", "null"}) {
    SCOPED_TRACE(reply);
    command().script(Form::get, "device.io.keypad", Behaviour::reply(parseJson(reply)).times(1));
    keys = robot().getKeypadState(ec);
    EXPECT_FALSE(ec);
    EXPECT_FALSE(keys.key1_state || keys.key2_state || keys.key3_state || keys.key7_state);
  }
  useRequestWait(std::chrono::milliseconds(200));
  command().script(Form::get, "device.io.keypad", Behaviour::silent().times(1));
  keys = robot().getKeypadState(ec);
  EXPECT_EQ(ec.value(), 263);
}

TEST_F(RobotOpsTest, ExtrasEndLinesSayWhatWasSent) {
  LogCapture global;
  std::error_code ec;
  robot().setFlangeboxRS485(Vout::supply12v, false, ec);
  robot().setFlangeboxVout(static_cast<Vout>(-3), ec);
  robot().useRciClient(false, ec);
  robot().calibrateForceSensor(false, 2, ec);
  robot().enableCollisionDetection({1, 1, 1, 1, 1, 1, 1}, StopLevel::suppleStop, 3.0, ec);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setFlangeboxRTU end, opt: 12v, ai (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setFlangeboxVout end, opt: off (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | useRciClient end, use: false (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | calibrateForceSensor end false, 2, (0)"));
  EXPECT_TRUE(
      global.contains("uid: VELSIM00-0001 | enableCollisionDetection end, sensitivity: [1, 1, 1, 1, 1, 1, "
                      "1], behaviour: suppleStop, fallback: 3 (0)"));
}

class OtherArmsTest : public RobotSimTest {};

TEST_F(OtherArmsTest, SensitivitiesAndAxesFollowTheArm) {
  std::error_code ec;
  {
    sim().setInfo(arm(5, "cobot"));
    OstraLiteRobot five(address(), address());
    five.enableCollisionDetection({1, 2, 3, 4, 5}, StopLevel::stop1, 0.5, ec);
    EXPECT_FALSE(ec);
    EXPECT_THAT(command().log().withKey("safety.collision_detection").back().payload,
                JsonIs(R"({"enable": true, "sensitivity": [1,2,3,4,5], "action": {"behaviour": "stop1",
                           "fallback": 0.5}})"));
    command().log().clear();
    five.calibrateForceSensor(false, 5, ec);
    EXPECT_EQ(ec.value(), 258);
    EXPECT_EQ(command().log().count("utils.calibrate_force_sensor"), 0u);
  }
  {
    sim().setInfo(arm(6, "cobot"));
    OstraRobot six(address(), address());
    six.calibrateForceSensor(false, 5, ec);
    EXPECT_FALSE(ec);
    EXPECT_THAT(command().log().withKey("utils.calibrate_force_sensor").back().payload, JsonIs(R"({"index": 5})"));
    six.disableCollisionDetection(ec);
    EXPECT_FALSE(ec);
  }
  {
    sim().setInfo(arm(6, "industrial"));
    StandardRobot standard(address(), address());
    command().log().clear();
    standard.enableCollisionDetection({6, 5, 4, 3, 2, 1}, 0.75, ec);
    EXPECT_FALSE(ec);
    EXPECT_THAT(command().log().withKey("safety.collision_detection").back().payload,
                JsonIs(R"({"enable": true, "sensitivity": [6,5,4,3,2,1], "action": {"behaviour": "stop1",
                           "fallback": 0.75}})"));
    standard.enableCollisionDetection({6, 5, 4, 3, 2, 1}, 0.75, ec);
    EXPECT_EQ(ec.value(), 264);
    command().script(Form::command, "safety.collision_detection", Behaviour::reply(-1).times(1));
    standard.disableCollisionDetection(ec);
    EXPECT_EQ(ec.value(), -1);
    standard.enableCollisionDetection({6, 5, 4, 3, 2, kNaN}, 0.75, ec);
    EXPECT_EQ(ec.value(), 259);
    EXPECT_THAT(command().log().withKey("safety.collision_detection").back().payload, JsonIs(R"({"enable": false})"));
  }
}

}  // namespace
}  // namespace velmora
