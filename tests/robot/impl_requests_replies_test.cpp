// Every key of the shared requests answered with a value of each kind the reader does not
// expect: nothing throws, and each shape gives the code named for it.

#include <array>
#include <functional>

#include "impl_requests_fixture.h"

using Impl = velmora::BaseRobot::Impl;
using velmora_sim::Behaviour;
using velmora_sim::Form;

namespace {

enum Shape { kText, kArray, kObject, kNull, kWrongForm, kShapes };

Behaviour answer(Shape shape) {
  switch (shape) {
    case kText:
      return Behaviour::reply("x").times(1);
    case kArray:
      return Behaviour::reply(parseJson(R"([1, "a", null])")).times(1);
    case kObject:
      return Behaviour::reply(parseJson(R"({"q": {"w": []}})")).times(1);
    case kNull:
      return Behaviour::reply(Json::Value()).times(1);
    default:
      return Behaviour::wrongKind().times(1);
  }
}

int writeEntry(Impl& robot, const std::string& name, const std::string& kind) {
  std::error_code ec;
  robot.setWorkToolInfo(velmora::WorkToolInfo(name, true, {}, {}), kind, ec);
  return ec.value();
}

TEST_F(RobotRequestsTest, HostileReplyKinds) {
  int fresh = 0;  // project entries are added under new names, so the controller takes each
  struct KeyCase {
    Form form;
    std::string key;
    std::function<int(Impl&)> call;
    std::array<int, kShapes> codes;  // text, array, object, null, form member not an object
  };
  std::vector<KeyCase> cases;
  for (const std::string kind : {"tool", "wobj"}) {
    cases.push_back({Form::get,
                     "project." + kind + ".info",
                     [kind](Impl& robot) {
                       std::error_code ec;
                       const auto list = robot.workToolsInfo(kind, ec);
                       EXPECT_TRUE(list.empty());
                       return ec.value();
                     },
                     {0, 0, 0, 0, 257}});
    cases.push_back({Form::get,
                     "project." + kind + "s",
                     [kind, &fresh](Impl& robot) { return writeEntry(robot, kind + std::to_string(++fresh), kind); },
                     {0, 0, 0, 0, 257}});
    cases.push_back({Form::command,
                     "project." + kind,
                     [kind, &fresh](Impl& robot) { return writeEntry(robot, kind + std::to_string(++fresh), kind); },
                     {0, 0, 0, 0, 257}});
    cases.push_back({Form::command,
                     "global." + kind + "s.set.one",
                     [kind](Impl& robot) { return writeEntry(robot, "g_" + kind + "_4", kind); },
                     {0, 0, 0, 0, 257}});
  }
  cases.push_back({Form::get,
                   "register.values",
                   [](Impl& robot) {
                     std::error_code ec;
                     Json::Value values;
                     robot.queryRegisterValues(values, "reg_int", ec);
                     EXPECT_TRUE(values.isNull());
                     return ec.value();
                   },
                   {-260, -260, -260, -260, 257}});
  cases.push_back({Form::command,
                   "utils.reboot",
                   [](Impl& robot) {
                     std::error_code ec;
                     robot.rebootOrShutdown(1, ec);
                     return ec.value();
                   },
                   {-260, -260, -260, 0, 257}});
  cases.push_back({Form::command,
                   "sys.mode.switch",
                   [](Impl& robot) {
                     std::error_code ec;
                     const int result = robot.setOperateMode(velmora::OperateMode::automatic, ec);
                     EXPECT_EQ(result, ec.value());
                     return result;
                   },
                   {-260, -260, -260, 0, 257}});
  cases.push_back({Form::get,
                   "flangebox_support_rs485_param",
                   [](Impl& robot) {
                     const int type = robot.GetFlangeBoxType();
                     EXPECT_FALSE(robot.flangeBoxTypeKnown);
                     return type;
                   },
                   {0, 0, 0, 0, 0}});
  for (const char* key : {"ext_axis.get_axis_info", "ext_axis.get_mechanical_unit_info"}) {
    cases.push_back({Form::command,
                     key,
                     [key](Impl& robot) {
                       std::error_code ec;
                       Json::Value reply;
                       if (std::string(key) == "ext_axis.get_axis_info") {
                         robot.queryExtAxisInfo(reply, ec);
                       } else {
                         robot.queryMechUnit(reply, ec);
                       }
                       return ec.value();
                     },
                     {0, 0, 0, 0, 257}});
  }
  cases.push_back({Form::get,
                   "rail_param",
                   [](Impl& robot) {
                     std::error_code ec;
                     Json::Value value;
                     robot.queryRailParameter(value, ec);
                     return ec.value();
                   },
                   {0, 0, 0, 0, 257}});
  cases.push_back({Form::set,
                   "rail_param",
                   [](Impl& robot) {
                     std::error_code ec;
                     robot.writeRailParameter(parseJson(R"({"max_speed": 1})"), ec);
                     return ec.value();
                   },
                   {257, 257, 257, 0, 257}});

  for (const KeyCase& c : cases) {
    for (int shape = 0; shape < kShapes; ++shape) {
      command().script(c.form, c.key, answer(static_cast<Shape>(shape)));
      EXPECT_EQ(c.call(robot()), c.codes[shape]) << c.key << " shape " << shape;
      command().clearScripts();
    }
  }
}

}  // namespace
