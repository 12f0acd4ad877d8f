// The robot against the simulated arm at a fast time scale: the stream follows a joint move to
// its target, a linear move takes its distance over its speed while the operation state says
// moving, a stop halts the arm until the motion continues, and a jog moves it by its step.
#include <gmock/gmock.h>

#include <any>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "robot/motion_robot_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::vector<double> kStart = {0.1, 0.2, 0.30000000000000004, 0.4, 0.5, 0.6000000000000001, 0.7000000000000001};

// One packet of the stream as the robot read it.
struct Sample {
  std::uint64_t ts = 0;
  std::vector<double> q;
};

class ArmMotionTest : public MotionRobotTest {
 protected:
  void SetUp() override {
    MotionRobotTest::SetUp();
    responder().followArm();
    std::error_code ec;
    robot().setEventWatcher(
        Event::moveExecution,
        [this](const EventInfo& info) {
          std::lock_guard<std::mutex> lock(mutex_);
          if (std::any_cast<bool>(info.at("reachTarget"))) finished_.push_back(Clock::now());
        },
        ec);
    ASSERT_FALSE(ec);
  }

  std::size_t finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_.size();
  }
  Clock::time_point finishedAt(std::size_t i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_.at(i);
  }

  /// Reads the stream until `n` commands were reported finished and `after` more has passed,
  /// then every packet still waiting.
  std::vector<Sample> streamUntilFinished(std::size_t n, std::chrono::milliseconds after = 50ms) {
    std::vector<Sample> samples;
    auto take = [&](std::chrono::nanoseconds wait) {
      if (robot().updateRobotState(wait) == 0) return false;
      Sample sample;
      robot().getStateData("ts", sample.ts);
      robot().getStateData("q_m", sample.q);
      samples.push_back(std::move(sample));
      return true;
    };
    const auto deadline = Clock::now() + 5s;
    std::optional<Clock::time_point> stopAt;
    while (Clock::now() < deadline && (!stopAt || Clock::now() < *stopAt)) {
      if (!stopAt && finished() >= n) stopAt = Clock::now() + after;
      take(5ms);
    }
    while (take(0ns)) {
    }
    return samples;
  }

  std::vector<double> joints() {
    std::error_code ec;
    auto q = robot().jointPos(ec);
    EXPECT_FALSE(ec);
    return q;
  }

  std::mutex mutex_;
  std::vector<Clock::time_point> finished_;
};

double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// How far a joint is from `from` towards `to` (0 to 1).
double fraction(double q, double from, double to) { return (q - from) / (to - from); }

TEST_F(ArmMotionTest, TheStreamFollowsAJointMoveToItsTargetAndStaysThere) {
  sim().arm().setTimeScale(0.1);
  // The widest way, 0.4 rad at 0.4 rad/s: one second of motion, 100 ms here.
  const std::vector<double> target = {0.5, -0.2, 0.30000000000000004, 0.4, 0.9, 0.6000000000000001, 0.7000000000000001};
  std::string id;
  std::error_code ec;
  robot().moveAppend(std::vector<MoveAbsJCommand>{MoveAbsJCommand(JointPosition(target), 400, 0)}, id, ec);
  ASSERT_FALSE(ec);
  robot().startReceiveRobotState(1ms, {"q_m"});
  robot().moveStart(ec);
  ASSERT_FALSE(ec);
  const auto samples = streamUntilFinished(1);
  ASSERT_EQ(finished(), 1u);
  ASSERT_FALSE(samples.empty());

  int between = 0;
  double last = 0;
  for (const auto& s : samples) {
    ASSERT_EQ(s.q.size(), 7u);
    const double f = fraction(s.q[0], kStart[0], target[0]);
    EXPECT_GE(f, last - 1e-12) << "never back";
    EXPECT_LE(f, 1.0 + 1e-12) << "never past the target";
    // Every joint on the same fraction of its way.
    EXPECT_NEAR(fraction(s.q[1], kStart[1], target[1]), f, 1e-9);
    EXPECT_NEAR(fraction(s.q[4], kStart[4], target[4]), f, 1e-9);
    EXPECT_EQ(s.q[2], kStart[2]);
    if (f > 0 && f < 1) ++between;
    last = f;
  }
  EXPECT_GE(between, 3) << "the stream saw the arm on its way";
  EXPECT_EQ(samples.back().q, target);
  EXPECT_GT(samples.back().ts, samples.front().ts);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(joints(), target) << "and there it stays";
}

