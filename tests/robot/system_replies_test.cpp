// How each system operation reads its reply: results, codes, and the lines it leaves.
#include <gmock/gmock.h>

#include <functional>
#include <string>
#include <vector>

#include "robot/robot_fixture.h"
#include "support/lang_guard.h"
#include "support/link_options.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

const ResultCall powerState = [](auto& r, auto& ec) { return std::to_string(static_cast<int>(r.powerState(ec))); };
const ResultCall operateMode = [](auto& r, auto& ec) { return std::to_string(static_cast<int>(r.operateMode(ec))); };
const ResultCall operationState = [](auto& r, auto& ec) {
  return std::to_string(static_cast<int>(r.operationState(ec)));
};
const ResultCall posture = [](auto& r, auto& ec) {
  const auto p = r.posture(CoordinateType::endInRef, ec);
  return fmt::format("{}", fmt::join(p, ","));
};
TEST_F(RobotOpsTest, RepliesBecomeResultsAndCodes) {
  const ResultCall setPower = withoutResult([](auto& r, auto& ec) { r.setPowerState(true, ec); });
  const ResultCall clearAlarm = withoutResult([](auto& r, auto& ec) { r.clearServoAlarm(ec); });
  const ResultCall simulation = withoutResult([](auto& r, auto& ec) { r.setSimulationMode(true, ec); });
  const ResultCall pendant = withoutResult([](auto& r, auto& ec) { r.setTeachPendantMode(false, ec); });
  const ResultCall ntp = withoutResult([](auto& r, auto& ec) { r.configNtp("ntp", ec); });
  const ResultCall sync = withoutResult([](auto& r, auto& ec) { r.syncTimeWithServer(ec); });
  const ResultCall recover = withoutResult([](auto& r, auto& ec) { r.recoverState(1, ec); });
  const ResultCall switchMode = withoutResult([](auto& r, auto& ec) { r.setOperateMode(OperateMode::automatic, ec); });
  const ResultCall reboot = withoutResult([](auto& r, auto& ec) { r.rebootSystem(ec); });
  const ResultCall shutdown = withoutResult([](auto& r, auto& ec) { r.shutdownSystem(ec); });
  const ReplyCase cases[] = {
      {"sys.power", Form::get, R"("on")", powerState, "0", 0},
      {"sys.power", Form::get, R"("off")", powerState, "1", 0},
      {"sys.power", Form::get, R"("estop")", powerState, "2", 0},
      {"sys.power", Form::get, R"("gstop")", powerState, "3", 0},
      {"sys.power", Form::get, R"("halt")", powerState, "-1", 0},
      {"sys.power", Form::get, "5", powerState, "-1", 0},
      {"sys.power", Form::get, R"({"on": true})", powerState, "-1", 0},
      {"sys.mode", Form::get, R"("auto")", operateMode, "1", 0},
      {"sys.mode", Form::get, R"("manual")", operateMode, "0", 0},
      {"sys.mode", Form::get, R"("automatic")", operateMode, "-1", 0},
      {"sys.state", Form::get, R"("idle")", operationState, "0", 0},
      {"sys.state", Form::get, R"("idleing")", operationState, "9", 0},
      {"sys.state", Form::get, R"("unknowning")", operationState, "9", 0},
      {"sys.state", Form::get, R"("joging")", operationState, "10", 0},
      {"sys.state", Form::get, R"("draging")", operationState, "3", 0},
      {"sys.state", Form::get, R"("dynamic_identifying")", operationState, "6", 0},
      {"sys.state", Form::get, R"("program/auto")", operationState, "4", 0},
      {"sys.state", Form::get, R"("rci")", operationState, "2", 0},
      {"sys.state", Form::get, R"("debug")", operationState, "-1", 0},
      {"sys.state", Form::get, R"("jogging")", operationState, "-1", 0},
      {"sys.state", Form::get, R"("")", operationState, "-1", 0},
      {"sys.state", Form::get, "-3", operationState, "-1", 0},
      {"sys.state", Form::get, "{}", operationState, "-1", 0},
      {"sys.state", Form::get, R"(["idle"])", operationState, "-1", 0},
      {"sys.posture", Form::get, R"({"trans": [1, 2, 3], "rot": [4, 5, 6, 7]})", posture, "1,2,3,4,5,6", 0},
      {"sys.posture", Form::get, R"({"trans": [1, 2, 3], "rot": [4, 5]})", posture, "1,2,3,0,0,0", 257},
      {"sys.posture", Form::get, R"({"trans": [1, "2", 3], "rot": [4, 5, 6]})", posture, "0,0,0,0,0,0", 257},
      {"sys.posture", Form::get, "-3", posture, "0,0,0,0,0,0", 257},
      {"sys.power.on", Form::command, "-3", setPower, "", -3},
      {"sys.power.on", Form::command, "null", setPower, "", 0},
      {"sys.power.on", Form::command, R"("0")", setPower, "", -260},
      {"sys.servo.clear_alarm", Form::command, "-3", clearAlarm, "", -3},
      {"device.io.simu.on", Form::command, "-10030", simulation, "", -10030},
      {"sys.set_teach_pendant", Form::command, "-3", pendant, "", -3},
      {"sys.ntp.config", Form::command, R"({"error": -10065, "data": {"msg": "m"}})", ntp, "", -10065},
      {"sys.ntp.config", Form::command, "-2", ntp, "", -2},
      {"sys.ntp.config", Form::command, R"({"error": "bad"})", ntp, "", 0},
      {"sys.ntp.sync", Form::command, R"({"error": -1, "data": "unreachable"})", sync, "", -1},
      {"rsc.emer_stop.reset", Form::command, "-3", recover, "", 0},
      {"sys.mode.switch", Form::command, "-3", switchMode, "", -3},
      {"sys.mode.switch", Form::command, R"("ok")", switchMode, "", -260},
      {"utils.reboot", Form::command, "-3", reboot, "", -3},
      {"utils.reboot", Form::command, "{}", shutdown, "", -260},
  };
  expectEachReadsItsReply(cases);
}

