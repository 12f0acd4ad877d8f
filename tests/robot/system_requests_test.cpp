// What each system operation sends, as the simulator received it, and how its reply becomes
// the result and the code.
#include <gmock/gmock.h>

#include <functional>
#include <string>
#include <vector>

#include "robot/robot_fixture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;

TEST_F(RobotOpsTest, EachOperationSendsItsKeyAndPayload) {
  using L = LogInfo::Level;
  const RequestCase cases[] = {
      {"power on", [](auto& r, auto& ec) { r.setPowerState(true, ec); }, Form::command, "sys.power.on", "null"},
      {"power off", [](auto& r, auto& ec) { r.setPowerState(false, ec); }, Form::command, "sys.power.off", "null"},
      {"power state", [](auto& r, auto& ec) { r.powerState(ec); }, Form::get, "sys.power", "null"},
      {"operate mode", [](auto& r, auto& ec) { r.operateMode(ec); }, Form::get, "sys.mode", "null"},
      {"switch auto", [](auto& r, auto& ec) { r.setOperateMode(OperateMode::automatic, ec); }, Form::command,
       "sys.mode.switch", R"("auto")"},
      {"switch unknown", [](auto& r, auto& ec) { r.setOperateMode(OperateMode::unknown, ec); }, Form::command,
       "sys.mode.switch", R"("manual")"},
      {"reboot", [](auto& r, auto& ec) { r.rebootSystem(ec); }, Form::command, "utils.reboot", "null"},
      {"shutdown", [](auto& r, auto& ec) { r.shutdownSystem(ec); }, Form::command, "utils.reboot",
       R"({"option": "shutdown"})"},
      {"operation state", [](auto& r, auto& ec) { r.operationState(ec); }, Form::get, "sys.state", "null"},
      {"posture flange", [](auto& r, auto& ec) { r.posture(CoordinateType::flangeInBase, ec); }, Form::get,
       "sys.posture.flan_in_base", "null"},
      {"posture end", [](auto& r, auto& ec) { r.posture(CoordinateType::endInRef, ec); }, Form::get, "sys.posture",
       "null"},
      {"posture other", [](auto& r, auto& ec) { r.posture(static_cast<CoordinateType>(5), ec); }, Form::get,
       "sys.posture", "null"},
      {"servo alarm", [](auto& r, auto& ec) { r.clearServoAlarm(ec); }, Form::command, "sys.servo.clear_alarm", "null"},
      {"simulation on", [](auto& r, auto& ec) { r.setSimulationMode(true, ec); }, Form::command, "device.io.simu.on",
       "null"},
      {"simulation off", [](auto& r, auto& ec) { r.setSimulationMode(false, ec); }, Form::command, "device.io.simu.off",
       "null"},
      {"teach pendant", [](auto& r, auto& ec) { r.setTeachPendantMode(true, ec); }, Form::command,
       "sys.set_teach_pendant", R"({"with": true})"},
      {"ntp config", [](auto& r, auto& ec) { r.configNtp("pool.ntp.example", ec); }, Form::command, "sys.ntp.config",
       R"({"server": "pool.ntp.example"})"},
      {"ntp sync", [](auto& r, auto& ec) { r.syncTimeWithServer(ec); }, Form::command, "sys.ntp.sync", "null"},
      {"recover", [](auto& r, auto& ec) { r.recoverState(1, ec); }, Form::command, "rsc.emer_stop.reset", "null"},
      {"robot info", [](auto& r, auto& ec) { r.robotInfo(ec); }, Form::get, "sys.info", "null"},
      {"log query 0", [](auto& r, auto& ec) { r.queryControllerLog(0, {}, ec); }, Form::command, "user_log.query",
       R"({"limit": 1, "offset": 0, "order": "time DESC", "filter": {"level": []}})"},
      {"log query 25",
       [](auto& r, auto& ec) {
         r.queryControllerLog(25, {L::err, L::info}, ec, 3);
       },
       Form::command, "user_log.query",
       R"({"limit": 10, "offset": 3, "order": "time DESC", "filter": {"level": ["info", "error"]}})"},
      {"log query odd level",
       [](auto& r, auto& ec) {
         r.queryControllerLog(4, {L::warning, static_cast<L>(7)}, ec);
       },
       Form::command, "user_log.query",
       R"({"limit": 4, "offset": 0, "order": "time DESC", "filter": {"level": ["warning"]}})"},
  };
  expectEachSendsItsRequest(cases);
}

TEST_F(RobotOpsTest, SetPowerStateSendsItsKeyAndTakesTheReplyCode) {
  std::error_code ec;
  robot().setPowerState(true, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(last("sys.power.on").form, Form::command);
  EXPECT_THAT(last("sys.power.on").payload, JsonIs("null"));
  EXPECT_TRUE(sim().system().powered());
  command().script(Form::command, "sys.power.off", Behaviour::reply(-3).times(1));
  robot().setPowerState(false, ec);
  EXPECT_EQ(ec.value(), -3);
}

TEST_F(RobotOpsTest, RefusedArgumentsSendNothing) {
  std::error_code ec;
  robot().recoverState(0, ec);
  EXPECT_EQ(ec.value(), 259);
  robot().setEventWatcher(
      static_cast<Event>(4), [](const EventInfo&) {}, ec);
  EXPECT_EQ(ec.value(), 259);
  robot().queryEventInfo(static_cast<Event>(-1), ec);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(command().log().size(), 0u);
}

}  // namespace
}  // namespace velmora
