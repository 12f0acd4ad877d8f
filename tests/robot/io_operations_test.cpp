// The digital and analog I/O operations: the request each sends as the simulator received it,
// how each reply kind becomes the result and the code, and a round trip through the simulated
// controller's signals.
#include <gmock/gmock.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "robot/robot_fixture.h"
#include "support/link_options.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

TEST_F(RobotOpsTest, EachIoOperationSendsItsKeyAndPayload) {
  const RequestCase cases[] = {
      {"getDI", [](auto& r, auto& ec) { r.getDI(1, 12, ec); }, Form::get, "device.io", R"({"DI.DI1_12": null})"},
      {"getDO", [](auto& r, auto& ec) { r.getDO(0, 3, ec); }, Form::get, "device.io", R"({"DO.DO0_3": null})"},
      {"getAI", [](auto& r, auto& ec) { r.getAI(0, 3, ec); }, Form::get, "device.io", R"({"AI.AI0_3": null})"},
      {"getDI widest", [](auto& r, auto& ec) { r.getDI(4294967295u, 10, ec); }, Form::get, "device.io",
       R"({"DI.DI4294967295_10": null})"},
      {"setDO", [](auto& r, auto& ec) { r.setDO(1, 12, true, ec); }, Form::command, "device.io.out.do",
       R"({"name": "DO1_12", "value": true})"},
      {"setDO off", [](auto& r, auto& ec) { r.setDO(0, 0, false, ec); }, Form::command, "device.io.out.do",
       R"({"name": "DO0_0", "value": false})"},
      {"setAO", [](auto& r, auto& ec) { r.setAO(0, 1, 2.5, ec); }, Form::command, "device.io.out.ao",
       R"({"name": "AO0_1", "value": 2.5})"},
      {"setDI", [](auto& r, auto& ec) { r.setDI(2, 7, true, ec); }, Form::command, "device.io.simu.di",
       R"({"name": "DI2_7", "value": true})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    std::error_code ec;
    c.call(robot(), ec);
    ASSERT_EQ(command().log().size(), 1u) << "one request";
    const auto request = last(c.key);
    EXPECT_EQ(request.form, c.form);
    EXPECT_THAT(request.payload, JsonIs(c.payload));
  }
}

TEST_F(RobotOpsTest, IoReadsTakeEachReplyKindAsTheirRuleSays) {
  enum Op { di, dout, ai };
  const struct {
    Op op;
    const char* reply;  // the value under "device.io"
    int code;
    double result;  // the flag as 0/1 for the digital reads
  } cases[] = {
      {di, R"({"DI.DI0_1": true})", 0, 1},
      {di, R"({"DI.DI0_1": false})", 0, 0},
      {di, R"({"DI.DI0_1": 1})", 0, 1},
      {di, R"({"DI.DI0_1": 0.0})", 0, 0},
      {di, R"({"DI.DI0_1": null})", 0, 0},
      {di, R"({})", 0, 0},  // a signal left out reads as off
      {di, R"({"DI.DI0_2": true})", 0, 0},
      {di, "-3", -3, 0},
      {di, "0", 0, 0},
      {di, "-20000.0", -20000, 0},
      {di, R"({"DI.DI0_1": "on"})", 257, 0},
      {di, R"({"DI.DI0_1": [true]})", 257, 0},
      {di, R"({"DI.DI0_1": {}})", 257, 0},
      {di, R"("x")", 257, 0},
      {di, "[]", 257, 0},
      {di, "true", 257, 0},
      {di, "null", 257, 0},
      {di, "2.5", 257, 0},
      {dout, R"({"DO.DO0_1": true})", 0, 1},
      {dout, R"({"DO.DO0_1": "true"})", 257, 0},
      {dout, "-14501", -14501, 0},
      {ai, R"({"AI.AI0_1": 2})", 0, 2.0},
      {ai, R"({"AI.AI0_1": -0.25})", 0, -0.25},
      {ai, "-2", -2, 0},
      {ai, R"({"AI.AI0_1": "2"})", 257, 0},
      {ai, R"({"AI.AI0_1": true})", 257, 0},
      {ai, R"({"AI.AI0_1": null})", 257, 0},
      {ai, R"({})", 257, 0},
      {ai, "[1]", 257, 0},
      {ai, "null", 257, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op == di ? "getDI " : c.op == dout ? "getDO " : "getAI ") + c.reply);
    command().script(Form::get, "device.io", Behaviour::reply(parseJson(c.reply)).times(1));
    std::error_code ec;
    double result = -1;
    if (c.op == di) result = robot().getDI(0, 1, ec) ? 1 : 0;
    if (c.op == dout) result = robot().getDO(0, 1, ec) ? 1 : 0;
    if (c.op == ai) result = robot().getAI(0, 1, ec);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(result, c.result);
  }
}

