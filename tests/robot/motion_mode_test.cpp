// The motion-control mode: what each change sends, when it counts as done, and which
// operations it opens or closes.
#include <gmock/gmock.h>

#include <optional>
#include <string>
#include <vector>

#include "robot/motion_robot_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;
using Clock = std::chrono::steady_clock;

std::vector<std::string> keysOf(const std::vector<velmora_sim::Request>& records) {
  std::vector<std::string> keys;
  for (const auto& r : records) keys.push_back(r.key);
  return keys;
}

TEST_F(MotionRobotTest, RealtimeControlClosesTheQueueUntilAnotherModeReopensIt) {
  std::error_code ec;
  const auto start = Clock::now();
  robot().setMotionControlMode(MotionControlMode::RtCommand, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_GE(Clock::now() - start, 300ms) << "the controller's settling time";
  auto sent = requests();
  ASSERT_EQ(keysOf(sent), std::vector<std::string>{"eci.enable"}) << "no state query on the way in";
  EXPECT_THAT(sent[0].payload, JsonIs(R"({"protocol_version": "sdk0.7.1"})"));
  EXPECT_FALSE(robot().impl().motionControl->threadsRunning());
  EXPECT_EQ(robot().impl().motionControlMode.load(), MotionControlMode::RtCommand);

  command().log().clear();
  std::string id = "untouched";
  robot().moveAppend(linearMoves(1), id, ec);
  EXPECT_EQ(ec.value(), 262);
  robot().moveAppend(MoveWaitCommand(1ms), id, ec);
  EXPECT_EQ(ec.value(), 262);
  EXPECT_EQ(id, "untouched");
  EXPECT_TRUE(requests().empty());
  robot().setDefaultSpeed(100, ec);
  EXPECT_FALSE(ec) << "only appending looks at the mode";

  // The simulator is in real-time control now ("rci"): leaving it sends "eci.disable".
  command().log().clear();
  robot().setMotionControlMode(MotionControlMode::NrtCommand, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_EQ(keysOf(requests()), (std::vector<std::string>{"sys.state", "eci.disable", "move.reset"}));
  EXPECT_TRUE(robot().impl().motionControl->threadsRunning());
  robot().moveAppend(linearMoves(1), id, ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(arrives("move.l"));
  EXPECT_EQ(finishAll(1), 1);
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | setMotionControlMode end, mode: RtCommand (0)"));
}

TEST_F(MotionRobotTest, LeavingRealtimeControlTakesTheDisableReply) {
  const struct {
    const char* state;
    Json::Value reply;  // null: not sent
    int code;
    MotionControlMode mode;
  } cases[] = {
      {"rci", -259, 0, MotionControlMode::NrtCommand},  // "not in real-time control": already out
      {"rci", 0, 0, MotionControlMode::NrtCommand},    {"rci", -3, -3, MotionControlMode::Idle},
      {"rci", "off", -260, MotionControlMode::Idle},   {"idle", Json::Value(), 0, MotionControlMode::NrtCommand},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.state) + " " + compactJson(c.reply));
    robot().impl().motionControlMode.store(MotionControlMode::Idle);
    sim().system().setState(c.state);
    if (!c.reply.isNull()) command().script(Form::command, "eci.disable", Behaviour::reply(c.reply).times(1));
    command().log().clear();
    std::error_code ec;
    robot().setMotionControlMode(MotionControlMode::NrtCommand, ec);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(command().log().count("eci.disable"), c.reply.isNull() ? 0u : 1u);
    EXPECT_EQ(robot().impl().motionControlMode.load(), c.mode) << "stored only on success";
  }
  // A failed state query keeps the mode too, and sends no disable.
  useRequestWait(150ms);
  robot().impl().motionControlMode.store(MotionControlMode::NrtCommand);  // as the last case left it
  command().script(Form::get, "sys.state", Behaviour::silent().times(1));
  command().log().clear();
  std::error_code ec;
  robot().setMotionControlMode(MotionControlMode::Idle, ec);
  EXPECT_EQ(ec.value(), 263);
  EXPECT_EQ(robot().impl().motionControlMode.load(), MotionControlMode::NrtCommand);
  EXPECT_EQ(command().log().count("eci.disable"), 0u);
}

TEST_F(MotionRobotTest, AnUnknownModeIsRefusedBeforeAnyRequest) {
  sim().system().setState("rci");
  std::error_code ec;
  robot().setMotionControlMode(static_cast<MotionControlMode>(7), ec);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_TRUE(command().log().all().empty()) << "not even the state query: the arm stays in real-time control";
  EXPECT_EQ(robot().impl().motionControlMode.load(), MotionControlMode::Idle);
  EXPECT_TRUE(global_.contains("uid: VELSIM00-0001 | setMotionControlMode end, mode: Idle (259)"));
}

TEST_F(MotionRobotTest, RlTasksStopTheQueueAndKeepTheirController) {
  std::error_code ec;
  robot().setMotionControlMode(MotionControlMode::NrtRLTask, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(keysOf(requests()), std::vector<std::string>{"sys.state"});
  // The unwatch takes no reply, so it may reach the controller after the call returns.
  const auto unwatch = command().log().waitFor("move.last_error_with_setting", std::chrono::seconds(2));
  ASSERT_TRUE(unwatch.has_value());
  EXPECT_THAT(unwatch->payload, JsonIs("false"));
  EXPECT_FALSE(robot().impl().motionControl->threadsRunning());
  const auto* rl = robot().impl().rlTaskControl.get();
  ASSERT_NE(rl, nullptr);
  robot().setMotionControlMode(MotionControlMode::NrtRLTask, ec);
  EXPECT_EQ(robot().impl().rlTaskControl.get(), rl) << "an existing one stays";

  std::string id;
  robot().moveAppend(linearMoves(1), id, ec);
  EXPECT_EQ(ec.value(), 262);
  // Starting motion restarts the queue's threads whatever the mode; appending stays closed.
  robot().moveStart(ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(robot().impl().motionControl->threadsRunning());
  robot().moveAppend(linearMoves(1), id, ec);
  EXPECT_EQ(ec.value(), 262);
  robot().setMotionControlMode(MotionControlMode::Idle, ec);
  EXPECT_FALSE(ec);
  robot().moveAppend(linearMoves(1), id, ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(arrives("move.l"));
  responder().finishPending();
}

// A switch that is refused leaves the mode in force working as it did, its queue threads
// included; a state reply that names no state refuses nothing.
TEST_F(MotionRobotTest, ARefusedSwitchLeavesTheModeInForceWorking) {
  useRequestWait(150ms);
  const struct {
    const char* name;
    MotionControlMode from;
    MotionControlMode to;
    const char* state;                    // the simulator's state when the switch is asked for
    std::optional<Behaviour> stateReply;  // none: the simulator's own
    std::optional<Behaviour> disableReply;
    int code;
    MotionControlMode after;
    std::vector<std::string> sent;  // by the switch, watches aside
  } cases[] = {
      {"state query silent",
       MotionControlMode::Idle,
       MotionControlMode::NrtRLTask,
       "idle",
       Behaviour::silent(),
       std::nullopt,
       263,
       MotionControlMode::Idle,
       {"sys.state"}},
      {"disable refused",
       MotionControlMode::NrtCommand,
       MotionControlMode::NrtRLTask,
       "rci",
       std::nullopt,
       Behaviour::reply(-3),
       -3,
       MotionControlMode::NrtCommand,
       {"sys.state", "eci.disable"}},
      {"state names nothing",
       MotionControlMode::Idle,
       MotionControlMode::NrtRLTask,
       "idle",
       Behaviour::reply(Json::Value(Json::objectValue)),
       std::nullopt,
       0,
       MotionControlMode::NrtRLTask,
       {"sys.state"}},
      {"leaving real-time control refused",
       MotionControlMode::RtCommand,
       MotionControlMode::NrtCommand,
       "rci",
       std::nullopt,
       Behaviour::reply(-3),
       -3,
       MotionControlMode::RtCommand,
       {"sys.state", "eci.disable"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    robot_.reset();
    sim().system().setState("idle");
    robot_ = std::make_unique<MotionArm>(address(), address());
    std::error_code ec;
    robot().setMotionControlMode(c.from, ec);
    ASSERT_FALSE(ec) << ec.value();
    const bool queueOpen = c.after == MotionControlMode::Idle || c.after == MotionControlMode::NrtCommand;
    ASSERT_EQ(robot().impl().motionControl->threadsRunning(), c.from != MotionControlMode::RtCommand);
    sim().system().setState(c.state);
    if (c.stateReply) command().script(Form::get, "sys.state", Behaviour(*c.stateReply).times(1));
    if (c.disableReply) command().script(Form::command, "eci.disable", Behaviour(*c.disableReply).times(1));
    command().log().clear();

    robot().setMotionControlMode(c.to, ec);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(robot().impl().motionControlMode.load(), c.after);
    EXPECT_EQ(keysOf(requests()), c.sent) << "no reset: the threads were left alone";
    EXPECT_EQ(robot().impl().motionControl->threadsRunning(), queueOpen);

    // What the mode in force does with a batch: sent at once, or refused.
    command().log().clear();
    std::string id = "untouched";
    robot().moveAppend(linearMoves(1), id, ec);
    if (queueOpen) {
      EXPECT_FALSE(ec) << ec.value();
      EXPECT_TRUE(arrives("move.l"));
      EXPECT_EQ(finishAll(1), 1);
    } else {
      EXPECT_EQ(ec.value(), 262);
      EXPECT_EQ(id, "untouched");
      EXPECT_TRUE(requests().empty());
    }
  }
}

TEST_F(MotionRobotTest, AFailedEnableKeepsTheModeAndTheQueue) {
  useRequestWait(150ms);
  const struct {
    Behaviour reply;
    int code;
  } cases[] = {{Behaviour::reply(-1), -1}, {Behaviour::reply(Json::Value("x")), -260}, {Behaviour::silent(), 263}};
  for (const auto& c : cases) {
    command().script(Form::command, "eci.enable", Behaviour(c.reply).times(1));
    std::error_code ec;
    robot().setMotionControlMode(MotionControlMode::RtCommand, ec);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(robot().impl().motionControlMode.load(), MotionControlMode::Idle);
    EXPECT_TRUE(robot().impl().motionControl->threadsRunning()) << "nothing stopped";
  }
  std::error_code ec;
  std::string id;
  robot().moveAppend(linearMoves(1), id, ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(arrives("move.l"));
  responder().finishPending();
}

}  // namespace
}  // namespace velmora
