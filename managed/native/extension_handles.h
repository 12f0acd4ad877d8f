#pragma once
// Handles of the robot extensions that a managed object owns: force control, EtherCAT access
// and the upgrade client. Each owns exactly one native object; destroying the handle is the
// only release, so a second release cannot happen on this side.

#include <velmora/error.h>
#include <velmora/ethercat.h>
#include <velmora/force_control.h>
#include <velmora/upgrade.h>

#include <cstdint>
#include <memory>
#include <system_error>
#include <type_traits>
#include <variant>

#include "native/abi_core.h"
#include "native/robot_handle.h"

struct vel_forcecontrol final : velmora::internal::LiveHandle {
  std::variant<std::unique_ptr<velmora::ForceControl_T<5>>, std::unique_ptr<velmora::ForceControl_T<6>>,
               std::unique_ptr<velmora::ForceControl_T<7>>>
      object;
};

struct vel_ethercat final : velmora::internal::LiveHandle {
  std::unique_ptr<velmora::BaseEthercat> object;
};

struct vel_upgrade final : velmora::internal::LiveHandle {
  std::unique_ptr<velmora::BaseUpgrade> object;
};

namespace velmora::internal {

/// Calls `f` with the force control of the handle's joint count.
template <class F>
decltype(auto) visitForceControl(vel_forcecontrol* handle, F&& f) {
  return std::visit([&](auto& fc) -> decltype(auto) { return f(*fc); }, required(handle, "force control").object);
}

template <class Fc>
struct ForceControlJoints;
template <unsigned short N>
struct ForceControlJoints<ForceControl_T<N>> {
  static constexpr unsigned short value = N;
};

/// The joint count of a force control class (a reference to one too).
template <class Fc>
constexpr unsigned short forceControlJoints = ForceControlJoints<std::decay_t<Fc>>::value;

/// Runs an operation of the force control seen as its base class, crossing its code.
template <class Body>
void onBase(vel_forcecontrol* fc, vel_err* ec, Body&& body) {
  reportCode(ec,
             [&](std::error_code& code) { visitForceControl(fc, [&](BaseForceControl& base) { body(base, code); }); });
}

/// An operation of the force control's base class that reports only through its code.
template <class Operation>
std::int32_t forceControlCall(vel_forcecontrol* fc, vel_err* ec, Operation&& operation) noexcept {
  return abiCall([&] { onBase(fc, ec, operation); });
}

inline BaseEthercat& ethercatOf(vel_ethercat* handle) { return *required(handle, "ethercat").object; }

/// An operation of the EtherCAT object that reports only through its code.
template <class Operation>
std::int32_t ethercatCall(vel_ethercat* ethercat, vel_err* ec, Operation&& operation) noexcept {
  return abiCall([&] { reportCode(ec, [&](std::error_code& code) { operation(ethercatOf(ethercat), code); }); });
}
inline BaseUpgrade& upgradeOf(vel_upgrade* handle) { return *required(handle, "upgrade").object; }

/// Crosses a refusal made before anything was sent.
inline void refuse(vel_err* ec, int code) { required(ec, "ec") = toVelErr(makeErrorCode(code)); }

}  // namespace velmora::internal
