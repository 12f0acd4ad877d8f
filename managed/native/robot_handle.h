#pragma once
// The robot handle of the flat C interface: the native robot of one of the seven arm classes,
// its kinematics model, and the id that names the robot to the managed side (callback
// registries key on it, since a handle's address may be reused after it is freed). Every export
// group that works on a robot reaches it through the helpers here.

#include <velmora/robots.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <variant>

#include "native/abi_core.h"

namespace velmora::internal {

/// The most-derived native robot; every dispatch by kind is a visit of it.
using RobotObject =
    std::variant<Sorn3Robot*, Sorn4Robot*, StandardRobot*, OstraLiteRobot*, OstraRobot*, OstraMaxRobot*, LynRobot*>;

}  // namespace velmora::internal

struct vel_robot final : velmora::internal::LiveHandle {
  vel_robot() = default;
  vel_robot(const vel_robot&) = delete;
  vel_robot& operator=(const vel_robot&) = delete;
  /// The robot goes first: its destructor may still stop a moving arm on the link that the
  /// model shares.
  ~vel_robot() {
    robot.reset();
    model.reset();
  }

  std::int64_t id = 0;
  std::int32_t kind = 0;
  velmora::internal::RobotObject object;
  std::unique_ptr<velmora::BaseRobot> robot;
  std::unique_ptr<velmora::BaseModel> model;
};

namespace velmora::internal {

/// The arm class of a kind of the C interface (`VEL_ROBOT_*`), as a type for `withRobotClass`.
template <class Robot>
struct RobotClass {
  using type = Robot;
};

/// Calls `f(RobotClass<Robot>{})` with the arm class of `kind`; an unknown kind throws.
template <class F>
decltype(auto) withRobotClass(std::int32_t kind, F&& f) {
  switch (kind) {
    case VEL_ROBOT_SORN3:
      return f(RobotClass<Sorn3Robot>{});
    case VEL_ROBOT_SORN4:
      return f(RobotClass<Sorn4Robot>{});
    case VEL_ROBOT_STANDARD:
      return f(RobotClass<StandardRobot>{});
    case VEL_ROBOT_OSTRA_LITE:
      return f(RobotClass<OstraLiteRobot>{});
    case VEL_ROBOT_OSTRA:
      return f(RobotClass<OstraRobot>{});
    case VEL_ROBOT_OSTRA_MAX:
      return f(RobotClass<OstraMaxRobot>{});
    case VEL_ROBOT_LYN:
      return f(RobotClass<LynRobot>{});
    default:
      throw std::invalid_argument("unknown robot kind " + std::to_string(kind));
  }
}

/// The handle of a robot built, with the robot's model; the id is the caller's to give.
template <class Robot>
std::unique_ptr<vel_robot> robotHandle(std::int32_t kind, std::unique_ptr<Robot> robot) {
  // Should anything below throw, the robot is destroyed on the way out: nothing stays behind.
  auto model = std::make_unique<decltype(robot->model())>(robot->model());
  auto handle = std::make_unique<vel_robot>();
  handle->kind = kind;
  handle->object = robot.get();
  handle->robot = std::move(robot);
  handle->model = std::move(model);
  return handle;
}

/// A robot id never given before.
std::int64_t newRobotId() noexcept;

/// The robot seen as its `BaseRobot`; a null handle is refused.
inline BaseRobot& baseRobot(vel_robot* handle) { return *required(handle, "robot").robot; }

/// Calls `f` with the robot as its most-derived class, so that the members of `Robot_T<W,N>`
/// and `Cobot<N>` run on the instance of the robot's kind.
template <class F>
decltype(auto) visitRobot(vel_robot* handle, F&& f) {
  return std::visit([&](auto* robot) -> decltype(auto) { return f(*robot); }, required(handle, "robot").object);
}

/// Runs an operation that reports through an error code and crosses that code, success
/// included. The code starts as 0 of the system category: what the operation leaves there is
/// what crosses.
template <class Body>
void reportCode(vel_err* ec, Body&& body) {
  vel_err& out = required(ec, "ec");
  std::error_code code;
  body(code);
  out = toVelErr(code);
}

}  // namespace velmora::internal
