// Extras of collaborative arms (drag teaching, collision detection, force sensor, keypad,
// real-time client, tool-end board) and the collision detection of the 6-axis industrial arm.

#include <array>
#include <stdexcept>
#include <type_traits>

#include "native/abi_values.h"
#include "native/operation_calls.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

/// Calls `f` with the robot as its `StandardRobot`; any other class is refused with
/// std::invalid_argument (the managed classes never ask for it).
template <class F>
void visitStandard(vel_robot* handle, F&& f) {
  visitRobot(handle, [&](auto& robot) {
    if constexpr (std::is_same_v<std::decay_t<decltype(robot)>, StandardRobot>) {
      f(robot);
    } else {
      throw std::invalid_argument("not a 6-axis industrial robot");
    }
  });
}

}  // namespace

extern "C" {

int32_t vel_standard_enable_collision_detection(vel_robot* robot, const double* sensitivity, int32_t count,
                                                double fallback, vel_err* ec) noexcept {
  return abiCall([&] {
    visitStandard(robot, [&](StandardRobot& r) {
      std::array<double, 6> given{};
      if (!fixedArray(sensitivity, count, given)) {
        refuseArgument(ec);
        return;
      }
      reportCode(ec, [&](std::error_code& code) { r.enableCollisionDetection(given, fallback, code); });
    });
  });
}

int32_t vel_standard_disable_collision_detection(vel_robot* robot, vel_err* ec) noexcept {
  return abiCall([&] {
    visitStandard(robot, [&](StandardRobot& r) {
      reportCode(ec, [&](std::error_code& code) { r.disableCollisionDetection(code); });
    });
  });
}

}  // extern "C"
