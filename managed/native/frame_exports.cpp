// Frames, tool sets, the project's tools and work objects, frame calibration, soft limits and the
// Denavit-Hartenberg parameters.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "native/abi_records.h"
#include "native/abi_values.h"
#include "native/operation_calls.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

WorkToolInfo workToolArg(const char* name, const char* alias, uint8_t robot_held, const double* pos,
                         const double* load) {
  WorkToolInfo info(textArg(name), robot_held != 0, frameFromValues(&required(pos, "pos")),
                    loadFromValues(&required(load, "load")));
  info.alias = textArg(alias);
  return info;
}

}  // namespace

extern "C" {

int32_t vel_robot_set_tool_info(vel_robot* robot, const char* name, const char* alias, uint8_t robot_held,
                                const double* pos, const double* load, vel_err* ec) noexcept {
  return abiCall([&] {
    const WorkToolInfo info = workToolArg(name, alias, robot_held, pos, load);
    reportCode(ec, [&](std::error_code& code) { baseRobot(robot).setToolInfo(info, code); });
  });
}

int32_t vel_robot_set_wobj_info(vel_robot* robot, const char* name, const char* alias, uint8_t robot_held,
                                const double* pos, const double* load, vel_err* ec) noexcept {
  return abiCall([&] {
    const WorkToolInfo info = workToolArg(name, alias, robot_held, pos, load);
    reportCode(ec, [&](std::error_code& code) { baseRobot(robot).setWobjInfo(info, code); });
  });
}

int32_t vel_robot_calibrate_frame(vel_robot* robot, int32_t type, const double* points, int32_t point_count,
                                  int32_t joints, uint8_t is_held, const double* base_aux, double* result,
                                  vel_err* ec) noexcept {
  return abiCall([&] {
    double* out = &required(result, "result");
    visitRobot(robot, [&](auto& r) {
      constexpr std::size_t n = jointsOf<std::decay_t<decltype(r)>>();
      if (joints < 0 || static_cast<std::size_t>(joints) != n) {
        refuseArgument(ec);
        return;
      }
      if (point_count < 0 || point_count > INT32_MAX / static_cast<std::int32_t>(n)) {
        throw std::invalid_argument("invalid point count");
      }
      const std::vector<double> flat = arrayArg(points, point_count * static_cast<std::int32_t>(n));
      std::vector<std::array<double, n>> positions(static_cast<std::size_t>(point_count));
      for (std::size_t p = 0; p < positions.size(); ++p) {
        for (std::size_t j = 0; j < n; ++j) positions[p][j] = flat[p * n + j];
      }
      // An all-zero auxiliary point is its natural default, so a missing one is zeros.
      std::array<double, 3> aux{};
      if (base_aux != nullptr) aux = {base_aux[0], base_aux[1], base_aux[2]};
      reportCode(ec, [&](std::error_code& code) {
        calibrationToValues(r.calibrateFrame(static_cast<FrameType>(type), positions, is_held != 0, code, aux), out);
      });
    });
  });
}

int32_t vel_robot_get_soft_limit(vel_robot* robot, uint8_t* enabled, vel_buf** limits, vel_err* ec) noexcept {
  return abiCall([&] {
    uint8_t& flag = required(enabled, "enabled");
    required(limits, "limits");
    visitRobot(robot, [&](auto& r) {
      constexpr std::size_t n = jointsOf<std::decay_t<decltype(r)>>();
      std::array<double[2], n> read{};
      reportCode(ec, [&](std::error_code& code) { flag = r.getSoftLimit(read, code) ? 1 : 0; });
      putBuffer(limits, doublesBlob(&read[0][0], 2 * n));
    });
  });
}

int32_t vel_robot_set_soft_limit(vel_robot* robot, uint8_t enable, const double* limits, int32_t rows,
                                 vel_err* ec) noexcept {
  return abiCall([&] {
    visitRobot(robot, [&](auto& r) {
      constexpr std::size_t n = jointsOf<std::decay_t<decltype(r)>>();
      // A joint left out would get 0 as both its limits, so fewer rows than joints send nothing.
      if (rows < 0 || static_cast<std::size_t>(rows) < n || limits == nullptr) {
        refuseArgument(ec);
        return;
      }
      std::array<double[2], n> written{};
      for (std::size_t j = 0; j < n; ++j) {
        written[j][0] = limits[2 * j];
        written[j][1] = limits[2 * j + 1];
      }
      reportCode(ec, [&](std::error_code& code) { r.setSoftLimit(enable != 0, code, written); });
    });
  });
}

}  // extern "C"
