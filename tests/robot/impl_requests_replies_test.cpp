// Every key of the shared requests answered with a value of each kind the reader does not
// expect: nothing throws, and each shape gives the code named for it.

#include <array>
#include <functional>

#include "robot_requests_fixture.h"

using velmora::internal::XService;
using velmora_sim::Behaviour;
using velmora_sim::Form;
namespace req = velmora::internal;

namespace {

enum Shape { kText, kArray, kObject, kNull, kWrongForm, kShapes };

Behaviour answer(Shape shape) {
  switch (shape) {
    case kText: return Behaviour::reply("x").times(1);
    case kArray: return Behaviour::reply(parseJson(R"([1, "a", null])")).times(1);
    case kObject: return Behaviour::reply(parseJson(R"({"q": {"w": []}})")).times(1);
    case kNull: return Behaviour::reply(Json::Value()).times(1);
    default: return Behaviour::wrongKind().times(1);
  }
}

int writeEntry(XService& link, const std::string& name, const std::string& kind) {
  std::error_code ec;
  req::setWorkToolInfo(link, velmora::WorkToolInfo(name, true, {}, {}), kind, ec);
  return ec.value();
}

TEST_F(RobotRequestsTest, HostileReplyKinds) {
  int fresh = 0;  // project entries are added under new names, so the controller takes each
  struct KeyCase {
    Form form;
    std::string key;
    std::function<int(XService&)> call;
    std::array<int, kShapes> codes;  // text, array, object, null, form member not an object
  };
  std::vector<KeyCase> cases;
  for (const std::string kind : {"tool", "wobj"}) {
    cases.push_back({Form::get, "project." + kind + ".info",
                     [kind](XService& link) {
                       std::error_code ec;
                       const auto list = req::workToolsInfo(link, kind, ec);
                       EXPECT_TRUE(list.empty());
                       return ec.value();
                     },
                     {0, 0, 0, 0, 257}});
    cases.push_back({Form::get, "project." + kind + "s",
                     [kind, &fresh](XService& link) {
                       return writeEntry(link, kind + std::to_string(++fresh), kind);
                     },
                     {0, 0, 0, 0, 257}});
    cases.push_back({Form::command, "project." + kind,
                     [kind, &fresh](XService& link) {
                       return writeEntry(link, kind + std::to_string(++fresh), kind);
                     },
                     {0, 0, 0, 0, 257}});
    cases.push_back({Form::command, "global." + kind + "s.set.one",
                     [kind](XService& link) { return writeEntry(link, "g_" + kind + "_4", kind); },
                     {0, 0, 0, 0, 257}});
  }
  cases.push_back({Form::get, "register.values",
                   [](XService& link) {
                     std::error_code ec;
                     Json::Value values;
                     req::queryRegisterValues(link, values, "reg_int", ec);
                     EXPECT_TRUE(values.isNull());
                     return ec.value();
                   },
                   {-260, -260, -260, -260, 257}});
  cases.push_back({Form::command, "utils.reboot",
                   [](XService& link) {
                     std::error_code ec;
                     req::rebootOrShutdown(link, 1, ec);
                     return ec.value();
                   },
                   {-260, -260, -260, 0, 257}});
  cases.push_back({Form::command, "sys.mode.switch",
                   [](XService& link) {
                     std::error_code ec;
                     const int result = req::setOperateMode(link, velmora::OperateMode::automatic, ec);
                     EXPECT_EQ(result, ec.value());
                     return result;
                   },
                   {-260, -260, -260, 0, 257}});
  cases.push_back({Form::get, "flangebox_support_rs485_param",
                   [](XService& link) {
                     bool known = true;
                     const int type = req::queryFlangeBoxType(link, known);
                     EXPECT_FALSE(known);
                     return type;
                   },
                   {0, 0, 0, 0, 0}});
  for (const char* key : {"ext_axis.get_axis_info", "ext_axis.get_mechanical_unit_info"}) {
    cases.push_back({Form::command, key,
                     [key](XService& link) {
                       std::error_code ec;
                       Json::Value reply;
                       if (std::string(key) == "ext_axis.get_axis_info") {
                         req::queryExtAxisInfo(link, reply, ec);
                       } else {
                         req::queryMechUnit(link, reply, ec);
                       }
                       return ec.value();
                     },
                     {0, 0, 0, 0, 257}});
  }
  cases.push_back({Form::get, "rail_param",
                   [](XService& link) {
                     std::error_code ec;
                     Json::Value value;
                     req::queryRailParameter(link, value, ec);
                     return ec.value();
                   },
                   {0, 0, 0, 0, 257}});
  cases.push_back({Form::set, "rail_param",
                   [](XService& link) {
                     std::error_code ec;
                     req::writeRailParameter(link, parseJson(R"({"max_speed": 1})"), ec);
                     return ec.value();
                   },
                   {257, 257, 257, 0, 257}});

  for (const KeyCase& c : cases) {
    for (int shape = 0; shape < kShapes; ++shape) {
      command().script(c.form, c.key, answer(static_cast<Shape>(shape)));
      EXPECT_EQ(c.call(link()), c.codes[shape]) << c.key << " shape " << shape;
      command().clearScripts();
    }
  }
}

}  // namespace
