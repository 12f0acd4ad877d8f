#include "common/value_checks.h"

#include <algorithm>
#include <cmath>

namespace velmora::internal {
namespace {

template <typename Range>
bool allZero(const Range& values) noexcept {
  return std::all_of(values.begin(), values.end(), [](double v) { return v == 0.0; });
}

bool commandFinite(const NrtCommand& command) noexcept { return allFinite(command.speed, command.zone); }

}  // namespace

bool isMatrixOnly(const Frame& frame) noexcept {
  return allZero(frame.trans) && allZero(frame.rpy) && !allZero(frame.pos);
}

bool isMatrixOnly(const CartesianPosition& pose) noexcept { return isMatrixOnly(static_cast<const Frame&>(pose)); }

bool allFinite(double value) noexcept { return std::isfinite(value); }

bool allFinite(const std::vector<double>& values) noexcept {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

bool allFinite(const Frame& frame) noexcept { return allFinite(frame.trans, frame.rpy, frame.pos); }

bool allFinite(const CartesianPosition& pose) noexcept {
  return allFinite(static_cast<const Frame&>(pose), pose.elbow, pose.external);
}

bool allFinite(const CartesianPosition::Offset& offset) noexcept { return allFinite(offset.frame); }

bool allFinite(const JointPosition& joints) noexcept { return allFinite(joints.joints, joints.external); }

bool allFinite(const Load& load) noexcept { return allFinite(load.mass, load.cog, load.inertia); }

bool allFinite(const Toolset& toolset) noexcept { return allFinite(toolset.load, toolset.end, toolset.ref); }

bool allFinite(const MoveAbsJCommand& command) noexcept {
  return commandFinite(command) && allFinite(command.target, command.jointSpeed);
}

bool allFinite(const MoveJCommand& command) noexcept {
  return commandFinite(command) && allFinite(command.target, command.targetOffset, command.jointSpeed);
}

bool allFinite(const MoveLCommand& command) noexcept {
  return commandFinite(command) && allFinite(command.target, command.targetOffset, command.rotSpeed);
}

bool allFinite(const MoveCCommand& command) noexcept {
  return commandFinite(command) &&
         allFinite(command.target, command.targetOffset, command.aux, command.auxOffset, command.rotSpeed);
}

bool allFinite(const MoveCFCommand& command) noexcept {
  return allFinite(static_cast<const MoveCCommand&>(command)) && allFinite(command.angle);
}

bool allFinite(const MoveSPCommand& command) noexcept {
  return commandFinite(command) && allFinite(command.target, command.targetOffset, command.radius, command.radiusStep,
                                             command.angle, command.rotSpeed);
}

bool allFinite(const MoveWaitCommand& command) noexcept { return commandFinite(command); }

bool fitsArm(const std::vector<double>& jointValues, std::size_t joints) noexcept {
  return joints == 0 || jointValues.size() <= joints + kMaxExternalAxes;
}

bool fitsArm(const JointPosition& position, std::size_t joints) noexcept {
  // One array on the wire: the joints, then the external axes.
  return joints == 0 || position.joints.size() + position.external.size() <= joints + kMaxExternalAxes;
}

bool fitsArm(const CartesianPosition& pose, std::size_t) noexcept { return pose.external.size() <= kMaxExternalAxes; }

bool fitsArm(const MoveAbsJCommand& command, std::size_t joints) noexcept { return fitsArm(command.target, joints); }

bool fitsArm(const MoveJCommand& command, std::size_t joints) noexcept { return fitsArm(command.target, joints); }

bool fitsArm(const MoveLCommand& command, std::size_t joints) noexcept { return fitsArm(command.target, joints); }

bool fitsArm(const MoveCCommand& command, std::size_t joints) noexcept {
  return fitsArm(command.target, joints) && fitsArm(command.aux, joints);
}

bool fitsArm(const MoveSPCommand& command, std::size_t joints) noexcept { return fitsArm(command.target, joints); }

}  // namespace velmora::internal