TEST_F(ArmMotionTest, ALinearMoveTakesItsDistanceOverItsSpeedWhileTheStateIsMoving) {
  constexpr double kScale = 0.2;
  sim().arm().setTimeScale(kScale);
  std::error_code ec;
  EXPECT_EQ(robot().operationState(ec), OperationState::idle);
  // 0.1 m up at 100 mm/s: one second of motion, 200 ms here.
  CartesianPosition up{0.1, 0.2, 0.4, 0.4, 0.5, 0.6};
  up.elbow = kStart[6];
  std::string id;
  robot().moveAppend(std::vector<MoveLCommand>{MoveLCommand(up, 100, 0)}, id, ec);
  robot().startReceiveRobotState(1ms, {"q_m"});
  const auto beforeStart = Clock::now();
  robot().moveStart(ec);
  ASSERT_FALSE(ec);
  EXPECT_EQ(robot().operationState(ec), OperationState::moving);
  const auto samples = streamUntilFinished(1);
  ASSERT_EQ(finished(), 1u);
  EXPECT_EQ(robot().operationState(ec), OperationState::idle) << "once the move was reported finished";

  // Each packet carries the arm's height and the time it was taken: the climb's rate gives the
  // move's length in time, whatever the machine's load did to the packets' arrival.
  const Sample* first = nullptr;
  const Sample* lastMoving = nullptr;
  const Sample* lastStill = nullptr;
  const Sample* arrived = nullptr;
  for (const auto& s : samples) {
    const double f = fraction(s.q[2], kStart[2], 0.4);
    if (f <= 0) lastStill = &s;
    if (f > 0 && f < 1) {
      if (!first) first = &s;
      lastMoving = &s;
    }
    if (f >= 1 && !arrived) arrived = &s;
  }
  const double expectedMs = 0.1 / 0.1 * kScale * 1000;
  ASSERT_TRUE(first && lastMoving && arrived);
  ASSERT_GE(lastMoving->ts - first->ts, 20u) << "two packets far enough apart to time the climb";
  const double climbed = fraction(lastMoving->q[2], kStart[2], 0.4) - fraction(first->q[2], kStart[2], 0.4);
  EXPECT_NEAR(double(lastMoving->ts - first->ts) / climbed, expectedMs, 0.2 * expectedMs);
  if (lastStill) {
    EXPECT_GE(double(arrived->ts - lastStill->ts), 0.8 * expectedMs);
  }
  EXPECT_GE(msBetween(beforeStart, finishedAt(0)), 0.8 * expectedMs) << "reported when the motion ended, not before";
}

TEST_F(ArmMotionTest, StopHaltsTheArmMidWayAndMoveStartFinishesTheRest) {
  sim().arm().setTimeScale(0.2);
  // 0.4 rad at 0.4 rad/s: 200 ms here.
  std::vector<double> target = kStart;
  target[0] = 0.5;
  std::string id;
  std::error_code ec;
  robot().moveAppend(std::vector<MoveAbsJCommand>{MoveAbsJCommand(JointPosition(target), 400, 0)}, id, ec);
  robot().moveStart(ec);
  ASSERT_FALSE(ec);
  ASSERT_TRUE(waitUntil([&] { return joints()[0] > 0.15; }, 2s));
  robot().stop(ec);
  ASSERT_FALSE(ec);
  EXPECT_EQ(requests().back().key, "move.pause");
  const auto halted = joints();
  EXPECT_GT(halted[0], 0.15);
  EXPECT_LT(halted[0], 0.5);
  std::this_thread::sleep_for(250ms);  // longer than the whole move
  EXPECT_EQ(joints(), halted) << "halted where it was";
  EXPECT_EQ(finished(), 0u);
  EXPECT_EQ(robot().operationState(ec), OperationState::idle);

  const auto resumed = Clock::now();
  robot().moveStart(ec);
  ASSERT_FALSE(ec);
  ASSERT_TRUE(waitUntil([&] { return finished() == 1; }, 3s));
  EXPECT_EQ(joints(), target);
  const double restMs = (0.5 - halted[0]) / 0.4 * 0.2 * 1000;
  EXPECT_GE(msBetween(resumed, finishedAt(0)), 0.8 * restMs) << "the rest of the way, at the same speed";
}

TEST_F(ArmMotionTest, AJogMovesTheArmByItsStepWhileItRuns) {
  sim().arm().setTimeScale(0.1);
  std::error_code ec;
  robot().startJog(JogOpt::Space::jointSpace, 1.0, 5.0, 1, true, ec);
  ASSERT_FALSE(ec);
  EXPECT_EQ(robot().operationState(ec), OperationState::jogging);
  const double end = kStart[1] + 5.0 * 3.141592653589793 / 180;
  ASSERT_TRUE(waitUntil([&] { return std::abs(joints()[1] - end) < 1e-12; }, 2s));
  robot().stop(ec);
  EXPECT_EQ(requests().back().key, "move.stop");
  EXPECT_EQ(robot().operationState(ec), OperationState::idle);
  EXPECT_NEAR(joints()[1], end, 1e-12);
}

}  // namespace
}  // namespace velmora
