#pragma once
// The arms the simulator can be: one per robot class a program connects with, each with its
// joint count, its kind (collaborative or industrial), its Denavit-Hartenberg table, its joint
// limits and the joints it stands at when switched on.
//
// The tables are in the modified convention, one row per joint: the frame of joint i is the
// frame before it turned about its x axis by `alpha`, moved along that x by `a`, turned about
// the new z by `theta` plus the joint's angle and moved along that z by `d` (plus the joint's
// travel, for a sliding joint). The flange sits `flange` beyond the last joint's frame (the
// same steps without a joint). "cfg.get" answers the rows as a, alpha, d, theta per joint.
//
// What an arm with fewer than six joints can reach (its pose space) is smaller than a pose:
//   full      x, y, z and the whole orientation (6 joints; 7 with the third joint held at the
//             pose's elbow angle, which is that joint's angle)
//   toolAxis  x, y, z and the direction of the flange's z axis (5 joints); the turn about that
//             axis follows from the joints
//   heading   x, y, z and the turn about the base's z axis (a SCARA of 4 joints)
//   position  x, y, z (a SCARA of 3 joints); the orientation follows from the joints
// A pose is reachable when joints within the limits put the flange there in its pose space.

#include <array>
#include <string>
#include <vector>

namespace velmora_sim::arm {

struct DhRow {
  double a = 0;
  double alpha = 0;
  double d = 0;
  double theta = 0;
  bool sliding = false;  ///< the joint moves along z (metres) instead of turning about it
};

enum class PoseSpace { full, toolAxis, heading, position };

struct ArmModel {
  const char* robotClass;  ///< the library's class that connects to it ("OstraRobot", ...)
  const char* type;        ///< "sys.info"'s "type"
  bool collaborative;
  PoseSpace space;
  /// The joint whose angle is the pose's elbow angle and which the inverse leaves at it; -1
  /// for none.
  int elbowJoint;
  std::vector<DhRow> rows;
  DhRow flange;
  std::vector<double> lower;  ///< joint limits: radians, metres for a sliding joint
  std::vector<double> upper;
  std::vector<double> home;  ///< where it stands when the simulator starts

  std::size_t joints() const noexcept { return rows.size(); }
};

/// Every arm, in the order `--help` lists them.
const std::vector<ArmModel>& arms();
/// The arm a robot class connects to; nullptr for an unknown name.
const ArmModel* findArm(const std::string& robotClass);

}  // namespace velmora_sim::arm
