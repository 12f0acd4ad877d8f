#pragma once
// Roll-pitch-yaw angles to a unit quaternion, as the controller takes it beside the angles.

#include <array>

namespace velmora::internal {

/// The quaternion (w, x, y, z) of the rotation by rpy[0] about X, then rpy[1] about Y, then
/// rpy[2] about Z, all about the fixed axes (radians): qZ * qY * qX, not normalised again.
std::array<double, 4> eulerToQuaternion(const std::array<double, 3>& rpy) noexcept;

}  // namespace velmora::internal
