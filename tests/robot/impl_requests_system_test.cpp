#include <velmora/enums.h>

#include "impl_requests_fixture.h"
#include "support/link_options.h"

using velmora::OperateMode;
using velmora_sim::Behaviour;
using velmora_sim::Form;
using namespace std::chrono_literals;

namespace {

TEST_F(RobotRequestsTest, RegisterQueryGoldenAndRoundTrip) {
  config().setRegister("R", parseJson("[4, 5, 6]"));
  std::error_code ec;
  Json::Value values;
  robot().queryRegisterValues(values, "R", ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(values, JsonIs("[4, 5, 6]"));
  EXPECT_THAT(sent("register.values"), JsonIs(R"({"R": null})"));

  robot().queryRegisterValues(values, "R.#1", ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(values, JsonIs("5"));
  EXPECT_THAT(sent("register.values", 2), JsonIs(R"({"R.#1": null})"));

  // What a register write leaves is what the next query reads.
  Json::Value written;
  link().sendCommand("register.write", parseJson(R"({"name": "R", "bias": 2, "value": 9})"), written, ec, 1s);
  ASSERT_FALSE(ec) << ec.value();
  EXPECT_THAT(written, JsonIs("0"));
  robot().queryRegisterValues(values, "R", ec);
  EXPECT_THAT(values, JsonIs("[4, 5, 9]"));

  // An unknown register is refused by the controller with -1.
  values = 7;
  robot().queryRegisterValues(values, "nothing", ec);
  EXPECT_EQ(ec.value(), -17001);
  EXPECT_TRUE(values.isNull());
}

TEST_F(RobotRequestsTest, RegisterReplyShapes) {
  struct Case {
    const char* reply;
    int code;
  };
  const Case cases[] = {
      {"-1", -17001},           {"-5", -5},    {"0", 0},       {"-5.0", -5},   {"2.5", -260},
      {R"("x")", -260},         {"[1]", -260}, {"true", -260}, {"null", -260}, {R"({"S": 1})", -260},
      {R"({"R": null})", -260},
  };
  for (const Case& c : cases) {
    command().script(Form::get, "register.values", Behaviour::reply(parseJson(c.reply)).times(1));
    std::error_code ec;
    Json::Value values = "stale";
    robot().queryRegisterValues(values, "R", ec);
    EXPECT_EQ(ec.value(), c.code) << c.reply;
    EXPECT_TRUE(values.isNull()) << c.reply;
  }
}

TEST_F(RobotRequestsTest, RebootAndShutdown) {
  std::error_code ec;
  robot().rebootOrShutdown(1, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(sent("utils.reboot"), JsonIs(R"({"option": "shutdown"})"));
  robot().rebootOrShutdown(0, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(sent("utils.reboot", 2), JsonIs("null"));

  command().script(Form::command, "utils.reboot", Behaviour::reply(-4).times(1));
  robot().rebootOrShutdown(7, ec);
  EXPECT_EQ(ec.value(), -4);
  EXPECT_THAT(sent("utils.reboot", 3), JsonIs("null"));
}

TEST_F(RobotRequestsTest, OperateModeSwitch) {
  struct Case {
    OperateMode mode;
    const char* sent;
  };
  const Case cases[] = {{OperateMode::automatic, R"("auto")"},
                        {OperateMode::manual, R"("manual")"},
                        {OperateMode::unknown, R"("manual")"},
                        {static_cast<OperateMode>(9), R"("manual")"}};
  std::size_t n = 0;
  for (const Case& c : cases) {
    std::error_code ec;
    EXPECT_EQ(robot().setOperateMode(c.mode, ec), 0);
    EXPECT_FALSE(ec) << ec.value();
    EXPECT_THAT(sent("sys.mode.switch", ++n), JsonIs(c.sent));
    EXPECT_THAT(Json::Value(sim().system().operateMode()), JsonIs(c.sent));
  }

  command().script(Form::command, "sys.mode.switch", Behaviour::reply(-3).times(1));
  std::error_code ec;
  EXPECT_EQ(robot().setOperateMode(OperateMode::automatic, ec), -3);
  EXPECT_FALSE(ec) << ec.value();

  useRequestWait(200ms);
  command().script(Form::command, "sys.mode.switch", Behaviour::silent().times(1));
  EXPECT_EQ(robot().setOperateMode(OperateMode::automatic, ec), 263);
  EXPECT_EQ(ec.value(), 263);
}

TEST_F(RobotRequestsTest, FlangeBoxTypeKnownOnlyAfterAnInteger) {
  useRequestWait(200ms);
  command().script(Form::get, "flangebox_support_rs485_param", Behaviour::silent().times(1));
  command().script(Form::get, "flangebox_support_rs485_param", Behaviour::reply("4").times(1));
  command().script(Form::get, "flangebox_support_rs485_param", Behaviour::reply(Json::Value()).times(1));
  for (int failed = 0; failed < 3; ++failed) {
    EXPECT_EQ(robot().GetFlangeBoxType(), 0);
    EXPECT_FALSE(robot().flangeBoxTypeKnown);
  }
  config().setFlangeBoxType(3);
  EXPECT_EQ(robot().GetFlangeBoxType(), 3);
  EXPECT_TRUE(robot().flangeBoxTypeKnown);
  EXPECT_EQ(count("flangebox_support_rs485_param"), 4u);
}

}  // namespace
