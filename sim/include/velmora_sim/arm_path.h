#pragma once
// The way one motion command takes the simulated arm, read from the command's body as the
// motion keys carry it (one element of "path", or the whole body of a single command):
//
//   "move.j"       {"point": [joints..., external axes...], "traj"?}    joints interpolated
//   "move.jc"      {"point": pose, "traj"?}                              joints interpolated
//   "move.l"       {"point": pose, "traj"?}                              a straight line
//   "move.c"       {"point": pose, "aux": pose, "traj"?}                 the arc through "aux"
//   "move.cf"      as "move.c", "circle": {"angle": degrees}             that far round the
//                                                                        circle of the three
//                                                                        points
//   "move.sp"      {"point": pose, "spiral": {"radius": m, "step": m per turn, "angle": degrees,
//                  "dir": flag}, "traj"?}                                turns round the line to
//                                                                        "point"
//   "move.wait"    {"time": seconds}                                     stands still
//   "move.replay", or a body it cannot read                              ends at once
//
// Poses as arm_kinematics.h reads them; "traj" {"speed": m/s, "jnt_speed": rad/s, "rot_speed":
// rad/s, "zone": m}. A Cartesian path takes its length over "speed" (the default when absent)
// and no less than its largest angle change over "rot_speed" when given; the orientation and the
// elbow follow it evenly (a full circle keeps its start orientation). A joint path takes its
// largest joint change over "jnt_speed", else over "speed" read in radians per second.
//
// With an arm model's kinematics a Cartesian way is solved at `begin` into joints along it,
// close enough that the flange stays on the way between them, and turns the short way round; a
// target it cannot reach, or only past a joint limit, is refused there (`refusal`) and the way
// ends at once where it starts. Joint targets past the limits are refused likewise; a joint jog
// stops at the limit, a Cartesian jog the arm cannot make is refused.
//
// A line with a zone, followed in the queue by another line, rounds the corner between them
// (`roundCorner`, arm_blend.cpp): it hands over to the way round at the zone's distance (at most
// half of either line) before its target, and the next line goes on from as far past it.
//
// A jog, {"space", "rate", "step", "index", "direction"}: `step` (millimetres, or degrees for
// rotations and joints) along axis `index` (x, y, z, rx, ry, rz) at `rate` x 0.25 m/s (or rad/s);
// joint space (5) moves joint `index`, the flange (1) and tool (3) spaces move along the
// flange's own axes, every other space along the base's.

#include <json/value.h>

#include <optional>
#include <string>

#include "velmora_sim/arm_kinematics.h"

namespace velmora_sim::arm {

class Path {
 public:
  /// A path that ends at once where it starts.
  Path() = default;
  static Path command(const std::string& key, const Json::Value& body);
  static Path jog(const Json::Value& request);

  /// Fixes the way from `from` by `kinematics`; `defaultSpeed` (m/s) stands in for a missing
  /// speed. A way that leads to no finite place ends at once where it starts.
  void begin(const Joints& from, double defaultSpeed, const Kinematics& kinematics = identityKinematics());
  /// The controller's refusal of the way `begin` found (0: none).
  int refusal() const noexcept { return refusal_; }
  /// Forgets the way, so that the next `begin` starts again.
  void restart() noexcept { begun_ = false; }
  bool begun() const noexcept { return begun_; }
  /// Seconds at full speed (no speed override); 0 before `begin`.
  double duration() const noexcept { return duration_; }
  /// Whether the speed override shortens it (a wait does not).
  bool followsOverride() const noexcept { return kind_ != Kind::hold; }
  /// The joints at fraction `s` (0 to 1) of the way; the start before `begin`.
  Joints at(double s) const;
  /// When this begun line has a zone and `next`, not yet begun, is a line too: ends this line
  /// short of its target and returns the begun way round the corner onto `next` (a quadratic
  /// curve with the target as its middle control point), from where `next` begins. Nullopt, and
  /// this line unchanged, where there is no corner to round or the arm cannot take the curve.
  std::optional<Path> roundCorner(const Path& next, double defaultSpeed, const Kinematics& kinematics);
  /// The way round a corner, which reports nothing of its own.
  bool roundsCorner() const noexcept { return kind_ == Kind::blend; }

 private:
  enum class Kind { hold, joints, jointPose, line, arc, circle, spiral, jog, blend };

  Pose poseAt(double s) const;
  Vector3 placeAt(double s) const;
  void beginJog(const Kinematics& kinematics);
  void beginCartesian();
  /// Solves the Cartesian way into `solved_`; false, with `refusal_` set, where it breaks off.
  bool solve(const Kinematics& kinematics);
  double length() const;

  Kind kind_ = Kind::hold;
  // As read.
  Joints jointTarget_;
  Pose target_{};
  Pose aux_{};
  double wait_ = 0;
  double angle_ = 0;  // radians: of a full circle, of a spiral
  double radius_ = 0;
  double radiusStep_ = 0;
  bool direction_ = true;
  double speed_ = 0;  // 0: the default
  double jointSpeed_ = 0;
  double rotSpeed_ = 0;
  double zone_ = 0;
  int space_ = 0;
  unsigned index_ = 0;
  double jogStep_ = 0;
  // From `begin`.
  bool begun_ = false;
  Kind way_ = Kind::hold;
  Joints from_;
  Joints to_;
  Pose start_{};
  Pose end_{};
  Vector3 centre_{};
  Vector3 u_{};
  Vector3 v_{};
  double sweep_ = 0;
  double duration_ = 0;
  double kept_ = 1;  // the part of the way taken when it hands over to a way round a corner
  int refusal_ = 0;
  std::vector<Joints> solved_;  // joints at even steps along a Cartesian way; empty: identity
};

}  // namespace velmora_sim::arm
