// `ForceControl_T<N>`: the operations with one value per joint, and the measured end torque.
// The joint count only sizes the arrays; the work is done once in the internal functions.

#include <json/value.h>
#include <velmora/error.h>
#include <velmora/force_control.h>

#include <algorithm>
#include <string>

#include "common/globals.h"
#include "force_control/force_control_impl.h"
#include "network/xservice/xservice.h"

namespace velmora {
namespace internal {
namespace {

/// The first `count` values of an array of numbers; false (and `out` untouched) for anything
/// else, null included.
bool readNumbers(const Json::Value& value, double* out, std::size_t count) noexcept {
  if (!value.isArray() || value.size() < count) return false;
  for (Json::ArrayIndex i = 0; i < count; ++i) {
    if (!value[i].isNumeric()) return false;
  }
  for (Json::ArrayIndex i = 0; i < count; ++i) out[i] = value[i].asDouble();
  return true;
}

bool fail(std::error_code& ec, int code) noexcept {
  ec = makeErrorCode(code);
  return false;
}

}  // namespace

const char* endTorqueKey(FrameType type) noexcept {
  switch (type) {
    case FrameType::world:
      return "eci.fc.end_torque.ref_world";
    case FrameType::flange:
      return "eci.fc.end_torque.ref_flange";
    case FrameType::tool:
      return "eci.fc.end_torque.ref_tcp";
    default:
      return nullptr;
  }
}

bool readEndTorque(const Json::Value& reply, double* joint, double* external, std::size_t count,
                   std::array<double, 3>& cartTorque, std::array<double, 3>& cartForce,
                   std::error_code& ec) noexcept {
  // A bare 0 carries none of the values asked for: the caller's arrays would keep old values
  // under a success code.
  if (takeIntegerReply(reply, ec, 261)) return false;
  if (!reply.isObject() && !reply.isNull()) return fail(ec, kUnreadableReplyCode);
  // Indexing null or an object by name never throws; the kinds are checked before each read.
  if (!readNumbers(reply["joint"], joint, count)) return fail(ec, 261);
  if (!readNumbers(reply["external"], external, count)) return fail(ec, 261);
  const Json::Value& cart = reply["cart"];
  if (!cart.isObject() && !cart.isNull()) return fail(ec, kUnreadableReplyCode);
  if (!readNumbers(cart["force"], cartForce.data(), cartForce.size())) return fail(ec, 261);
  if (!readNumbers(cart["torque"], cartTorque.data(), cartTorque.size())) return fail(ec, 261);
  return true;
}

void getFcEndTorque(BaseForceControl::Impl* fc, FrameType type, double* joint,
                    double* external, std::size_t count, std::array<double, 3>& cartTorque,
                    std::array<double, 3>& cartForce, std::error_code& ec) noexcept {
  runFcOperation(fc, ec, [&](const BaseForceControl::Impl& f) {
    const char* key = endTorqueKey(type);
    if (key == nullptr) {
      ec = makeErrorCode(259);
      return;
    }
    Json::Value reply;
    f.link->getValue(key, Json::Value(), reply, ec);
    if (!ec) readEndTorque(reply, joint, external, count, cartTorque, cartForce, ec);
  });
}

}  // namespace internal

template <unsigned short N>
ForceControl_T<N>::ForceControl_T(std::shared_ptr<internal::XService> link)
    : BaseForceControl(std::move(link)) {}

template <unsigned short N>
ForceControl_T<N>::~ForceControl_T() = default;

template <unsigned short N>
void ForceControl_T<N>::setJointStiffness(const std::array<double, N>& stiffness,
                                          std::error_code& ec) noexcept {
  internal::setFcValues(impl(), "joint_stiff", "setJointStiffness", stiffness.data(), N, ec);
}

template <unsigned short N>
void ForceControl_T<N>::setJointDesiredTorque(const std::array<double, N>& torque,
                                              std::error_code& ec) noexcept {
  internal::setFcValues(impl(), "joint_trq", "setJointDesiredTorque", torque.data(), N, ec);
}

template <unsigned short N>
void ForceControl_T<N>::getEndTorque(FrameType ref_type,
                                     std::array<double, N>& joint_torque_measured,
                                     std::array<double, N>& external_torque_measured,
                                     std::array<double, 3>& cart_torque,
                                     std::array<double, 3>& cart_force,
                                     std::error_code& ec) noexcept {
  internal::getFcEndTorque(impl(), ref_type, joint_torque_measured.data(),
                           external_torque_measured.data(), N, cart_torque, cart_force, ec);
}

template <unsigned short N>
void ForceControl_T<N>::setJointMaxVel(const std::array<double, N>& velocity,
                                       std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::jointMaxVel, velocity.data(), N, ec);
}

template <unsigned short N>
void ForceControl_T<N>::setJointMaxMomentum(const std::array<double, N>& momentum,
                                            std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::jointMaxMomentum, momentum.data(), N, ec);
}

template <unsigned short N>
void ForceControl_T<N>::setJointMaxEnergy(const std::array<double, N>& energy,
                                          std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::jointMaxEnergy, energy.data(), N, ec);
}

template <unsigned short N>
void ForceControl_T<N>::setJointControlMaxVel(const std::array<double, N>& max_joint_vel,
                                              std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::jointControlMaxVel, max_joint_vel.data(), N,
                       ec);
}

template <unsigned short N>
void ForceControl_T<N>::setJointControlMaxTorque(const std::array<double, N>& max_torque,
                                                 std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::jointControlMaxTorque, max_torque.data(), N,
                       ec);
}

template <unsigned short N>
void ForceControl_T<N>::setFcGain(const std::array<double, N>& gain, std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::gain, gain.data(), N, ec);
}

template <unsigned short N>
void ForceControl_T<N>::setFriction(const std::array<double, N>& fric,
                                    std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::friction, fric.data(), N, ec);
}

template class ForceControl_T<5>;
template class ForceControl_T<6>;
template class ForceControl_T<7>;

}  // namespace velmora
