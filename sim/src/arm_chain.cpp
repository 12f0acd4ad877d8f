#include "velmora_sim/arm_chain.h"

#include <algorithm>
#include <cmath>

namespace velmora_sim::arm {

namespace {

constexpr double kTurn = 2 * 3.141592653589793;

Transform rowStep(const DhRow& row, double joint) {
  Transform t = Transform::Identity();
  t.rotate(Eigen::AngleAxisd(row.alpha, Eigen::Vector3d::UnitX()));
  t.translate(Eigen::Vector3d(row.a, 0, 0));
  t.rotate(Eigen::AngleAxisd(row.theta + (row.sliding ? 0 : joint), Eigen::Vector3d::UnitZ()));
  t.translate(Eigen::Vector3d(0, 0, row.d + (row.sliding ? joint : 0)));
  return t;
}

}  // namespace

Transform transformOf(const Pose& pose) {
  Transform t = Transform::Identity();
  t.translate(Eigen::Vector3d(pose[0], pose[1], pose[2]));
  t.rotate(Eigen::AngleAxisd(pose[5], Eigen::Vector3d::UnitZ()) * Eigen::AngleAxisd(pose[4], Eigen::Vector3d::UnitY()) *
           Eigen::AngleAxisd(pose[3], Eigen::Vector3d::UnitX()));
  return t;
}

Pose poseOfFrame(const Transform& t) {
  const Eigen::Matrix3d r = t.linear();
  const Matrix3 rows{r(0, 0), r(0, 1), r(0, 2), r(1, 0), r(1, 1), r(1, 2), r(2, 0), r(2, 1), r(2, 2)};
  const Vector3 angles = anglesOf(rows);
  const Eigen::Vector3d p = t.translation();
  return {p.x(), p.y(), p.z(), angles[0], angles[1], angles[2], 0};
}

ArmChain::ArmChain(const ArmModel& model) : model_(model), lower_(model.lower), upper_(model.upper) {}

void ArmChain::setSoftLimits(const std::vector<double>& lower, const std::vector<double>& upper) {
  lower_ = model_.lower;
  upper_ = model_.upper;
  for (std::size_t i = 0; i < lower_.size() && i < lower.size() && i < upper.size(); ++i) {
    lower_[i] = std::max(lower_[i], lower[i]);
    upper_[i] = std::min(upper_[i], upper[i]);
  }
}

Transform ArmChain::flange(const Joints& joints, Jacobian* jacobian) const {
  const std::size_t n = model_.joints();
  Transform t = Transform::Identity();
  Eigen::Matrix<double, 3, 7> axes;
  Eigen::Matrix<double, 3, 7> origins;
  for (std::size_t i = 0; i < n; ++i) {
    const double q = i < joints.size() ? joints[i] : 0.0;
    // The joint turns about (or slides along) the z axis of its frame before its own turn.
    Transform before = t;
    const DhRow& row = model_.rows[i];
    before.rotate(Eigen::AngleAxisd(row.alpha, Eigen::Vector3d::UnitX()));
    before.translate(Eigen::Vector3d(row.a, 0, 0));
    axes.col(static_cast<Eigen::Index>(i)) = before.linear().col(2);
    origins.col(static_cast<Eigen::Index>(i)) = before.translation();
    t = t * rowStep(row, q);
  }
  t = t * rowStep(model_.flange, 0);
  if (jacobian) {
    jacobian->resize(6, static_cast<Eigen::Index>(n));
    for (std::size_t i = 0; i < n; ++i) {
      const auto c = static_cast<Eigen::Index>(i);
      const Eigen::Vector3d z = axes.col(c);
      if (model_.rows[i].sliding) {
        jacobian->col(c) << z, Eigen::Vector3d::Zero();
      } else {
        jacobian->col(c) << z.cross(t.translation() - origins.col(c)), z;
      }
    }
  }
  return t;
}

Pose ArmChain::forward(const Joints& joints) const {
  Pose pose = poseOfFrame(flange(joints));
  pose[6] = elbowOf(joints);
  return pose;
}

double ArmChain::elbowOf(const Joints& joints) const {
  const int elbow = model_.elbowJoint;
  return elbow >= 0 && static_cast<std::size_t>(elbow) < joints.size() ? joints[static_cast<std::size_t>(elbow)] : 0.0;
}

bool ArmChain::within(const Joints& joints) const {
  for (std::size_t i = 0; i < lower_.size(); ++i) {
    const double q = i < joints.size() ? joints[i] : 0.0;
    // A hair of slack: a solution converged onto a limit is on it.
    if (!(q >= lower_[i] - 1e-9 && q <= upper_[i] + 1e-9)) return false;
  }
  return true;
}

int ArmChain::admits(const Joints& joints) const {
  if (joints.size() < model_.joints()) return kJointsUnreachable;
  return within(joints) ? 0 : kJointsUnreachable;
}

void ArmChain::unwind(Joints& joints, const Joints& near) const {
  for (std::size_t i = 0; i < joints.size() && i < model_.joints(); ++i) {
    if (model_.rows[i].sliding) continue;
    const double target = i < near.size() ? near[i] : 0.0;
    joints[i] -= kTurn * std::round((joints[i] - target) / kTurn);
    while (joints[i] > upper_[i] && joints[i] - kTurn >= lower_[i]) joints[i] -= kTurn;
    while (joints[i] < lower_[i] && joints[i] + kTurn <= upper_[i]) joints[i] += kTurn;
  }
}

}  // namespace velmora_sim::arm
