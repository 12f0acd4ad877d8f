#include <algorithm>
#include <cmath>

#include "velmora_sim/arm_path.h"

namespace velmora_sim::arm {

namespace {

constexpr double kPi = 3.141592653589793;
// A zone or a line shorter than this leaves no corner worth rounding: the arm stops there.
constexpr double kShortest = 1e-5;

Vector3 placeOf(const Pose& pose) { return {pose[0], pose[1], pose[2]}; }

}  // namespace

std::optional<Path> Path::roundCorner(const Path& next, double defaultSpeed, const Kinematics& kinematics) {
  if (!begun_ || way_ != Kind::line || kept_ < 1 || zone_ <= 0 || next.kind_ != Kind::line || next.begun_) {
    return std::nullopt;
  }
  const Vector3 corner = placeOf(end_);
  const double before = norm(sub(corner, placeOf(start_)));
  const double after = norm(sub(placeOf(next.target_), corner));
  // The curve leaves and joins the lines no further than half way along either, so that a
  // following corner keeps room for its own zone.
  const double distance = std::min({zone_, before / 2, after / 2});
  if (!(distance > kShortest)) return std::nullopt;

  // Where the next line would be at that distance, turning the same way round as it will.
  const double into = distance / after;
  Pose entry = next.target_;
  for (std::size_t i = 3; i < kPoseSlots; ++i) {
    if (i < 6 && &kinematics != &identityKinematics()) {
      entry[i] -= 2 * kPi * std::round((entry[i] - end_[i]) / (2 * kPi));
    }
  }
  for (std::size_t i = 0; i < kPoseSlots; ++i) entry[i] = end_[i] + (entry[i] - end_[i]) * into;

  Path curve;
  curve.kind_ = Kind::blend;
  curve.target_ = entry;
  curve.aux_ = end_;
  curve.speed_ = speed_;
  curve.rotSpeed_ = rotSpeed_;
  const double kept = 1 - distance / before;
  curve.begin(at(kept), defaultSpeed, kinematics);
  if (curve.refusal_ != 0 || curve.way_ != Kind::blend) return std::nullopt;
  kept_ = kept;
  duration_ *= kept;
  return curve;
}

}  // namespace velmora_sim::arm
