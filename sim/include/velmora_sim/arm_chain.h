#pragma once
// The kinematics of an arm model (arm_model.h): the forward chain of its table, and the inverse
// solved numerically, by damped least squares on the arm's pose space from the seed, then from
// the arm's home and a few spread starts, a solution counting only within the joint limits.
//
// Refusals, as the controller gives them:
//   -50002  move target unreachable: no joints put the flange there
//   -50034  the same for the 5-joint arm, whose pose space is smaller
//   -34     IK error (over limit): only joints outside the limits reach it
//   -50101  move joints unreachable: a joint target outside the limits
//   -50021  move conf-data unresolved: no solution within the limits stands in the configuration
//           asked for

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "velmora_sim/arm_kinematics.h"
#include "velmora_sim/arm_model.h"

namespace velmora_sim::arm {

inline constexpr int kTargetUnreachable = -50002;
inline constexpr int kFiveAxisUnreachable = -50034;
inline constexpr int kOverLimit = -34;
inline constexpr int kJointsUnreachable = -50101;
inline constexpr int kConfUnresolved = -50021;

using Transform = Eigen::Isometry3d;
/// Six rows (linear, then angular velocity of the flange) for each joint.
using Jacobian = Eigen::Matrix<double, 6, Eigen::Dynamic, 0, 6, 7>;

Transform transformOf(const Pose& pose);
/// x, y, z, rx, ry, rz of `t`; the elbow 0.
Pose poseOfFrame(const Transform& t);

class ArmChain final : public Kinematics {
 public:
  explicit ArmChain(const ArmModel& model);

  const ArmModel& model() const noexcept { return model_; }
  const std::vector<double>& lower() const noexcept { return lower_; }
  const std::vector<double>& upper() const noexcept { return upper_; }
  /// Narrows the limits to the soft limits (joints past `lower` and `upper` keep the arm's).
  void setSoftLimits(const std::vector<double>& lower, const std::vector<double>& upper);

  Pose forward(const Joints& joints) const override;
  int inverse(const Pose& pose, const Joints& seed, Joints& out) const override;
  int inverseIn(const Pose& pose, const Joints& seed, const Conf& conf, Joints& out) const override;
  int admits(const Joints& joints) const override;

  /// The pose's elbow angle of `joints`: the elbow joint's (0 without one).
  double elbowOf(const Joints& joints) const;
  /// The flange of `joints`, and with `jacobian` its Jacobian in the base's axes.
  Transform flange(const Joints& joints, Jacobian* jacobian = nullptr) const;

 private:
  bool within(const Joints& joints) const;
  /// Turns every turning joint by whole turns towards `near` and into the limits where it can.
  void unwind(Joints& joints, const Joints& near) const;

  ArmModel model_;
  std::vector<double> lower_;
  std::vector<double> upper_;
};

}  // namespace velmora_sim::arm
