// Kinematics through the model that each robot handle holds, as the model of the arm's joint
// count.

#include <algorithm>
#include <array>
#include <type_traits>
#include <vector>

#include "native/abi_records.h"
#include "native/abi_values.h"
#include "native/extension_handles.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

template <class Model>
struct ModelJoints;
template <unsigned short N>
struct ModelJoints<Model_T<N>> {
  static constexpr unsigned short value = N;
};

/// Calls `f` with the robot's model as the model of its joint count.
template <class F>
void visitModel(vel_robot* robot, F&& f) {
  BaseModel& model = required(required(robot, "robot").model.get(), "model");
  visitRobot(robot, [&](auto& r) {
    using Model = decltype(r.model());
    f(static_cast<Model&>(model));
  });
}

/// The tool set argument: null means the operation without one.
const Toolset* toolsetArg(const double* values, Toolset& storage) {
  if (values == nullptr) return nullptr;
  storage = toolsetFromValues(values);
  return &storage;
}

}  // namespace

extern "C" {

int32_t vel_robot_calc_fk(vel_robot* robot, const double* joints, int32_t count, const double* toolset, vel_buf** pose,
                          vel_err* ec) noexcept {
  return abiCall([&] {
    required(pose, "pose");
    required(ec, "ec");
    Toolset storage;
    const Toolset* tool = toolsetArg(toolset, storage);
    visitModel(robot, [&](auto& model) {
      constexpr unsigned short N = ModelJoints<std::decay_t<decltype(model)>>::value;
      std::array<double, N> values{};
      if (!fixedArray(joints, count, values)) {
        refuse(ec, 259);
        return putBuffer(pose, encoded(CartesianPosition()));
      }
      reportCode(ec, [&](std::error_code& code) {
        putBuffer(pose, encoded(tool != nullptr ? model.calcFk(values, *tool, code) : model.calcFk(values, code)));
      });
    });
  });
}

int32_t vel_robot_calc_ik(vel_robot* robot, const uint8_t* posture, int64_t length, const double* toolset,
                          double* joints, int32_t* count, vel_err* ec) noexcept {
  return abiCall([&] {
    required(joints, "joints");
    int32_t& n = required(count, "count");
    const auto pose = decoded<CartesianPosition>(posture, length);
    Toolset storage;
    const Toolset* tool = toolsetArg(toolset, storage);
    visitModel(robot, [&](auto& model) {
      constexpr unsigned short N = ModelJoints<std::decay_t<decltype(model)>>::value;
      std::array<double, N> values{};
      reportCode(ec, [&](std::error_code& code) {
        values = tool != nullptr ? model.calcIk(pose, *tool, code) : model.calcIk(pose, code);
      });
      std::copy(values.begin(), values.end(), joints);
      n = N;
    });
  });
}

int32_t vel_robot_calc_all_ik(vel_robot* robot, const uint8_t* posture, int64_t length, vel_buf** solutions,
                              vel_err* ec) noexcept {
  return abiCall([&] {
    required(solutions, "solutions");
    const auto pose = decoded<CartesianPosition>(posture, length);
    BaseModel& model = required(required(robot, "robot").model.get(), "model");
    reportCode(ec, [&](std::error_code& code) {
      std::vector<std::vector<int>> confs;
      const std::vector<std::vector<double>> joints = model.calcAllIkSolutions(pose, confs, code);
      BlobWriter w;
      w.count(joints.size());
      for (const auto& solution : joints) encode(w, solution);
      w.count(confs.size());
      for (const auto& conf : confs) {
        w.count(conf.size());
        for (int value : conf) w.i32(value);
      }
      putBuffer(solutions, w.take());
    });
  });
}

}  // extern "C"