TEST_F(RobotOpsTest, IoSetsTakeEveryNegativeReplyAsTheCode) {
  const struct {
    const char* key;
    std::function<void(OstraMaxRobot&, std::error_code&)> call;
    int minusOne;
  } ops[] = {
      {"device.io.out.do", [](auto& r, auto& ec) { r.setDO(0, 1, true, ec); }, -14501},
      {"device.io.out.ao", [](auto& r, auto& ec) { r.setAO(0, 1, 2.5, ec); }, -14501},
      {"device.io.simu.di", [](auto& r, auto& ec) { r.setDI(0, 1, true, ec); }, -10030},
  };
  const struct {
    const char* reply;
    int code;  // 1: the operation's own code for -1
  } replies[] = {
      {"-1", 1},   {"-1.0", 1},   {"-14010", -14010}, {"-2", -2}, {"0", 0},    {"3", 0},
      {"-1.5", 0}, {R"("x")", 0}, {"{}", 0},          {"[]", 0},  {"null", 0}, {"true", 0},
  };
  for (const auto& op : ops) {
    for (const auto& r : replies) {
      SCOPED_TRACE(std::string(op.key) + " answered " + r.reply);
      command().script(Form::command, op.key, Behaviour::reply(parseJson(r.reply)).times(1));
      std::error_code ec;
      op.call(robot(), ec);
      EXPECT_EQ(ec.value(), r.code == 1 ? op.minusOne : r.code);
    }
  }
}

TEST_F(RobotOpsTest, IoTransportFailuresKeepTheirCode) {
  useRequestWait(150ms);
  command().script("device.io", Behaviour::silent().times(2));
  command().script("device.io.out.do", Behaviour::wrongKind().times(1));
  std::error_code ec;
  EXPECT_FALSE(robot().getDI(0, 1, ec));
  EXPECT_EQ(ec.value(), 263);
  EXPECT_EQ(robot().getAI(0, 1, ec), 0.0);
  EXPECT_EQ(ec.value(), 263);
  robot().setDO(0, 1, true, ec);
  EXPECT_EQ(ec.value(), 257);
}

TEST_F(RobotOpsTest, AnAnalogValueWithoutJsonFormIsRefusedUnsent) {
  LogCapture global;
  for (const double value :
       {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
    std::error_code ec;
    robot().setAO(0, 1, value, ec);
    EXPECT_EQ(ec.value(), 259);
  }
  EXPECT_EQ(command().log().count("device.io.out.ao"), 0u);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setAO end, set AO0_1 to nan (259)"));
}

TEST_F(RobotOpsTest, SignalsRoundTripThroughTheController) {
  LogCapture global;
  auto& io = sim().ioBoard();
  std::error_code ec;
  robot().setDO(0, 3, true, ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(io.digital("DO0_3"));
  EXPECT_TRUE(robot().getDO(0, 3, ec));
  EXPECT_FALSE(robot().getDO(0, 4, ec));
  robot().setAO(0, 1, -3.75, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(io.analog("AO0_1"), -3.75);
  io.setAnalog("AI0_0", 4.5);
  EXPECT_EQ(robot().getAI(0, 0, ec), 4.5);
  EXPECT_FALSE(ec);

  // Inputs are set only while the controller simulates them.
  robot().setDI(0, 2, true, ec);
  EXPECT_EQ(ec.value(), -10030);
  EXPECT_FALSE(io.digital("DI0_2"));
  robot().setSimulationMode(true, ec);
  ASSERT_FALSE(ec);
  robot().setDI(0, 2, true, ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(robot().getDI(0, 2, ec));

  // Signals the controller does not have.
  robot().setDO(9, 9, true, ec);
  EXPECT_EQ(ec.value(), -14501);
  EXPECT_FALSE(robot().getDI(9, 9, ec));
  EXPECT_FALSE(ec) << "a missing input reads as off";
  EXPECT_EQ(robot().getAI(9, 9, ec), 0.0);
  EXPECT_EQ(ec.value(), 257) << "a missing analog input is no reading";

  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setDO end, set DO0_3 to true (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setAO end, set AO0_1 to -3.75 (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setDI end, set DI0_2 to true (-10030)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setDO end, set DO9_9 to true (-14501)"));
}

}  // namespace
}  // namespace velmora
