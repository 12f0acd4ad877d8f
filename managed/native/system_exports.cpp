// System operations of a robot: power, modes, state, reboot, servo alarm, simulation, teach
// pendant, time, recovery, posture and the controller's log.

#include <set>
#include <string>

#include "native/abi_records.h"
#include "native/robot_handle.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

/// An operation without a result beyond its code.
template <class Operation>
std::int32_t operationForCode(vel_robot* robot, vel_err* ec, Operation&& operation) noexcept {
  return abiCall([&] { reportCode(ec, [&](std::error_code& code) { operation(baseRobot(robot), code); }); });
}

}  // namespace

extern "C" {

int32_t vel_robot_power_state(vel_robot* robot, int32_t* state, vel_err* ec) noexcept {
  return abiCall([&] {
    int32_t& out = required(state, "state");
    reportCode(ec, [&](std::error_code& code) { out = static_cast<int32_t>(baseRobot(robot).powerState(code)); });
  });
}

int32_t vel_robot_set_power_state(vel_robot* robot, uint8_t on, vel_err* ec) noexcept {
  return operationForCode(robot, ec, [&](BaseRobot& r, std::error_code& code) { r.setPowerState(on != 0, code); });
}

int32_t vel_robot_operate_mode(vel_robot* robot, int32_t* mode, vel_err* ec) noexcept {
  return abiCall([&] {
    int32_t& out = required(mode, "mode");
    reportCode(ec, [&](std::error_code& code) { out = static_cast<int32_t>(baseRobot(robot).operateMode(code)); });
  });
}

int32_t vel_robot_set_operate_mode(vel_robot* robot, int32_t mode, vel_err* ec) noexcept {
  return operationForCode(
      robot, ec, [&](BaseRobot& r, std::error_code& code) { r.setOperateMode(static_cast<OperateMode>(mode), code); });
}

int32_t vel_robot_operation_state(vel_robot* robot, int32_t* state, vel_err* ec) noexcept {
  return abiCall([&] {
    int32_t& out = required(state, "state");
    reportCode(ec, [&](std::error_code& code) { out = static_cast<int32_t>(baseRobot(robot).operationState(code)); });
  });
}

int32_t vel_robot_reboot_system(vel_robot* robot, vel_err* ec) noexcept {
  return operationForCode(robot, ec, [](BaseRobot& r, std::error_code& code) { r.rebootSystem(code); });
}

int32_t vel_robot_shutdown_system(vel_robot* robot, vel_err* ec) noexcept {
  return operationForCode(robot, ec, [](BaseRobot& r, std::error_code& code) { r.shutdownSystem(code); });
}

int32_t vel_robot_clear_servo_alarm(vel_robot* robot, vel_err* ec) noexcept {
  return operationForCode(robot, ec, [](BaseRobot& r, std::error_code& code) { r.clearServoAlarm(code); });
}

int32_t vel_robot_set_simulation_mode(vel_robot* robot, uint8_t on, vel_err* ec) noexcept {
  return operationForCode(robot, ec, [&](BaseRobot& r, std::error_code& code) { r.setSimulationMode(on != 0, code); });
}

int32_t vel_robot_set_teach_pendant_mode(vel_robot* robot, uint8_t enable, vel_err* ec) noexcept {
  return operationForCode(robot, ec,
                          [&](BaseRobot& r, std::error_code& code) { r.setTeachPendantMode(enable != 0, code); });
}

int32_t vel_robot_config_ntp(vel_robot* robot, const char* server_ip, vel_err* ec) noexcept {
  return operationForCode(robot, ec,
                          [&](BaseRobot& r, std::error_code& code) { r.configNtp(textArg(server_ip), code); });
}

int32_t vel_robot_sync_time_with_server(vel_robot* robot, vel_err* ec) noexcept {
  return operationForCode(robot, ec, [](BaseRobot& r, std::error_code& code) { r.syncTimeWithServer(code); });
}

int32_t vel_robot_recover_state(vel_robot* robot, int32_t item, vel_err* ec) noexcept {
  return operationForCode(robot, ec, [&](BaseRobot& r, std::error_code& code) { r.recoverState(item, code); });
}

int32_t vel_robot_posture(vel_robot* robot, int32_t coordinate, double* pose, vel_err* ec) noexcept {
  return abiCall([&] {
    double* out = &required(pose, "pose");
    reportCode(ec, [&](std::error_code& code) {
      const auto values = baseRobot(robot).posture(static_cast<CoordinateType>(coordinate), code);
      for (std::size_t i = 0; i < values.size(); ++i) out[i] = values[i];
    });
  });
}

int32_t vel_robot_query_controller_log(vel_robot* robot, uint32_t count, const int32_t* levels, int32_t level_count,
                                       uint32_t offset, vel_buf** logs, vel_err* ec) noexcept {
  return abiCall([&] {
    required(logs, "logs");
    if (level_count < 0 || (levels == nullptr && level_count != 0)) {
      throw std::invalid_argument("bad level list");
    }
    std::set<LogInfo::Level> wanted;
    for (int32_t i = 0; i < level_count; ++i) wanted.insert(static_cast<LogInfo::Level>(levels[i]));
    reportCode(ec, [&](std::error_code& code) {
      putBuffer(logs, encoded(baseRobot(robot).queryControllerLog(count, wanted, code, offset)));
    });
  });
}

}  // extern "C"
