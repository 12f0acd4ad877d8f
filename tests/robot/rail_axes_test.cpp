// External axes and mechanical units: the name gate before any request, and the JSON kind
// each value type needs.
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gmock/gmock.h>

#include <functional>
#include <string>
#include <vector>

#include "robot/robot_fixture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;

using Read = std::function<std::string(OstraMaxRobot&, std::error_code&)>;

// A read into a value that holds a marker before, so an untouched value shows.
template <typename T>
Read axis(const char* name, const char* info, T before = T()) {
  return [=](OstraMaxRobot& r, std::error_code& ec) {
    T value = before;
    r.getExtAxisInfo(name, info, value, ec);
    return fmt::format("{}", value);
  };
}
template <typename T>
Read unit(const char* name, const char* info, T before = T()) {
  return [=](OstraMaxRobot& r, std::error_code& ec) {
    T value = before;
    r.getMechUnit(name, info, value, ec);
    return fmt::format("{}", value);
  };
}

TEST_F(RobotOpsTest, NamesOutsideTheVocabularyAreRefusedWithNothingSent) {
  const Read reads[] = {
      axis<double>("axis7", "max_speed", 9), axis<double>("Axis1", "max_speed", 9), axis<double>("", "max_speed", 9),
      axis<double>("axis1", "speed", 9),     axis<int>("axis1", "unit_name", 9),    unit<int>("u1", "max_speed", 9),
      unit<bool>("u7", "enable", true),      unit<int>("axis1", "order", 9),
  };
  for (std::size_t i = 0; i < std::size(reads); ++i) {
    SCOPED_TRACE(i);
    std::error_code ec;
    EXPECT_THAT(reads[i](robot(), ec), ::testing::AnyOf("9", "true"));
    EXPECT_EQ(ec.value(), 259);
  }
  EXPECT_EQ(command().log().size(), 0u);
  std::error_code ec;
  EXPECT_EQ(axis<double>("axis1", "max_speed")(robot(), ec), "1000");
  EXPECT_FALSE(ec);
  EXPECT_EQ(last("ext_axis.get_axis_info").form, Form::command);
  EXPECT_THAT(last("ext_axis.get_axis_info").payload, JsonIs("null"));
  EXPECT_EQ(unit<int>("u1", "order")(robot(), ec), "1");
  EXPECT_THAT(last("ext_axis.get_mechanical_unit_info").payload, JsonIs("null"));
}

TEST_F(RobotOpsTest, EachTypeTakesItsOwnKindOfValue) {
  sim().robotConfig().setExtAxisData(parseJson(R"({
      "axis2": {"max_acc": 2.0, "max_jerk": 2.5, "max_speed": 3e9, "zero_value": -7, "is_servo_gun": true,
                "driver_name": "d2", "joint_orient": 1, "coordinate_calibrated": "yes",
                "ext_data_number": ["a", 1, 2.5, true, null], "ext_axis_number": [{"x": 1}], "reduction_ratio": []},
      "axis3": 5})"));
  const std::vector<std::string> two = {"p", "q"};
  const struct {
    Read read;
    const char* result;
    int code;
  } cases[] = {
      {axis<int>("axis2", "max_acc", 9), "2", 0},
      {axis<int>("axis2", "max_jerk", 9), "9", 259},
      {axis<int>("axis2", "max_speed", 9), "9", 259},
      {axis<int>("axis2", "zero_value", 9), "-7", 0},
      {axis<double>("axis2", "max_jerk", 9), "2.5", 0},
      {axis<double>("axis2", "max_acc", 9), "2", 0},
      {axis<double>("axis2", "is_servo_gun", 9), "9", 259},
      {axis<bool>("axis2", "is_servo_gun"), "true", 0},
      {axis<bool>("axis2", "joint_orient"), "false", 259},
      {axis<bool>("axis2", "coordinate_calibrated"), "false", 259},
      {axis<std::string>("axis2", "driver_name", "z"), "d2", 0},
      {axis<std::string>("axis2", "joint_orient", "z"), "z", 259},
      {axis<std::vector<std::string>>("axis2", "ext_data_number", two), R"(["p", "q", "a", "1", "2.5", "true", ""])",
       0},
      {axis<std::vector<std::string>>("axis2", "reduction_ratio", two), R"(["p", "q"])", 0},
      {axis<std::vector<std::string>>("axis2", "ext_axis_number", two), R"(["p", "q"])", 259},
      {axis<std::vector<std::string>>("axis2", "driver_name", two), R"(["p", "q"])", 259},
      {axis<double>("axis2", "soft_limit_lower", 9), "9", 259},
      {axis<double>("axis3", "max_acc", 9), "9", 259},
      {axis<double>("axis4", "max_acc", 9), "9", 259},
      {unit<int>("u1", "order", 9), "1", 0},
      {unit<bool>("u1", "enable"), "true", 0},
      {unit<std::vector<std::string>>("u1", "axes_info", two), R"(["p", "q", "axis1"])", 0},
      {unit<int>("u1", "fixed_name", 9), "9", 259},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    std::error_code ec;
    EXPECT_EQ(cases[i].read(robot(), ec), cases[i].result);
    EXPECT_EQ(ec.value(), cases[i].code);
  }
}

TEST_F(RobotOpsTest, AxisRepliesOfAnyKindGiveArgumentInvalid) {
  for (const char* reply : {"-3", "0", R"("x")", "[]", "null", "{}", R"({"data": 3})", R"({"data": {"axis1": 5}})",
                            R"({"data": {"axis1": {"max_acc": {}}}})", R"({"data": [{"axis1": {"max_acc": 1}}]})"}) {
    SCOPED_TRACE(reply);
    command().script(Form::command, "ext_axis.get_axis_info", Behaviour::reply(parseJson(reply)).times(1));
    command().script(Form::command, "ext_axis.get_mechanical_unit_info", Behaviour::reply(parseJson(reply)).times(1));
    std::error_code ec;
    EXPECT_EQ(axis<double>("axis1", "max_acc", 9)(robot(), ec), "9");
    EXPECT_EQ(ec.value(), 259);
    EXPECT_EQ(unit<std::vector<std::string>>("u1", "axes_info")(robot(), ec), "[]");
    EXPECT_EQ(ec.value(), 259);
  }
}

}  // namespace
}  // namespace velmora
