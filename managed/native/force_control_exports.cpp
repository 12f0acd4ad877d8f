// Force control: the handle over a collaborative arm's force control of its joint count, and
// its operations that are not generated from managed/abi/operations.toml (there, operations of
// one shape share an export with a selector, VEL_FC_* in velmora_c.h).

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "native/abi_values.h"
#include "native/extension_handles.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

template <class R, class = void>
struct HasForceControl : std::false_type {};
template <class R>
struct HasForceControl<R, std::void_t<decltype(std::declval<R&>().forceControl())>> : std::true_type {};

}  // namespace

extern "C" {

int32_t vel_cobot_force_control(vel_robot* robot, vel_forcecontrol** fc) noexcept {
  return abiCall([&] {
    vel_forcecontrol*& out = required(fc, "fc");
    auto handle = std::make_unique<vel_forcecontrol>();
    visitRobot(robot, [&](auto& r) {
      using Robot = std::decay_t<decltype(r)>;
      if constexpr (HasForceControl<Robot>::value) {
        using Fc = decltype(r.forceControl());
        handle->object = std::make_unique<Fc>(r.forceControl());
      } else {
        throw std::invalid_argument("this robot class has no force control");
      }
    });
    out = handle.release();
  });
}

int32_t vel_forcecontrol_destroy(vel_forcecontrol* fc) noexcept {
  return abiCall([&] { delete fc; });
}

int32_t vel_forcecontrol_joints(vel_forcecontrol* fc, int32_t* joints) noexcept {
  return abiCall([&] {
    required(joints, "joints") =
        visitForceControl(fc, [](auto& f) -> int32_t { return forceControlJoints<decltype(f)>; });
  });
}

int32_t vel_forcecontrol_set_pose_box_condition(vel_forcecontrol* fc, const double* frame, const double* box,
                                                int32_t count, uint8_t inside, double timeout_s, vel_err* ec) noexcept {
  return abiCall([&] {
    const Frame supervising = frameFromValues(&required(frame, "frame"));
    std::array<double, 6> array{};
    if (!fixedArray(box, count, array)) return refuse(ec, 259);
    onBase(fc, ec, [&](BaseForceControl& base, std::error_code& code) {
      base.setPoseBoxCondition(supervising, array, inside != 0, timeout_s, code);
    });
  });
}

int32_t vel_forcecontrol_end_torque(vel_forcecontrol* fc, int32_t ref_type, double* joint, double* external,
                                    double* cart_torque, double* cart_force, int32_t* joints, vel_err* ec) noexcept {
  return abiCall([&] {
    required(joint, "joint");
    required(external, "external");
    required(cart_torque, "cart_torque");
    required(cart_force, "cart_force");
    int32_t& n = required(joints, "joints");
    visitForceControl(fc, [&](auto& f) {
      constexpr unsigned short N = forceControlJoints<decltype(f)>;
      std::array<double, N> measured{};
      std::array<double, N> externalTorque{};
      std::array<double, 3> torque{};
      std::array<double, 3> force{};
      reportCode(ec, [&](std::error_code& code) {
        f.getEndTorque(static_cast<FrameType>(ref_type), measured, externalTorque, torque, force, code);
      });
      std::copy(measured.begin(), measured.end(), joint);
      std::copy(externalTorque.begin(), externalTorque.end(), external);
      std::copy(torque.begin(), torque.end(), cart_torque);
      std::copy(force.begin(), force.end(), cart_force);
      n = N;
    });
  });
}

}  // extern "C"
