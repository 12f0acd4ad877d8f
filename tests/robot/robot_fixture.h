#pragma once
// A robot of the public API connected to the test's own simulator (a 7-axis collaborative
// controller), in a scratch working directory for its robot log.

#include <velmora/robots.h>

#include <memory>
#include <string>

#include "robot_impl/robot_fixture.h"
#include "support/json_match.h"

/// The test's simulator and scratch folder, with a look at what the simulator received.
class RobotSimTest : public RobotTest {
 protected:
  /// The last request of `key` the simulator received; a record with an empty key when none.
  velmora_sim::Request last(const std::string& key) {
    const auto records = command().log().withKey(key);
    return records.empty() ? velmora_sim::Request{} : records.back();
  }
};

/// A connected robot on top.
class RobotOpsTest : public RobotSimTest {
 protected:
  void SetUp() override {
    robot_ = std::make_unique<velmora::OstraMaxRobot>(address(), address());
    command().log().clear();
  }
  void TearDown() override {
    robot_.reset();
    RobotSimTest::TearDown();
  }

  velmora::OstraMaxRobot& robot() { return *robot_; }

  std::unique_ptr<velmora::OstraMaxRobot> robot_;
};
