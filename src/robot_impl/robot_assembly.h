#pragma once
// Robots whose links are built with other options than the controller's defaults, which every
// public constructor uses. Inside the library only.

#include <velmora/base_robot.h>

#include <memory>
#include <type_traits>

#include "network/xservice/link_options.h"
#include "robot_impl/robot_impl.h"

namespace velmora::internal {

struct RobotAssembly {
  /// An unconnected `Robot` whose links take `options`.
  template <typename Robot>
  static std::unique_ptr<Robot> build(const LinkOptions& options) {
    static_assert(std::is_base_of_v<BaseRobot, Robot>);
    auto robot = std::make_unique<Robot>();
    // Swapped before anything used the default one: nothing holds it yet.
    static_cast<BaseRobot&>(*robot).impl_ = std::make_unique<BaseRobot::Impl>(options);
    return robot;
  }
};

}  // namespace velmora::internal
