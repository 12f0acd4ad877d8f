#include <velmora/error.h>

#include "impl_requests_fixture.h"
#include "robot/ext_axis_operations.h"
#include "robot/rail_operations.h"

using velmora::internal::checkExtAxisParam;
using velmora::internal::checkMechUnitParam;
using velmora::internal::railParamKey;
using velmora_sim::Behaviour;
using velmora_sim::Form;

namespace {

TEST(ExtAxis, NameGate) {
  struct Case {
    const char* name;
    const char* param;
    int axisCode;
    int unitCode;
  };
  const Case cases[] = {
      {"axis1", "max_speed", 0, 259},
      {"axis6", "driver_name", 0, 259},
      {"axis6", "ext_data_number", 0, 259},
      {"axis3", "coordinate_calibrated", 0, 259},
      {"axis7", "max_speed", 259, 259},
      {"Axis1", "max_speed", 259, 259},
      {"", "max_speed", 259, 259},
      {"axis1", "speed", 259, 259},
      {"axis1", "Max_speed", 259, 259},
      {"axis1 ", "max_speed", 259, 259},
      {"axis1", "", 259, 259},
      {"u1", "unit_name", 259, 0},
      {"u6", "activation", 259, 0},
      {"u4", "mech_link_type", 259, 0},
      {"u1", "max_speed", 259, 259},
      {"u7", "order", 259, 259},
      {"U1", "order", 259, 259},
      {"axis1", "unit_name", 259, 259},
  };
  for (const Case& c : cases) {
    std::error_code ec = velmora::internal::makeErrorCode(1);
    checkExtAxisParam(c.name, c.param, ec);
    EXPECT_EQ(ec.value(), c.axisCode) << c.name << " " << c.param;
    ec = velmora::internal::makeErrorCode(1);
    checkMechUnitParam(c.name, c.param, ec);
    EXPECT_EQ(ec.value(), c.unitCode) << c.name << " " << c.param;
  }
}

TEST(ExtAxis, RailParameterTable) {
  struct Case {
    const char* name;
    const char* key;
    double factor;
  };
  const Case rows[] = {
      {"encoderResolution", "recolution_ratio", 1.0},
      {"reductionRatio", "reduction_ratio", 1.0},
      {"maxSpeed", "max_speed", 1000.0},
      {"maxAcc", "max_acc", 1000.0},
      {"maxJerk", "max_jerk", 1000.0},
      {"motorSpeed", "motor_speed", 1.0},
      {"enable", "enable", 1.0},
      {"name", "name", 1.0},
      {"softLimit0", "soft_limit_lower", 1000.0},
      {"softLimit1", "soft_limit_upper", 1000.0},
      {"range0", "lower", 1000.0},
      {"range1", "upper", 1000.0},
      {"baseFrame", "base_frame", 1.0},
      {"softLimit", "", 0.0},
      {"range", "", 0.0},
      {"", "", 0.0},
      {"maxspeed", "", 0.0},
      {"max_speed", "", 0.0},
  };
  for (const Case& c : rows) {
    std::error_code ec = velmora::internal::makeErrorCode(1);
    const auto [key, factor] = railParamKey(c.name, ec);
    EXPECT_EQ(key, c.key) << c.name;
    EXPECT_EQ(factor, c.factor) << c.name;
    EXPECT_EQ(ec.value(), *c.key ? 0 : 259) << c.name;
  }
}

TEST_F(RobotRequestsTest, AxisAndUnitQueries) {
  std::error_code ec;
  Json::Value reply;
  robot().queryExtAxisInfo(reply, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(reply["data"]["axis1"]["max_speed"], JsonIs("1000"));
  EXPECT_THAT(sent("ext_axis.get_axis_info"), JsonIs("null"));

  config().setMechUnitData(parseJson(R"({"u2": {"unit_name": "second"}})"));
  robot().queryMechUnit(reply, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(reply, JsonIs(R"({"data": {"u2": {"unit_name": "second"}}})"));
  EXPECT_THAT(sent("ext_axis.get_mechanical_unit_info"), JsonIs("null"));
}

TEST_F(RobotRequestsTest, RailReadAndWrite) {
  std::error_code ec;
  std::error_code keyEc;
  const auto [key, factor] = railParamKey("maxSpeed", keyEc);
  Json::Value write(Json::objectValue);
  write[key] = 0.5 * factor;
  robot().writeRailParameter(write, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(sent("rail_param"), JsonIs(R"({"max_speed": 500})"));
  EXPECT_EQ(command().log().withKey("rail_param")[0].form, Form::set);

  Json::Value value;
  robot().queryRailParameter(value, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(value["max_speed"], JsonIs("500"));
  EXPECT_THAT(value["recolution_ratio"], JsonIs("131072"));
  EXPECT_THAT(sent("rail_param", 2), JsonIs("null"));

  // A key the controller does not know is refused with its own code.
  robot().writeRailParameter(parseJson(R"({"no_such": 1})"), ec);
  EXPECT_EQ(ec.value(), -1);

  // A number in place of the parameter object is the controller's code.
  struct Case {
    const char* reply;
    int code;
  };
  const Case cases[] = {{"-3", -3}, {"-3.0", -3}, {"0", 0}, {"2.5", 0}, {"4294967296", 0}};
  for (const Case& c : cases) {
    command().script(Form::get, "rail_param", Behaviour::reply(parseJson(c.reply)).times(1));
    Json::Value read;
    robot().queryRailParameter(read, ec);
    EXPECT_EQ(ec.value(), c.code) << c.reply;
    EXPECT_THAT(read, JsonIs(c.reply));
  }
}

}  // namespace