// A state reply that names nothing is an unknown state, not a failure: disconnecting reads it
// as "not moving" and sends nothing more.
TEST_F(RobotOpsTest, DisconnectingPastAStateReplyThatNamesNothing) {
  LogCapture global;
  for (const char* reply : {"{}", "[1]"}) {
    SCOPED_TRACE(reply);
    std::error_code ec;
    robot().connectToRobot(ec);
    ASSERT_FALSE(ec);
    command().script(Form::get, "sys.state", Behaviour::reply(parseJson(reply)).times(1));
    command().log().clear();
    robot().disconnectFromRobot(ec);
    EXPECT_EQ(ec.value(), 0);
    std::vector<std::string> keys;
    for (const auto& r : command().log().all()) {
      if (r.form != Form::watch) keys.push_back(r.key);
    }
    EXPECT_EQ(keys, std::vector<std::string>{"sys.state"});
  }
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | disconnectFromRobot end (0)"));
  EXPECT_FALSE(global.contains("disconnectFromRobot end (-260)"));
}

TEST_F(RobotOpsTest, TransportFailuresKeepTheirCodeAndGiveEmptyResults) {
  useRequestWait(150ms);
  command().script("sys.posture", Behaviour::silent().times(1));
  std::error_code ec;
  EXPECT_EQ(posture(robot(), ec), "0,0,0,0,0,0");
  EXPECT_EQ(ec.value(), 263);
  command().script("sys.state", Behaviour::wrongKind().times(1));
  EXPECT_EQ(operationState(robot(), ec), "-1");
  EXPECT_EQ(ec.value(), 257);
  command().script("sys.mode.switch", Behaviour::silent().times(1));
  robot().setOperateMode(OperateMode::manual, ec);
  EXPECT_EQ(ec.value(), 263) << "the request's code when no reply came";
  command().script("user_log.query", Behaviour::silent().times(1));
  EXPECT_TRUE(robot().queryControllerLog(3, {}, ec).empty());
  EXPECT_EQ(ec.value(), -260) << "a failed log query reports the reply it lacks";
  command().refuse(true);
  command().dropConnections();
  ASSERT_TRUE(waitUntil([&] { return command().openConnections() == 0; }, 2s));
  robot().setPowerState(true, ec);
  EXPECT_EQ(ec.value(), 256);
  EXPECT_EQ(powerState(robot(), ec), "-1");
  EXPECT_EQ(ec.value(), 256);
}

