// Non-real-time motion of a robot: command lists, motion settings, jogging, online adjustment,
// path checks, singularity avoidance and posture interpolation.

#include <velmora/base_robot.h>
#include <velmora/error.h>
#include <velmora/robots.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "native/abi_records.h"
#include "native/abi_values.h"
#include "native/move_records.h"
#include "native/robot_handle.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

// "argument invalid": what was asked cannot run, and nothing was sent.
std::error_code argumentInvalid() { return makeErrorCode(259); }

// Calls `f` with the decoded list of the type's command class; false for a type without one.
template <class F>
bool withMoves(std::int32_t type, const std::uint8_t* data, std::int64_t size, F&& f) {
  switch (type) {
    case VEL_MOVE_L:
      f(decodedMoves<MoveLCommand>(data, size));
      return true;
    case VEL_MOVE_J:
      f(decodedMoves<MoveJCommand>(data, size));
      return true;
    case VEL_MOVE_ABSJ:
      f(decodedMoves<MoveAbsJCommand>(data, size));
      return true;
    case VEL_MOVE_C:
      f(decodedMoves<MoveCCommand>(data, size));
      return true;
    case VEL_MOVE_CF:
      f(decodedMoves<MoveCFCommand>(data, size));
      return true;
    case VEL_MOVE_SP:
      f(decodedMoves<MoveSPCommand>(data, size));
      return true;
    default:
      return false;
  }
}

std::vector<CartesianPosition> posesOf(const std::uint8_t* data, std::int64_t size) {
  return decoded<std::vector<CartesianPosition>>(data, size);
}

// Both arm classes with singularity avoidance; another class is a caller's fault, since the
// managed classes offer it on these two only.
template <class F>
void onAvoidingRobot(vel_robot* robot, F&& f) {
  visitRobot(robot, [&](auto& r) {
    using R = std::decay_t<decltype(r)>;
    if constexpr (std::is_same_v<R, StandardRobot> || std::is_same_v<R, OstraRobot>) {
      f(r);
    } else {
      throw std::invalid_argument("this robot class has no singularity avoidance");
    }
  });
}

}  // namespace

