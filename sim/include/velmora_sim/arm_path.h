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
// rad/s, "zone": m (without it, the default zone)}. A Cartesian path takes its length over
// "speed" (the default when absent) and no less than its largest angle change over "rot_speed"
// when given; the orientation and the elbow follow it evenly (a full circle keeps its start
// orientation). A joint path takes its largest joint change over "jnt_speed", else over "speed"
// read in radians per second.
//
// With an arm model's kinematics a Cartesian way is solved at `begin` into joints along it,
// close enough that the tool's end stays on the way between them, and turns the short way round; a
// target it cannot reach, or only past a joint limit, is refused there (`refusal`) and the way
// ends at once where it starts. Joint targets past the limits are refused likewise; a joint jog
// stops at the limit, a Cartesian jog the arm cannot make is refused.
//
// A move with a zone (its own, else the default zone) rounds the corner onto the next queued
// move instead of stopping at its target (`roundCorner`, arm_blend.cpp): it hands over to the way
// round at the zone's distance (at most half of either way, measured along the tool's path)
// before its target, and the next move goes on from as far past it. The way round mixes the
// two ways, weighed from the first to the second: two Cartesian ways (lines, arcs, circles,
// spirals) mix their poses, which keeps the tool within the zone of the corner, and any way with
// a joint move mixes joints. A wait, a jog, a move that halts the queue or a way refused at the
// corner is not rounded: the arm stops there.
//
// A target's "conf" (arm_kinematics.h: the quarter turn of each joint) chooses the solution a
// "move.jc" goes to, refused with -50021 where no solution stands in it; a line, arc, circle or
// spiral goes on from the joints it starts at, so its target's configuration is only checked
// at its end, and only while the controller is told to force it.
//
// A jog, {"space", "rate", "step", "index", "direction"}: `step` (millimetres, or degrees for
// rotations and joints) along axis `index` (x, y, z, rx, ry, rz) at `rate` x 0.25 m/s (or rad/s);
// joint space (5) moves joint `index`, the flange (1) and tool (3) spaces along the axes of the
// pose the jog begins by (the flange's, the tool's end's), every other space along the axes that
// pose is given in (the base's, the work object's). ArmState jogs the tool and work-object
// spaces by the tool's end in the work object, the others by the flange in the base.

#include <json/value.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "velmora_sim/arm_kinematics.h"

namespace velmora_sim::arm {

class Path {
 public:
  /// A path that ends at once where it starts.
  Path() = default;
  /// `confForced` ("move.default_conf"): a Cartesian way must end in the configuration its
  /// target gives (below).
  static Path command(const std::string& key, const Json::Value& body, bool confForced = false);
  static Path jog(const Json::Value& request);

  /// Fixes the way from `from` by `kinematics`; `defaultSpeed` (m/s) stands in for a missing
  /// speed. A way that leads to no finite place ends at once where it starts.
  void begin(const Joints& from, double defaultSpeed, const Kinematics& kinematics = identityKinematics());
  /// The controller's refusal of the way `begin` found (0: none).
  int refusal() const noexcept { return refusal_; }
  /// Forgets the way, and where a way round a corner joined it, so that the next `begin` starts
  /// again from where it is told.
  void restart() noexcept;
  bool begun() const noexcept { return begun_; }
  /// Seconds at full speed (no speed override); 0 before `begin`.
  double duration() const noexcept { return duration_; }
  /// Whether the speed override shortens it (a wait does not).
  bool followsOverride() const noexcept { return kind_ != Kind::hold; }
  /// The joints at fraction `s` (0 to 1) of the way; the start before `begin`.
  Joints at(double s) const;
  /// When this begun way has a zone (`defaultZone` without its own) and `next`, not yet begun,
  /// can be joined: ends this way short of its target and returns the begun way round the corner
  /// onto `next`, which then begins where the way round leaves it. Nullopt, and this way
  /// unchanged, where there is no corner to round or the arm cannot take the way round.
  std::optional<Path> roundCorner(Path& next, double defaultSpeed, double defaultZone, const Kinematics& kinematics);
  /// The way round a corner, which reports nothing of its own.
  bool roundsCorner() const noexcept { return kind_ == Kind::blend; }

 private:
  enum class Kind { hold, joints, jointPose, line, arc, circle, spiral, jog, blend };

  /// The pose and the joints at fraction `u` of the whole way, whatever part of it is taken.
  Pose poseAt(double u) const;
  Joints wayAt(double u) const;
  Vector3 placeAt(double u) const;
  void beginJog(const Kinematics& kinematics);
  void beginCartesian();
  void beginBlend();
  /// Solves the Cartesian way into `solved_`; false, with `refusal_` set, where it breaks off.
  bool solve(const Kinematics& kinematics);
  double length() const;
  bool cartesian() const noexcept;
  /// The tool's path length from the way's start at even fractions (arm_blend.cpp).
  std::vector<double> lengthsAlong(const Kinematics& kinematics) const;
  Pose blendPose(double v) const;
  /// The fraction of a way round a corner that lies `s` of its length along.
  double evenly(double s) const;

  Kind kind_ = Kind::hold;
  // As read.
  Joints jointTarget_;
  Pose target_{};
  Conf conf_;
  bool confForced_ = false;
  Pose aux_{};
  double wait_ = 0;
  double angle_ = 0;  // radians: of a full circle, of a spiral
  double radius_ = 0;
  double radiusStep_ = 0;
  bool direction_ = true;
  double speed_ = 0;  // 0: the default
  double jointSpeed_ = 0;
  double rotSpeed_ = 0;
  double zone_ = -1;  // negative: the default zone
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
  double kept_ = 1;     // the part of the way taken when it hands over to a way round a corner
  double skipped_ = 0;  // the part of it a way round the corner before it took instead
  Joints joinedAt_;     // where the way starts when a way round a corner joins it; empty: none
  bool wraps_ = false;  // angles turn the short way round (an arm model, not the identity)
  // A way round a corner: the first way from `blendFrom_` to its end, mixed into the second
  // from its start to `blendTo_`; `lengths_` the tool's path along it, for an even speed.
  std::shared_ptr<const Path> tail_;
  std::shared_ptr<const Path> head_;
  double blendFrom_ = 1;
  double blendTo_ = 0;
  bool mixesPoses_ = false;
  std::vector<double> lengths_;
  int refusal_ = 0;
  std::vector<Joints> solved_;  // joints at even steps along a Cartesian way; empty: identity
};

}  // namespace velmora_sim::arm
