// Sequences that once ended the program: motion control started twice, stopped or switched
// from inside its own callback, a robot destroyed while its arm moves. Each must end normally,
// and motion must work afterwards.
#include <gmock/gmock.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

#include "robot/motion_robot_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Form;

// Appends one linear move, starts, and waits until the callback has heard its finish.
void moveOnce(BaseRobot& robot, velmora_sim::MotionResponder& responder, Heard& heard) {
  const std::size_t before = heard.size();
  std::error_code ec;
  std::string id;
  robot.moveAppend(linearMoves(1), id, ec);
  ASSERT_FALSE(ec) << ec.value();
  robot.moveStart(ec);
  ASSERT_FALSE(ec) << ec.value();
  ASSERT_TRUE(waitUntil([&] { return responder.finishPending() > 0 || heard.size() > before; }, 5s));
  ASSERT_TRUE(heard.waitFor(before + 1));
  EXPECT_EQ(entry<std::string>(heard.all()[before], "cmdID"), id);
}

TEST_F(MotionRobotTest, AModeChangeBeforeConnectingThenConnectingAndMoving) {
  MotionArm later;
  std::error_code ec;
  // Creates motion control on a link that is down: it starts nothing, twice over.
  later.setMotionControlMode(MotionControlMode::NrtCommand, ec);
  EXPECT_EQ(ec.value(), 256);
  later.setMotionControlMode(MotionControlMode::Idle, ec);
  EXPECT_EQ(ec.value(), 256);
  later.moveStart(ec);
  EXPECT_EQ(ec.value(), 256);
  ASSERT_NE(later.impl().motionControl, nullptr);
  EXPECT_FALSE(later.impl().motionControl->threadsRunning());

  ASSERT_NO_THROW(later.connectToRobot(address(), address()));
  EXPECT_TRUE(later.impl().motionControl->threadsRunning());
  Heard heard;
  later.setEventWatcher(Event::moveExecution, heard.callback(), ec);
  ASSERT_FALSE(ec);
  moveOnce(later, responder(), heard);
}

TEST_F(MotionRobotTest, DisconnectedThenStartedTwiceThenReconnected) {
  std::error_code ec;
  robot().disconnectFromRobot(ec);
  for (int i = 0; i < 2; ++i) {
    robot().moveStart(ec);
    EXPECT_EQ(ec.value(), 256);
    robot().setMotionControlMode(MotionControlMode::NrtCommand, ec);
    EXPECT_EQ(ec.value(), 256);
  }
  robot().connectToRobot(ec);
  ASSERT_FALSE(ec) << ec.value();
  Heard heard;
  robot().setEventWatcher(Event::moveExecution, heard.callback(), ec);
  moveOnce(robot(), responder(), heard);
}

TEST_F(MotionRobotTest, TheCallbackMayChangeTheModeOrDisconnect) {
  std::error_code ec;
  Heard heard;
  std::promise<std::error_code> switched;
  std::atomic<int> calls{0};
  robot().setEventWatcher(
      Event::moveExecution,
      [&](const EventInfo& info) {
        heard.add(info);
        // Runs on motion control's notification worker, which this stops.
        if (calls++ == 0) {
          std::error_code inside;
          robot().setMotionControlMode(MotionControlMode::RtCommand, inside);
          switched.set_value(inside);
        }
      },
      ec);
  ASSERT_FALSE(ec);
  std::string id;
  robot().moveAppend(linearMoves(1), id, ec);
  robot().moveStart(ec);
  ASSERT_TRUE(waitUntil([&] { return responder().finishPending() > 0; }, 5s));
  auto done = switched.get_future();
  ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(done.get());
  EXPECT_FALSE(robot().impl().motionControl->threadsRunning());
  robot().moveAppend(linearMoves(1), id, ec);
  EXPECT_EQ(ec.value(), 262);

  // Back from the caller's thread; the queue runs again and the same callback hears it.
  robot().setMotionControlMode(MotionControlMode::NrtCommand, ec);
  ASSERT_FALSE(ec) << ec.value();
  moveOnce(robot(), responder(), heard);

  // Now a callback that disconnects: the notification worker stops itself and the links go.
  std::promise<void> disconnected;
  robot().setEventWatcher(
      Event::moveExecution,
      [&](const EventInfo&) {
        if (calls++ == 2) {
          std::error_code inside;
          robot().disconnectFromRobot(inside);
          disconnected.set_value();
        }
      },
      ec);
  robot().moveAppend(linearMoves(1), id, ec);
  ASSERT_TRUE(waitUntil([&] { return responder().finishPending() > 0; }, 5s));
  auto gone = disconnected.get_future();
  ASSERT_EQ(gone.wait_for(5s), std::future_status::ready);
  robot().connectToRobot(ec);
  ASSERT_FALSE(ec) << ec.value();
  robot().setEventWatcher(Event::moveExecution, heard.callback(), ec);
  moveOnce(robot(), responder(), heard);
}

TEST_F(MotionRobotTest, DestroyingTheRobotWhileItsArmMoves) {
  sim().system().setState("idleing");
  responder().finishAfter(1ms, 3ms);
  std::atomic<int> heard{0};
  std::error_code ec;
  robot().setEventWatcher(
      Event::moveExecution, [&heard](const EventInfo&) { ++heard; }, ec);
  ASSERT_FALSE(ec);
  robot().setMaxCacheSize(20, ec);
  for (int i = 0; i < 30; ++i) {
    std::string id;
    robot().moveAppend(linearMoves(10), id, ec);
    ASSERT_FALSE(ec);
  }
  robot().moveStart(ec);
  ASSERT_TRUE(waitUntil([&] { return heard.load() >= 25; }, 5s));
  command().log().clear();
  robot_.reset();
  EXPECT_EQ(command().log().count("move.pause"), 1u) << "the moving arm was paused";
  const int atDestruction = heard.load();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(heard.load(), atDestruction) << "nothing is called after the robot is gone";
}

}  // namespace
}  // namespace velmora
