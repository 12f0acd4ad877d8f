// Register reads and writes: the keys and payloads the controller sees, how each reply kind
// becomes the output and the code for every element type, and a round trip through the
// simulated controller's registers.
#include <gmock/gmock.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "robot/robot_fixture.h"
#include "support/link_options.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

template <typename T>
std::string show(const T& value) {
  return ::testing::PrintToString(value);
}

// Reads register "R" at index 3 as T after the controller answered `reply` ("register.values"
// value); the output starts as `start`. Returns the code and what the output then holds.
template <typename T>
std::pair<int, std::string> readAs(OstraMaxRobot& robot, velmora_sim::CommandService& command, const Json::Value& reply,
                                   T start) {
  command.script(Form::get, "register.values", Behaviour::reply(reply).times(1));
  std::error_code ec;
  T value = start;
  robot.readRegister("R", 3, value, ec);
  return {ec.value(), show(value)};
}

TEST_F(RobotOpsTest, RegisterRequestsNameTheElementOrTheWholeRegister) {
  const RequestCase cases[] = {
      {"int",
       [](auto& r, auto& ec) {
         int v;
         r.readRegister("R", 3, v, ec);
       },
       Form::get, "register.values", R"({"R.#3": null})"},
      {"float",
       [](auto& r, auto& ec) {
         float v;
         r.readRegister("R1", 2, v, ec);
       },
       Form::get, "register.values", R"({"R1.#2": null})"},
      {"bool",
       [](auto& r, auto& ec) {
         bool v;
         r.readRegister("flags", 4294967295u, v, ec);
       },
       Form::get, "register.values", R"({"flags.#4294967295": null})"},
      {"int vector",
       [](auto& r, auto& ec) {
         std::vector<int> v;
         r.readRegister("R", 7, v, ec);
       },
       Form::get, "register.values", R"({"R": null})"},
      {"bool vector",
       [](auto& r, auto& ec) {
         std::vector<bool> v;
         r.readRegister("B", 1, v, ec);
       },
       Form::get, "register.values", R"({"B": null})"},
      {"write int", [](auto& r, auto& ec) { r.writeRegister("R", 5, 3, ec); }, Form::command, "register.write",
       R"({"name": "R", "bias": 5, "value": 3})"},
      {"write float", [](auto& r, auto& ec) { r.writeRegister("F", 0, 2.5f, ec); }, Form::command, "register.write",
       R"({"name": "F", "bias": 0, "value": 2.5})"},
      {"write bool", [](auto& r, auto& ec) { r.writeRegister("B", 1, true, ec); }, Form::command, "register.write",
       R"({"name": "B", "bias": 1, "value": true})"},
      {"write int vector",
       [](auto& r, auto& ec) {
         r.writeRegister("R", 5, std::vector<int>{1, 2}, ec);
       },
       Form::command, "register.write", R"({"name": "R", "value": [1, 2], "type": "array"})"},
      {"write float vector",
       [](auto& r, auto& ec) {
         r.writeRegister("F", 0, std::vector<float>{0.5f, -1.25f}, ec);
       },
       Form::command, "register.write", R"({"name": "F", "value": [0.5, -1.25], "type": "array"})"},
      {"write bool vector",
       [](auto& r, auto& ec) {
         r.writeRegister("B", 9, std::vector<bool>{true, false}, ec);
       },
       Form::command, "register.write", R"({"name": "B", "value": [true, false], "type": "array"})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    std::error_code ec;
    c.call(robot(), ec);
    ASSERT_EQ(command().log().size(), 1u);
    const auto request = last(c.key);
    EXPECT_EQ(request.form, c.form);
    EXPECT_THAT(request.payload, JsonIs(c.payload));
    EXPECT_EQ(request.payload.isMember("bias"), std::string(c.payload).find("bias") != std::string::npos);
  }
}

TEST_F(RobotOpsTest, ScalarRegisterReadsAcceptOnlyTheirKind) {
  const struct {
    const char* reply;  // the value under "register.values"
    int intCode;
    const char* intValue;  // the output after the read; it starts as 99
    int floatCode;
    const char* floatValue;  // starts as 99
    int boolCode;
    const char* boolValue;  // starts as false
  } cases[] = {
      {R"({"R.#3": 2})", 0, "2", 0, "2", 0, "true"},
      {R"({"R.#3": 2.0})", 0, "2", 0, "2", 0, "true"},
      {R"({"R.#3": 2.5})", 259, "99", 0, "2.5", 0, "true"},
      {R"({"R.#3": 0})", 0, "0", 0, "0", 0, "false"},
      {R"({"R.#3": true})", 259, "99", 259, "99", 0, "true"},
      {R"({"R.#3": "2"})", 259, "99", 259, "99", 259, "false"},
      {R"({"R.#3": [2]})", 259, "99", 259, "99", 259, "false"},
      {R"({"R.#3": 3000000000})", 259, "99", 0, "3e+09", 0, "true"},
      {R"({"R.#3": 1e300})", 259, "99", 259, "99", 0, "true"},
      // The register query's own rules.
      {"-1", -17001, "99", -17001, "99", -17001, "false"},
      {"-5", -5, "99", -5, "99", -5, "false"},
      {"0", 259, "99", 259, "99", 259, "false"},  // no values
      {R"({"R.#3": null})", -260, "99", -260, "99", -260, "false"},
      {R"({"other": 1})", -260, "99", -260, "99", -260, "false"},
      {R"("x")", -260, "99", -260, "99", -260, "false"},
      {"[1]", -260, "99", -260, "99", -260, "false"},
      {"2.5", -260, "99", -260, "99", -260, "false"},
      {"null", -260, "99", -260, "99", -260, "false"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    const Json::Value reply = parseJson(c.reply);
    auto [intCode, intValue] = readAs<int>(robot(), command(), reply, 99);
    EXPECT_EQ(intCode, c.intCode);
    EXPECT_EQ(intValue, c.intValue);
    auto [floatCode, floatValue] = readAs<float>(robot(), command(), reply, 99.0f);
    EXPECT_EQ(floatCode, c.floatCode);
    EXPECT_EQ(floatValue, c.floatValue);
    auto [boolCode, boolValue] = readAs<bool>(robot(), command(), reply, false);
    EXPECT_EQ(boolCode, c.boolCode);
    EXPECT_EQ(boolValue, c.boolValue);
  }
}

TEST_F(RobotOpsTest, VectorRegisterReadsCheckEveryElement) {
  const struct {
    const char* reply;  // the register's values under "R"
    int intCode;
    const char* ints;  // the output starts as {7}
    int floatCode;
    const char* floats;
    int boolCode;
    const char* bools;
  } cases[] = {
      {"[1, 0, 1]", 0, "{ 1, 0, 1 }", 0, "{ 1, 0, 1 }", 0, "{ true, false, true }"},
      {"[true, false]", 259, "{}", 259, "{}", 0, "{ true, false }"},
      {"[1, 2.5]", 259, "{}", 0, "{ 1, 2.5 }", 0, "{ true, true }"},
      {"[2.0, -3]", 0, "{ 2, -3 }", 0, "{ 2, -3 }", 0, "{ true, true }"},
      {R"([1, "x"])", 259, "{}", 259, "{}", 259, "{}"},
      {R"(["a"])", 259, "{}", 259, "{}", 259, "{}"},
      {"[1, null]", 259, "{}", 259, "{}", 259, "{}"},
      {"[[1]]", 259, "{}", 259, "{}", 259, "{}"},
      {"[]", 259, "{}", 259, "{}", 259, "{}"},
      {"1", 259, "{}", 259, "{}", 259, "{}"},
      {"{}", 259, "{}", 259, "{}", 259, "{}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    Json::Value reply(Json::objectValue);
    reply["R"] = parseJson(c.reply);
    auto [intCode, ints] = readAs<std::vector<int>>(robot(), command(), reply, {7});
    EXPECT_EQ(intCode, c.intCode);
    EXPECT_EQ(ints, c.ints);
    auto [floatCode, floats] = readAs<std::vector<float>>(robot(), command(), reply, {7.0f});
    EXPECT_EQ(floatCode, c.floatCode);
    EXPECT_EQ(floats, c.floats);
    auto [boolCode, bools] = readAs<std::vector<bool>>(robot(), command(), reply, {true});
    EXPECT_EQ(boolCode, c.boolCode);
    EXPECT_EQ(bools, c.bools);
  }
  // A query that failed leaves the output as it was.
  auto [code, ints] = readAs<std::vector<int>>(robot(), command(), Json::Value(-1), {7});
  EXPECT_EQ(code, -17001);
  EXPECT_EQ(ints, "{ 7 }");
}

TEST_F(RobotOpsTest, RegisterWritesTakeIntegerRepliesAsTheCode) {
  const struct {
    const char* reply;
    int scalarCode;
    int arrayCode;
  } cases[] = {
      {"0", 0, 0},    {"-1", -1, -17002}, {"-1.0", -1, -17002}, {"-14010", -14010, -14010},
      {"5", 5, 5},    {"2.5", 0, 0},      {R"("x")", 0, 0},     {"{}", 0, 0},
      {"null", 0, 0}, {"[]", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    command().script(Form::command, "register.write", Behaviour::reply(parseJson(c.reply)).times(6));
    std::error_code ec;
    robot().writeRegister("R", 1, 3, ec);
    EXPECT_EQ(ec.value(), c.scalarCode);
    robot().writeRegister("R", 1, 3.5f, ec);
    EXPECT_EQ(ec.value(), c.scalarCode);
    robot().writeRegister("R", 1, false, ec);
    EXPECT_EQ(ec.value(), c.scalarCode);
    robot().writeRegister("R", 1, std::vector<int>{1}, ec);
    EXPECT_EQ(ec.value(), c.arrayCode);
    robot().writeRegister("R", 1, std::vector<float>{1.0f}, ec);
    EXPECT_EQ(ec.value(), c.arrayCode);
    robot().writeRegister("R", 1, std::vector<bool>{true}, ec);
    EXPECT_EQ(ec.value(), c.arrayCode);
  }
}

TEST_F(RobotOpsTest, RegisterTransportFailuresAndUnsendableFloats) {
  useRequestWait(150ms);
  command().script("register.values", Behaviour::silent().times(1));
  command().script("register.write", Behaviour::wrongKind().times(1));
  std::error_code ec;
  std::vector<int> ints{7};
  robot().readRegister("R", 0, ints, ec);
  EXPECT_EQ(ec.value(), 263);
  EXPECT_EQ(ints, std::vector<int>{7});
  robot().writeRegister("R", 0, 1, ec);
  EXPECT_EQ(ec.value(), 257);

  command().log().clear();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  robot().writeRegister("F", 0, nan, ec);
  EXPECT_EQ(ec.value(), 259);
  robot().writeRegister("F", 0, std::vector<float>{1.0f, std::numeric_limits<float>::infinity()}, ec);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(command().log().count("register.write"), 0u) << "refused before any request";
}

TEST_F(RobotOpsTest, RegistersRoundTripThroughTheController) {
  LogCapture global;
  sim().robotConfig().setRegister("int_reg", parseJson("[0, 0, 0, 0]"));
  sim().robotConfig().setRegister("float_reg", parseJson("[0.0, 0.0]"));
  sim().robotConfig().setRegister("bool_reg", parseJson("[false, false, false, false]"));
  std::error_code ec;
  robot().writeRegister("int_reg", 2, -42, ec);
  ASSERT_FALSE(ec);
  int one = 0;
  robot().readRegister("int_reg", 2, one, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(one, -42);

  robot().writeRegister("float_reg", 0, std::vector<float>{0.1f, 2.5f, -7.0f}, ec);
  ASSERT_FALSE(ec);
  std::vector<float> floats;
  robot().readRegister("float_reg", 99, floats, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(floats, (std::vector<float>{0.1f, 2.5f, -7.0f})) << "a float widened on the way out reads back the same";
  float element = 0;
  robot().readRegister("float_reg", 1, element, ec);
  EXPECT_EQ(element, 2.5f);

  robot().writeRegister("bool_reg", 3, true, ec);
  ASSERT_FALSE(ec);
  std::vector<bool> flags;
  robot().readRegister("bool_reg", 0, flags, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(flags, (std::vector<bool>{false, false, false, true}));

  // The controller refuses what it cannot store.
  robot().writeRegister("int_reg", 4, 1, ec);
  EXPECT_EQ(ec.value(), -1) << "one element's refusal stays -1";
  robot().writeRegister("no_such", 0, std::vector<int>{1, 2}, ec);
  EXPECT_EQ(ec.value(), -17002);
  robot().readRegister("no_such", 0, one, ec);
  EXPECT_EQ(ec.value(), -17001);
  EXPECT_EQ(one, -42);

  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | writeRegister int_reg, 2, -42 (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | writeRegister float_reg, 0, [0.1, 2.5, -7] (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | writeRegister bool_reg, 3, true (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | writeRegister no_such, 0, [1, 2] (-17002)"));
}

}  // namespace
}  // namespace velmora