extern "C" {

int32_t vel_robot_execute_command(vel_robot* robot, int32_t type, const uint8_t* commands, int64_t length,
                                  vel_err* ec) noexcept {
  return abiCall([&] {
    BaseRobot& r = baseRobot(robot);
    reportCode(ec, [&](std::error_code& code) {
      // A wait or an unknown type runs nothing: success would be a lie.
      if (!withMoves(type, commands, length, [&](const auto& list) { r.executeCommand(list, code); })) {
        code = argumentInvalid();
      }
    });
  });
}

int32_t vel_robot_move_append(vel_robot* robot, int32_t type, const uint8_t* commands, int64_t length,
                              const char* cmd_id, vel_buf** cmd_id_out, vel_err* ec) noexcept {
  return abiCall([&] {
    BaseRobot& r = baseRobot(robot);
    required(cmd_id_out, "cmd_id_out");
    std::string id = textArg(cmd_id);
    reportCode(ec, [&](std::error_code& code) {
      if (!withMoves(type, commands, length, [&](const auto& list) { r.moveAppend(list, id, code); })) {
        code = argumentInvalid();
      }
    });
    putBuffer(cmd_id_out, std::move(id));
  });
}

int32_t vel_robot_move_append_wait(vel_robot* robot, int32_t ms, const char* cmd_id, vel_buf** cmd_id_out,
                                   vel_err* ec) noexcept {
  return abiCall([&] {
    BaseRobot& r = baseRobot(robot);
    required(cmd_id_out, "cmd_id_out");
    std::string id = textArg(cmd_id);
    reportCode(ec, [&](std::error_code& code) {
      if (ms < 0) {
        code = argumentInvalid();
        return;
      }
      r.moveAppend(MoveWaitCommand(std::chrono::milliseconds(ms)), id, code);
    });
    putBuffer(cmd_id_out, std::move(id));
  });
}

int32_t vel_robot_get_acceleration(vel_robot* robot, double* acc, double* jerk, vel_err* ec) noexcept {
  return abiCall([&] {
    double& accOut = required(acc, "acc");
    double& jerkOut = required(jerk, "jerk");
    double a = 0.0;
    double j = 0.0;
    reportCode(ec, [&](std::error_code& code) { baseRobot(robot).getAcceleration(a, j, code); });
    accOut = a;
    jerkOut = j;
  });
}

int32_t vel_robot_check_path_line(vel_robot* robot, const uint8_t* poses, int64_t length, const double* start_joint,
                                  int32_t joint_count, vel_buf** joints, vel_err* ec) noexcept {
  return abiCall([&] {
    required(joints, "joints");
    const std::vector<CartesianPosition> points = posesOf(poses, length);
    if (points.size() != 2) throw std::invalid_argument("a line check takes a start and a target");
    const std::vector<double> start = valuesOf(start_joint, joint_count);
    std::vector<double> result;
    reportCode(ec,
               [&](std::error_code& code) { result = baseRobot(robot).checkPath(points[0], start, points[1], code); });
    putBuffer(joints, encoded(result));
  });
}

int32_t vel_robot_check_path_circle(vel_robot* robot, const uint8_t* poses, int64_t length, const double* start_joint,
                                    int32_t joint_count, double angle, int32_t rot_type, vel_buf** joints,
                                    vel_err* ec) noexcept {
  return abiCall([&] {
    required(joints, "joints");
    const std::vector<CartesianPosition> points = posesOf(poses, length);
    if (points.size() != 3)
      throw std::invalid_argument("a circle check takes a start, an auxiliary point and a target");
    const std::vector<double> start = valuesOf(start_joint, joint_count);
    std::vector<double> result;
    reportCode(ec, [&](std::error_code& code) {
      result = baseRobot(robot).checkPath(points[0], start, points[1], points[2], code, angle,
                                          static_cast<MoveCFCommand::RotType>(rot_type));
    });
    putBuffer(joints, encoded(result));
  });
}

int32_t vel_robot_check_path_points(vel_robot* robot, const double* start_joint, int32_t joint_count,
                                    const uint8_t* poses, int64_t length, vel_buf** joints, int32_t* result,
                                    vel_err* ec) noexcept {
  return abiCall([&] {
    required(joints, "joints");
    int32_t& resultOut = required(result, "result");
    const std::vector<CartesianPosition> points = posesOf(poses, length);
    const std::vector<double> start = valuesOf(start_joint, joint_count);
    std::vector<double> computed;
    int index = 0;
    reportCode(ec, [&](std::error_code& code) { index = baseRobot(robot).checkPath(start, points, computed, code); });
    putBuffer(joints, encoded(computed));
    resultOut = index;
  });
}

int32_t vel_robot_set_avoid_singularity(vel_robot* robot, int32_t method, uint8_t enable, double limit,
                                        vel_err* ec) noexcept {
  return abiCall([&] {
    onAvoidingRobot(robot, [&](auto& r) {
      reportCode(ec, [&](std::error_code& code) {
        r.setAvoidSingularity(static_cast<AvoidSingularityMethod>(method), enable != 0, limit, code);
      });
    });
  });
}

int32_t vel_robot_get_avoid_singularity(vel_robot* robot, int32_t method, uint8_t* enabled, vel_err* ec) noexcept {
  return abiCall([&] {
    uint8_t& out = required(enabled, "enabled");
    onAvoidingRobot(robot, [&](auto& r) {
      bool on = false;
      reportCode(ec, [&](std::error_code& code) {
        on = r.getAvoidSingularity(static_cast<AvoidSingularityMethod>(method), code);
      });
      out = on ? 1 : 0;
    });
  });
}

int32_t vel_robot_enable_complete_posture_lerp(vel_robot* robot, uint8_t enable, vel_err* ec) noexcept {
  return abiCall([&] {
    visitRobot(robot, [&](auto& r) {
      using R = std::decay_t<decltype(r)>;
      if constexpr (std::is_same_v<R, OstraLiteRobot>) {
        reportCode(ec, [&](std::error_code& code) { r.enableCompletePostureLerp(enable != 0, code); });
      } else {
        throw std::invalid_argument("this robot class has no complete posture interpolation");
      }
    });
  });
}

}  // extern "C"
