#pragma once
// Robots of the project, file and path tests: the motion control mode a successful mode
// switch leaves behind, and scratch files to import.

#include <velmora/robots.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "robot/robot_fixture.h"

class ProjectTest : public RobotOpsTest {
 protected:
  /// The robot as `setMotionControlMode(mode)` leaves it (the RL-task control is created by
  /// the first NrtRLTask and kept), without the controller's part of the switch.
  void enterMode(velmora::MotionControlMode mode) {
    struct Access : velmora::OstraMaxRobot {
      static velmora::BaseRobot::Impl& of(velmora::BaseRobot& r) { return (r.*&Access::impl)(); }
    };
    auto& impl = Access::of(robot());
    if (mode == velmora::MotionControlMode::NrtRLTask && !impl.rlTaskControl) {
      impl.rlTaskControl = std::make_unique<velmora::internal::MotionControl<2>>(impl.service);
    }
    impl.motionControlMode = mode;
  }

  /// Writes `bytes` to `name` in the scratch folder (the working directory); returns the path.
  std::string write(const std::string& name, const std::string& bytes) {
    const auto path = std::filesystem::current_path() / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
};
