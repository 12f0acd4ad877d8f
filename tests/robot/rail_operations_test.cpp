// The rail's parameters: scaled round trips through the simulator's rail table, the names each
// type takes, and the replies each read refuses.
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gmock/gmock.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "robot/robot_fixture.h"
#include "robot/robot_log_text.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename T>
std::string show(const T& value) {
  if constexpr (std::is_same_v<T, Frame>) {
    return fmt::format("{},{}", fmt::join(value.trans, ","), fmt::join(value.rpy, ","));
  } else {
    return fmt::format("{}", value);
  }
}

// A read into a value holding `before`, so an untouched value shows.
template <typename T>
ResultCall get(const char* name, T before = T()) {
  return [=](OstraMaxRobot& r, std::error_code& ec) {
    T value = before;
    r.getRailParameter(name, value, ec);
    return show(value);
  };
}

template <typename T>
ResultCall set(const char* name, T value) {
  return [=](OstraMaxRobot& r, std::error_code& ec) {
    r.setRailParameter(name, value, ec);
    return std::string();
  };
}

TEST_F(RobotOpsTest, RailParametersComeBackInTheCallersUnits) {
  const struct {
    ResultCall write;
    const char* sent;  // the "s" "rail_param" payload
    ResultCall read;
    const char* result;
  } cases[] = {
      {set<double>("maxSpeed", 1.5), R"({"max_speed": 1500})", get<double>("maxSpeed"), "1.5"},
      {set<int>("maxSpeed", 2), R"({"max_speed": 2000})", get<int>("maxSpeed"), "2"},
      {set<double>("maxAcc", 0.5), R"({"max_acc": 500})", get<double>("maxAcc"), "0.5"},
      {set<double>("maxJerk", 7), R"({"max_jerk": 7000})", get<double>("maxJerk"), "7"},
      {set<double>("encoderResolution", 4096), R"({"recolution_ratio": 4096})", get<int>("encoderResolution"), "4096"},
      {set<double>("reductionRatio", 12.5), R"({"reduction_ratio": 12.5})", get<double>("reductionRatio"), "12.5"},
      {set<int>("motorSpeed", 2500), R"({"motor_speed": 2500})", get<double>("motorSpeed"), "2500"},
      {set<double>("softLimit0", -0.5), R"({"soft_limit_lower": -500})", get<double>("softLimit0"), "-0.5"},
      {set<double>("range1", 1.25), R"({"upper": 1250})", get<double>("range1"), "1.25"},
      {set<std::vector<double>>("softLimit", {-0.75, 0.5, 9}), R"({"soft_limit_lower": -750, "soft_limit_upper": 500})",
       get<std::vector<double>>("softLimit", {1, 2, 3}), "[-0.75, 0.5]"},
      {set<std::vector<double>>("range", {-2, 2}), R"({"lower": -2000, "upper": 2000})",
       get<std::vector<double>>("range"), "[-2, 2]"},
      {set<std::string>("name", "rail2"), R"({"name": "rail2"})", get<std::string>("name"), "rail2"},
      {set<bool>("enable", true), R"({"enable": true})", get<bool>("enable"), "true"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    std::error_code ec;
    cases[i].write(robot(), ec);
    EXPECT_FALSE(ec) << ec.value();
    EXPECT_EQ(last("rail_param").form, Form::set);
    EXPECT_THAT(last("rail_param").payload, JsonIs(cases[i].sent));
    EXPECT_EQ(cases[i].read(robot(), ec), cases[i].result);
    EXPECT_FALSE(ec) << ec.value();
    EXPECT_EQ(last("rail_param").form, Form::get);
    EXPECT_THAT(last("rail_param").payload, JsonIs("null"));
  }

  // The base frame has a command of its own, and is not scaled.
  std::error_code ec;
  robot().setRailParameter("baseFrame", Frame({{1, 2, 3}}, {{0, 0.5, 0}}), ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(last("rail.set_rail_frame").form, Form::command);
  EXPECT_THAT(last("rail.set_rail_frame").payload, JsonIs(R"({"trans": [1, 2, 3], "rot": [0, 0.5, 0]})"));
  EXPECT_EQ(get<Frame>("baseFrame")(robot(), ec), "1,2,3,0,0.5,0");
  EXPECT_FALSE(ec);

  // A stored 1999 (controller units) truncates toward zero.
  Json::Value rail = sim().robotConfig().railParameters();
  rail["max_speed"] = 1999;
  rail["max_acc"] = -1999.5;
  sim().robotConfig().setRailParameters(rail);
  EXPECT_EQ(get<int>("maxSpeed")(robot(), ec), "1");
  EXPECT_EQ(get<int>("maxAcc")(robot(), ec), "-1");
  EXPECT_FALSE(ec);
}

TEST_F(RobotOpsTest, RailNamesATypeDoesNotTakeAreRefusedWithNothingSent) {
  const ResultCall calls[] = {
      set<bool>("maxSpeed", true),
      set<double>("name", 1),
      set<int>("baseFrame", 0),
      set<double>("enable", 1),
      set<std::string>("maxSpeed", "fast"),
      set<std::string>("enable", "true"),
      set<double>("speed", 1),
      set<double>("softLimit", 1),
      set<std::vector<double>>("range", {0.1}),
      set<std::vector<double>>("softLimit0", {0.1, 0.2}),
      set<std::vector<double>>("maxSpeed", {0.1, 0.2}),
      set<Frame>("name", Frame()),
      // Values the JSON writer would send as null or 1e+9999.
      set<double>("maxSpeed", kNaN),
      set<double>("maxSpeed", 1e306),
      set<std::vector<double>>("softLimit", {0.1, kNaN}),
      set<Frame>("baseFrame", Frame({{0, 0, kNaN}}, {{0, 0, 0}})),
      get<double>("speed", 9),
      get<double>("name", 9),
      get<int>("enable", 9),
      get<std::string>("maxSpeed", "z"),
      get<bool>("name", true),
      get<Frame>("maxSpeed"),
      get<std::vector<double>>("softLimit0", {9}),
      get<std::vector<double>>("maxSpeed", {9}),
  };
  for (std::size_t i = 0; i < std::size(calls); ++i) {
    SCOPED_TRACE(i);
    std::error_code ec;
    const std::string result = calls[i](robot(), ec);
    EXPECT_EQ(ec.value(), 259);
    EXPECT_THAT(result, ::testing::AnyOf("", "9", "z", "true", "[9]", "0,0,0,0,0,0"));
  }
  EXPECT_EQ(command().log().size(), 0u);
}

TEST_F(RobotOpsTest, RailRepliesThatCannotBeReadLeaveTheValue) {
  const struct {
    const char* reply;
    ResultCall read;
    const char* result;
    int code;
  } cases[] = {
      {"-3", get<double>("maxSpeed", 9), "9", -3},
      {"0", get<double>("maxSpeed", 9), "9", 259},
      {R"("x")", get<double>("maxSpeed", 9), "9", 259},
      {"[]", get<std::string>("name", "z"), "z", 259},
      {"{}", get<bool>("enable", true), "true", 259},
      {R"({"max_speed": "1"})", get<double>("maxSpeed", 9), "9", 259},
      {R"({"max_speed": 3e12})", get<int>("maxSpeed", 9), "9", 259},
      {R"({"max_speed": -3e12})", get<int>("maxSpeed", 9), "9", 259},
      {R"({"max_speed": 3e12})", get<double>("maxSpeed", 9), "3000000000", 0},
      {R"({"name": 5})", get<std::string>("name", "z"), "z", 259},
      {R"({"enable": 1})", get<bool>("enable", true), "true", 259},
      // Both ends of a pair, or none.
      {R"({"soft_limit_lower": 1000})", get<std::vector<double>>("softLimit", {9}), "[9]", 259},
      {R"({"soft_limit_lower": 1000, "soft_limit_upper": "2"})", get<std::vector<double>>("softLimit", {9}), "[9]",
       259},
      {R"({"lower": null, "upper": 1})", get<std::vector<double>>("range", {9}), "[9]", 259},
      // No base frame is not a frame at the origin.
      {R"({"base_frame": null})", get<Frame>("baseFrame", Frame({{9, 9, 9}}, {{9, 9, 9}})), "9,9,9,9,9,9", 259},
      {R"({"base_frame": {"trans": [1, 2, 3]}})", get<Frame>("baseFrame", Frame({{9, 9, 9}}, {{9, 9, 9}})),
       "9,9,9,9,9,9", 259},
      {R"({"base_frame": 5})", get<Frame>("baseFrame", Frame({{9, 9, 9}}, {{9, 9, 9}})), "9,9,9,9,9,9", 259},
      {R"({"base_frame": {"trans": [1, 2, 3], "rot": [4, 5, 6], "name": "x"}})", get<Frame>("baseFrame"), "1,2,3,4,5,6",
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    command().script(Form::get, "rail_param", Behaviour::reply(parseJson(c.reply)).times(1));
    std::error_code ec;
    std::string result;
    EXPECT_NO_THROW(result = c.read(robot(), ec));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(ec.value(), c.code);
  }
}

TEST_F(RobotOpsTest, RailWritesTakeTheControllersAnswer) {
  LogCapture global;
  const Frame frame({{0.5, 0, 0}}, {{0, 0, 0}});
  const struct {
    const char* key;
    Form form;
    const char* reply;
    ResultCall write;
    int code;
  } cases[] = {
      {"rail_param", Form::set, "-2", set<double>("maxSpeed", 1), -2},
      {"rail_param", Form::set, R"("ok")", set<std::vector<double>>("range", {1, 2}), 257},
      {"rail.set_rail_frame", Form::command, "-2", set<Frame>("baseFrame", frame), -2},
      {"rail.set_rail_frame", Form::command, R"({"data": false})", set<Frame>("baseFrame", frame), 258},
      {"rail.set_rail_frame", Form::command, "{}", set<Frame>("baseFrame", frame), 258},
      {"rail.set_rail_frame", Form::command, R"({"data": 0})", set<Frame>("baseFrame", frame), 258},
      {"rail.set_rail_frame", Form::command, R"({"data": true})", set<Frame>("baseFrame", frame), 0},
      {"rail.set_rail_frame", Form::command, R"({"data": "x"})", set<Frame>("baseFrame", frame), 0},
      {"rail.set_rail_frame", Form::command, R"("x")", set<Frame>("baseFrame", frame), 0},
      {"rail.set_rail_frame", Form::command, "[]", set<Frame>("baseFrame", frame), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " <- " + c.reply);
    command().script(c.form, c.key, Behaviour::reply(parseJson(c.reply)).times(1));
    std::error_code ec;
    EXPECT_NO_THROW(c.write(robot(), ec));
    EXPECT_EQ(ec.value(), c.code);
  }
  std::error_code ec;
  robot().disconnectFromRobot(ec);
  const std::string text = robotLogText();
  EXPECT_THAT(text, ::testing::HasSubstr("setRail base frame trans:[0.5, 0, 0], rpy:[0, 0, 0] (258)"));
  EXPECT_THAT(text, ::testing::HasSubstr("setRail base frame trans:[0.5, 0, 0], rpy:[0, 0, 0] (-2)"));
  EXPECT_FALSE(global.contains("setRail base frame")) << "robot log only";
}

}  // namespace
}  // namespace velmora
