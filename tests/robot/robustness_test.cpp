// Whatever the controller answers to the keys of the connection and system operations, no
// operation throws or terminates: each gives a code and an empty or unknown result.
#include <gmock/gmock.h>

#include <functional>
#include <string>
#include <vector>

#include "robot/robot_fixture.h"

namespace velmora {
namespace {

using velmora_sim::Exchange;

const char* const kKeys[] = {
    "sys.info",
    "eci.port",
    "eci.ip",
    "sys.power",
    "sys.power.on",
    "sys.power.off",
    "sys.mode",
    "sys.mode.switch",
    "sys.state",
    "sys.posture",
    "sys.posture.flan_in_base",
    "sys.servo.clear_alarm",
    "utils.reboot",
    "device.io.simu.on",
    "device.io.simu.off",
    "sys.set_teach_pendant",
    "sys.ntp.config",
    "sys.ntp.sync",
    "user_log.query",
    "rsc.emer_stop.reset",
    "eci.pub.stop",
    "move.pause",
    "move.reset",
    "move.last_error_with_setting",
    "safety.event.collision",
    "project.tasks_pointer",
    "log.user",
};

using Operation = std::function<void(OstraMaxRobot&, std::error_code&)>;

const std::vector<std::pair<const char*, Operation>>& operations() {
  static const std::vector<std::pair<const char*, Operation>> all = {
      {"robotInfo", [](auto& r, auto& ec) { r.robotInfo(ec); }},
      {"powerState", [](auto& r, auto& ec) { r.powerState(ec); }},
      {"setPowerState", [](auto& r, auto& ec) { r.setPowerState(true, ec); }},
      {"operateMode", [](auto& r, auto& ec) { r.operateMode(ec); }},
      {"setOperateMode", [](auto& r, auto& ec) { r.setOperateMode(OperateMode::manual, ec); }},
      {"rebootSystem", [](auto& r, auto& ec) { r.rebootSystem(ec); }},
      {"shutdownSystem", [](auto& r, auto& ec) { r.shutdownSystem(ec); }},
      {"operationState", [](auto& r, auto& ec) { r.operationState(ec); }},
      {"posture", [](auto& r, auto& ec) { r.posture(CoordinateType::flangeInBase, ec); }},
      {"clearServoAlarm", [](auto& r, auto& ec) { r.clearServoAlarm(ec); }},
      {"setSimulationMode", [](auto& r, auto& ec) { r.setSimulationMode(false, ec); }},
      {"setTeachPendantMode", [](auto& r, auto& ec) { r.setTeachPendantMode(true, ec); }},
      {"configNtp", [](auto& r, auto& ec) { r.configNtp("ntp", ec); }},
      {"syncTimeWithServer", [](auto& r, auto& ec) { r.syncTimeWithServer(ec); }},
      {"queryControllerLog", [](auto& r, auto& ec) { r.queryControllerLog(3, {LogInfo::Level::info}, ec); }},
      {"recoverState", [](auto& r, auto& ec) { r.recoverState(1, ec); }},
      {"setEventWatcher", [](auto& r, auto& ec) { r.setEventWatcher(Event::logReporter, {}, ec); }},
      {"queryEventInfo", [](auto& r, auto& ec) { r.queryEventInfo(Event::logReporter, ec); }},
      {"disconnectFromRobot", [](auto& r, auto& ec) { r.disconnectFromRobot(ec); }},
      {"connectToRobot", [](auto& r, auto& ec) { r.connectToRobot(ec); }},
  };
  return all;
}

TEST_F(RobotOpsTest, AnyReplyKindGivesACodeNeverAThrow) {
  const char* const kinds[] = {R"("text")", R"({"trans": "x", "data": {"logs": [1]}, "error": "e"})",
                               R"([1, "a", null])", "null"};
  for (const char* kind : kinds) {
    SCOPED_TRACE(kind);
    const Json::Value reply = parseJson(kind);
    for (const char* key : kKeys) {
      command().handle(key, [reply](Exchange& x) { x.reply(reply); });
    }
    for (const auto& [name, operation] : operations()) {
      SCOPED_TRACE(name);
      std::error_code ec;
      operation(robot(), ec);
      // Success or one of the codes the link and the readers give; never a crash.
      EXPECT_THAT(ec.value(), ::testing::AnyOf(0, 256, 257, 259, 263, 266, -260)) << ec.message();
    }
    command().clearScripts();
    std::error_code ec;
    robot().connectToRobot(ec);
    ASSERT_FALSE(ec) << "back to a sane controller";
  }
}

}  // namespace
}  // namespace velmora
