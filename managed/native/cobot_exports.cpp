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

int32_t vel_cobot_enable_drag(vel_robot* robot, int32_t space, int32_t type, uint8_t drag_button,
                              vel_err* ec) noexcept {
  return cobotCall(robot, ec, [&](BaseCobot& c, std::error_code& code) {
    c.enableDrag(static_cast<DragParameter::Space>(space), static_cast<DragParameter::Type>(type), code,
                 drag_button != 0);
  });
}

int32_t vel_cobot_disable_drag(vel_robot* robot, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [](BaseCobot& c, std::error_code& code) { c.disableDrag(code); });
}

int32_t vel_cobot_enable_collision_detection(vel_robot* robot, const double* sensitivity, int32_t count,
                                             int32_t behaviour, double fallback_compliance, vel_err* ec) noexcept {
  return abiCall([&] {
    visitCobot(robot, [&](auto& c) {
      // A joint left out would be sent with sensitivity 0.
      std::array<double, jointsOf<std::decay_t<decltype(c)>>()> given{};
      if (!fixedArray(sensitivity, count, given)) {
        refuseArgument(ec);
        return;
      }
      reportCode(ec, [&](std::error_code& code) {
        c.enableCollisionDetection(given, static_cast<StopLevel>(behaviour), fallback_compliance, code);
      });
    });
  });
}

int32_t vel_cobot_disable_collision_detection(vel_robot* robot, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [](BaseCobot& c, std::error_code& code) { c.disableCollisionDetection(code); });
}

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

int32_t vel_cobot_calibrate_force_sensor(vel_robot* robot, uint8_t all_axes, int32_t axis_index, vel_err* ec) noexcept {
  return abiCall([&] {
    visitCobot(robot, [&](auto& c) {
      reportCode(ec, [&](std::error_code& code) { c.calibrateForceSensor(all_axes != 0, axis_index, code); });
    });
  });
}

int32_t vel_cobot_keypad_state(vel_robot* robot, uint8_t* keys, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [&](BaseCobot& c, std::error_code& code) {
    uint8_t* out = &required(keys, "keys");
    keypadToFlags(c.getKeypadState(code), out);
  });
}

int32_t vel_cobot_use_rci_client(vel_robot* robot, uint8_t use, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [&](BaseCobot& c, std::error_code& code) { c.useRciClient(use != 0, code); });
}

int32_t vel_cobot_set_flangebox_vout(vel_robot* robot, int32_t vout, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [&](BaseCobot& c, std::error_code& code) {
    c.setFlangeboxVout(static_cast<FlangeboxOpt::Vout>(vout), code);
  });
}

int32_t vel_cobot_set_flangebox_rs485(vel_robot* robot, int32_t vout, uint8_t rs485, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [&](BaseCobot& c, std::error_code& code) {
    c.setFlangeboxRS485(static_cast<FlangeboxOpt::Vout>(vout), rs485 != 0, code);
  });
}

}  // extern "C"