TEST_F(RobotOpsTest, LinesGoWhereEachOperationSays) {
  LogCapture global;
  std::error_code ec;
  robot().setPowerState(true, ec);
  robot().setTeachPendantMode(true, ec);
  robot().setOperateMode(OperateMode::automatic, ec);
  EXPECT_EQ(robot().operateMode(ec), OperateMode::automatic) << "the controller switched";
  robot().rebootSystem(ec);
  command().script(Form::command, "utils.reboot", Behaviour::reply(-5).times(1));
  robot().shutdownSystem(ec);
  robot().recoverState(0, ec);
  command().script(Form::command, "sys.ntp.config",
                   Behaviour::reply(parseJson(R"({"error": -10065, "data": {"msg": "m"}})")).times(1));
  robot().configNtp("ntp.example", ec);
  robot().disconnectFromRobot(ec);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setPowerState end, switch motor true (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setTeachPendantMode, enable: true (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setOperationMode end, switch to auto (0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | rebootSystem(0)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | shutdownSystem(-5)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | disconnectFromRobot end (0)"));
  // Robot log only: not in the global log.
  EXPECT_FALSE(global.contains("recover state, item: 0"));
  EXPECT_FALSE(global.contains("configNtp ntp.example"));
  // The robot log is flushed by the disconnect.
  std::string robotLog;
  for (const auto& entry : std::filesystem::recursive_directory_iterator("_velmora_log_")) {
    if (entry.is_regular_file()) robotLog += readFile(entry.path().string());
  }
  EXPECT_THAT(robotLog, ::testing::HasSubstr("setPowerState end, switch motor true (0)"));
  EXPECT_THAT(robotLog, ::testing::HasSubstr("setOperationMode end, switch to auto (0)"));
  EXPECT_THAT(robotLog, ::testing::HasSubstr("shutdownSystem(-5)"));
  EXPECT_THAT(robotLog, ::testing::HasSubstr("recover state, item: 0, id: 259"));
  EXPECT_THAT(robotLog, ::testing::HasSubstr("configNtp ntp.example (-10065m)"));
}

TEST_F(RobotOpsTest, ControllerLogEntriesComeInReplyOrderAsUtf8) {
  LangGuard chinese(0);
  const std::string text = "\xe7\x94\xb5\xe6\x9c\xba\xe8\xbf\x87\xe7\x83\xad";  // UTF-8, outside code page 936 use
  sim().system().setLog(
      {{-3, "t1", "old", "r1", "info"}, {-4, "t2", text, "\xe2\x9c\x93", "error"}, {0, "t3", "warned", "", "warning"}});
  std::error_code ec;
  auto entries = robot().queryControllerLog(5, {LogInfo::Level::info, LogInfo::Level::err}, ec);
  ASSERT_FALSE(ec);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].id, -4);
  EXPECT_EQ(entries[0].logText, text) << "passed on byte for byte";
  EXPECT_EQ(entries[0].repairHint, "\xe2\x9c\x93");
  EXPECT_EQ(entries[1].timestamp, "t1");

  const struct {
    const char* reply;
    std::size_t entries;
    int code;
  } cases[] = {
      {R"({"data": {"logs": [{"content": "only"}]}})", 1, 0},  // missing members default
      {R"({"data": {"logs": {}}})", 0, 0},
      {R"({"data": 3})", 0, 0},
      {R"({"data": {"logs": [{"err_code": "x"}]}})", 0, -260},
      {R"({"data": {"logs": [7]}})", 0, -260},
      {"-3", 0, -260},
      {R"("text")", 0, -260},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    command().script(Form::command, "user_log.query", Behaviour::reply(parseJson(c.reply)).times(1));
    entries = robot().queryControllerLog(5, {}, ec);
    EXPECT_EQ(entries.size(), c.entries);
    EXPECT_EQ(ec.value(), c.code);
  }
  EXPECT_EQ(robot().queryControllerLog(5, {}, ec).size(), 0u) << "no level asked, none matches";
}

TEST_F(RobotOpsTest, RobotInfoReadsItsObjectOnly) {
  std::error_code ec;
  command().script(Form::get, "sys.info",
                   Behaviour::reply(parseJson(R"({"id": "", "version": "3.1", "version_3.0": "3.2.1",
                                               "mac": "m", "type": "t", "joint_num": 7})"))
                       .times(1));
  Info info = robot().robotInfo(ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(info.id, "default");
  EXPECT_EQ(info.version, "3.2.1");
  for (const auto& [reply, code] : {std::pair{"-3", 257}, {R"({"joint_num": "seven"})", -260}}) {
    command().script(Form::get, "sys.info", Behaviour::reply(parseJson(reply)).times(1));
    info = robot().robotInfo(ec);
    EXPECT_EQ(ec.value(), code);
    EXPECT_TRUE(info.type.empty() && info.joint_num == 0);
  }
}

TEST_F(RobotOpsTest, EventWatchersAndTheirInformation) {
  std::error_code ec;
  EXPECT_TRUE(robot().queryEventInfo(Event::safety, ec).empty());
  EXPECT_EQ(ec.value(), 272);
  Deliveries deliveries;
  robot().setEventWatcher(Event::safety, deliveries.callback(), ec);
  EXPECT_FALSE(ec);
  // The watch is not waited for: let it arrive before publishing to watchers.
  const auto watch = command().log().waitFor("safety.event.collision", 5s);
  ASSERT_TRUE(watch);
  EXPECT_THAT(watch->payload, JsonIs("true"));
  command().publish(parseJson(R"({"safety.event.collision": true})"));
  ASSERT_TRUE(deliveries.waitFor(1));
  const EventInfo info = robot().queryEventInfo(Event::safety, ec);
  EXPECT_FALSE(ec);
  ASSERT_EQ(info.count("collided"), 1u);
  EXPECT_TRUE(std::any_cast<bool>(info.at("collided")));
  robot().queryEventInfo(Event::moveExecution, ec);
  EXPECT_FALSE(ec) << "motion control exists once connected";
}

// A number where a notification member is read as text is that number's text; only a
// structure there drops the notification.
TEST_F(RobotOpsTest, NotificationTextsMayArriveAsNumbers) {
  Deliveries logs;
  Deliveries tasks;
  std::error_code ec;
  robot().setEventWatcher(Event::logReporter, logs.callback(), ec);
  robot().setEventWatcher(Event::rlExecution, tasks.callback(), ec);
  ASSERT_TRUE(command().log().waitFor("log.user", 5s));
  ASSERT_TRUE(command().log().waitFor("project.tasks_pointer", 5s));

  command().publish(parseJson(R"({"log.user": {"error": 3, "data": {"msg": "x"}}})"));
  command().publish(parseJson(R"({"log.user": {"error": 3, "data": 404}})"));
  ASSERT_TRUE(logs.waitFor(1));
  command().publish(parseJson(R"({"project.tasks_pointer": [{"task_name": 7, "exe_line": {"file_name": 12.0,
                                                                                          "line": 2}}]})"));
  ASSERT_TRUE(tasks.waitFor(1));
  const EventInfo log = robot().queryEventInfo(Event::logReporter, ec);
  EXPECT_EQ(std::any_cast<std::string>(log.at("edetail")), "404");
  EXPECT_EQ(std::any_cast<int>(log.at("ecode")), -3);
  EXPECT_EQ(logs.count.load(), 1) << "the one with an object for its text was dropped";
  const EventInfo task = robot().queryEventInfo(Event::rlExecution, ec);
  EXPECT_EQ(std::any_cast<std::string>(task.at("taskName")), "7");
  EXPECT_EQ(std::any_cast<std::string>(task.at("executeFile")), "12");
  EXPECT_EQ(std::any_cast<int>(task.at("executeLine")), 1);
}

}  // namespace
}  // namespace velmora
