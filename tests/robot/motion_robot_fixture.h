#pragma once
// Robots of the public API moving against the test's simulator: a connected 7-axis arm whose
// global log is captured from before it connects, command lists to send, and the execution
// information its moveExecution callback hears.

#include <velmora/robots.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "motion_control/motion_fixture.h"
#include "robot/robot_fixture.h"
#include "support/json_match.h"
#include "support/link_options.h"
#include "support/log_capture.h"

/// Reaches the implementation of a concrete robot (motion control, the current mode).
template <class Robot>
struct Exposed : Robot {
  using Robot::Robot;
  using velmora::BaseRobot::impl;
};

using MotionArm = Exposed<velmora::OstraMaxRobot>;

/// `n` linear moves, each to its own pose.
inline std::vector<velmora::MoveLCommand> linearMoves(int n, double speed = 500, double zone = 10) {
  std::vector<velmora::MoveLCommand> moves;
  for (int i = 0; i < n; ++i) {
    moves.emplace_back(velmora::CartesianPosition{0.3 + i * 1e-3, 0.1, 0.4, 3.14, 0.0, 0.0}, speed, zone);
  }
  return moves;
}

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// Texts of the ids the controller received under `key` (numbers written as digits).
inline std::vector<std::string> idsOf(const std::vector<velmora_sim::Request>& records) {
  std::vector<std::string> ids;
  for (const auto& r : records) ids.push_back(r.id.isString() ? r.id.asString() : compactJson(r.id));
  return ids;
}

class MotionRobotTest : public RobotSimTest {
 protected:
  void SetUp() override {
    robot_ = std::make_unique<MotionArm>(address(), address());
    command().log().clear();
  }
  void TearDown() override {
    robot_.reset();
    RobotSimTest::TearDown();
  }

  MotionArm& robot() { return *robot_; }
  /// Replaces the robot with one connected the same way whose links wait `wait` for a reply.
  void useRequestWait(std::chrono::milliseconds wait) {
    robot_.reset();
    robot_ = velmora::internal::RobotAssembly::build<MotionArm>(withRequestWait(wait));
    robot_->connectToRobot(address(), address());
    command().log().clear();
  }
  velmora_sim::MotionResponder& responder() { return sim().motion(); }
  /// Records of the requests the controller received, watches aside.
  std::vector<velmora_sim::Request> requests() {
    std::vector<velmora_sim::Request> out;
    for (auto& r : command().log().all()) {
      if (r.form != velmora_sim::Form::watch) out.push_back(std::move(r));
    }
    return out;
  }
  /// Waits for the `nth` request of `key`.
  bool arrives(const std::string& key, std::size_t nth = 1,
               std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    return command().log().waitFor(key, timeout, nth).has_value();
  }

  /// Waits until the simulator holds `n` unreported commands, then reports all it holds.
  int finishAll(std::size_t n) {
    waitUntil([&] { return responder().pending() >= n; }, std::chrono::seconds(5));
    return responder().finishPending();
  }

  // Before the robot: the logger's sink list may only change while no link runs.
  LogCapture global_;
  std::unique_ptr<MotionArm> robot_;
};
