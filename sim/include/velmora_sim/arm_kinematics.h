#pragma once
// The simulated arm's kinematics. A pose is x, y, z in metres; rx, ry, rz in radians, rotations
// about the fixed axes X, then Y, then Z; the elbow angle. Without an arm model the simulator
// uses the identity model's (model_identity.h), so that what the arm reports and what its
// kinematics requests answer agree exactly: joint i is slot i of the pose, slots past the joint
// count are 0. An arm model (arm_model.h) has a chain of its own (arm_chain.h).

#include <json/value.h>

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

namespace velmora_sim::arm {

inline constexpr std::size_t kPoseSlots = 7;
using Pose = std::array<double, kPoseSlots>;
using Joints = std::vector<double>;
using Vector3 = std::array<double, 3>;
using Matrix3 = std::array<double, 9>;  // row-major
using Conf = std::vector<int>;

/// Turns joints into the flange pose and back, for one arm. Shared between threads: const.
class Kinematics {
 public:
  virtual ~Kinematics() = default;
  virtual Pose forward(const Joints& joints) const = 0;
  /// The joints that put the flange at `pose`, searched from `seed` (the arm's joints now, or a
  /// request's): 0 with `out` set, else the controller's refusal code ("move target
  /// unreachable", "IK error (over limit)", ...).
  virtual int inverse(const Pose& pose, const Joints& seed, Joints& out) const = 0;
  /// As `inverse`, the solution in the configuration `conf` (see `confOf`; empty: any). The
  /// identity model has one solution and takes no configuration.
  virtual int inverseIn(const Pose& pose, const Joints& seed, const Conf& conf, Joints& out) const {
    (void)conf;
    return inverse(pose, seed, out);
  }
  /// 0 when `joints` are within the arm's limits, else the refusal of a joint target.
  virtual int admits(const Joints& joints) const = 0;
};

/// The configuration of `joints`: the quarter turn each joint stands in, floor(q / (pi / 2)), as
/// the forward request reports it. A configuration names one of the solutions for a pose.
Conf confOf(const Joints& joints);
/// Whether `joints` stand in `conf` (entries past the joints, the wire's padding, aside).
bool inConf(const Joints& joints, const Conf& conf);
/// A pose's configuration as the wire carries it: "conf", an array of numbers, each truncated
/// towards zero; empty without one.
Conf confFromJson(const Json::Value& pose);

/// The identity model's kinematics, for any joint count; it refuses nothing.
const Kinematics& identityKinematics();

/// The flange pose of `joints` by the identity model.
Pose poseOf(const Joints& joints);
/// `joints` with its first slots (up to 7) taken from `pose`; the rest stay.
Joints jointsOf(const Pose& pose, Joints joints);

/// The rotation of rx, ry, rz and back (the angles of a matrix: ry in -pi/2..pi/2).
Matrix3 rotationOf(double rx, double ry, double rz);
Vector3 anglesOf(const Matrix3& rotation);
/// The pose as a row-major homogeneous 4x4 matrix.
std::array<double, 16> matrixOf(const Pose& pose);

/// A pose of the wire, {"trans": [3], "rot": [3], "elb"?, "offset"?}, with its offset applied:
/// "offs" moves and turns it in the base's axes, "reltool" in its own. Nullopt when it is not
/// such an object of finite numbers.
std::optional<Pose> poseFromJson(const Json::Value& value);

Vector3 add(const Vector3& a, const Vector3& b);
Vector3 sub(const Vector3& a, const Vector3& b);
Vector3 scale(const Vector3& a, double factor);
Vector3 cross(const Vector3& a, const Vector3& b);
double dot(const Vector3& a, const Vector3& b);
double norm(const Vector3& a);
Vector3 rotate(const Matrix3& rotation, const Vector3& v);

}  // namespace velmora_sim::arm
