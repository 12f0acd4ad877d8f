#include <algorithm>
#include <cmath>
#include <functional>

#include "velmora_sim/arm_path.h"

namespace velmora_sim::arm {

namespace {

constexpr double kPi = 3.141592653589793;
// A zone or a way shorter than this leaves no corner worth rounding: the arm stops there.
constexpr double kShortest = 1e-5;
// The tool's path is measured at this many even steps of a way: enough that a zone's distance
// along it is found within a small part of the zone.
constexpr int kMeasured = 256;

Vector3 placeOf(const Pose& pose) { return {pose[0], pose[1], pose[2]}; }

double mix(double a, double b, double w) { return a == b ? a : a * (1 - w) + b * w; }

// The path length from the start to each of the even steps of `place` (a fraction 0 to 1).
std::vector<double> measured(const std::function<Vector3(double)>& place) {
  std::vector<double> lengths;
  lengths.reserve(kMeasured + 1);
  lengths.push_back(0);
  Vector3 last = place(0);
  for (int k = 1; k <= kMeasured; ++k) {
    const Vector3 p = place(double(k) / kMeasured);
    lengths.push_back(lengths.back() + norm(sub(p, last)));
    last = p;
  }
  return lengths;
}

// The fraction at which the path `lengths` measures has come `length` along.
double fractionAt(const std::vector<double>& lengths, double length) {
  const double total = lengths.back();
  if (!(total > 0)) return std::clamp(length, 0.0, 1.0);
  const auto above = std::lower_bound(lengths.begin(), lengths.end(), std::clamp(length, 0.0, total));
  if (above == lengths.begin()) return 0;
  const auto k = above - lengths.begin();
  const double a = *(above - 1);
  const double step = *above - a;
  const double part = step > 0 ? (std::clamp(length, 0.0, total) - a) / step : 1;
  return (double(k - 1) + part) / kMeasured;
}

}  // namespace

bool Path::cartesian() const noexcept {
  switch (way_) {
    case Kind::line:
    case Kind::arc:
    case Kind::circle:
    case Kind::spiral:
      return true;
    case Kind::blend:
      return mixesPoses_;
    default:
      return false;
  }
}

std::vector<double> Path::lengthsAlong(const Kinematics& kinematics) const {
  if (cartesian()) return measured([this](double u) { return placeOf(poseAt(u)); });
  return measured([this, &kinematics](double u) { return placeOf(kinematics.forward(wayAt(u))); });
}

std::optional<Path> Path::roundCorner(Path& next, double defaultSpeed, double defaultZone,
                                      const Kinematics& kinematics) {
  // Moves the arm takes in one sweep: waits stand still and jogs are no queued moves.
  auto joins = [](Kind kind) { return kind != Kind::hold && kind != Kind::jog && kind != Kind::blend; };
  // A corner rounded before (the arm placed or jogged since) is forgotten.
  if (!next.begun_) next.restart();
  const double zone = zone_ >= 0 ? zone_ : defaultZone;
  if (!begun_ || kept_ < 1 || next.begun_ || !(zone > 0) || !joins(way_) || !joins(next.kind_)) return std::nullopt;

  // The next way as it goes on from the corner.
  const Joints corner = wayAt(1);
  Path head = next;
  head.begin(corner, defaultSpeed, kinematics);
  if (head.refusal_ != 0 || !joins(head.way_)) return std::nullopt;
  const std::vector<double> before = lengthsAlong(kinematics);
  const std::vector<double> after = head.lengthsAlong(kinematics);
  // The way round leaves and joins the ways no further than half way along either, so that a
  // following corner keeps room for its own zone.
  const double distance = std::min({zone, before.back() * (1 - skipped_) / 2, after.back() / 2});
  if (!(distance > kShortest)) return std::nullopt;
  const double kept = fractionAt(before, before.back() - distance);
  const double into = fractionAt(after, distance);
  if (!(kept > skipped_ && into > 0)) return std::nullopt;

  Path curve;
  curve.kind_ = Kind::blend;
  curve.mixesPoses_ = cartesian() && head.cartesian();
  curve.tail_ = std::make_shared<const Path>(*this);
  curve.head_ = std::make_shared<const Path>(std::move(head));
  curve.blendFrom_ = kept;
  curve.blendTo_ = into;
  curve.speed_ = speed_;
  curve.rotSpeed_ = rotSpeed_;
  curve.begin(wayAt(kept), defaultSpeed, kinematics);
  if (curve.refusal_ != 0 || curve.way_ != Kind::blend) return std::nullopt;
  duration_ *= (kept - skipped_) / (1 - skipped_);
  kept_ = kept;
  next.joinedAt_ = corner;
  next.skipped_ = into;
  return curve;
}

void Path::beginBlend() {
  if (!tail_ || !head_) return;
  way_ = Kind::blend;
  if (!mixesPoses_) {
    // Mixed joints leave the tool near the corner but off both ways; it takes as long as the
    // two stretches it stands for.
    to_ = wayAt(1);
    duration_ = tail_->duration_ * (1 - blendFrom_) / (1 - tail_->skipped_) + head_->duration_ * blendTo_;
    return;
  }
  lengths_ = measured([this](double v) { return placeOf(blendPose(v)); });
  start_ = poseAt(0);
  end_ = poseAt(1);
}

Pose Path::blendPose(double v) const {
  v = std::clamp(v, 0.0, 1.0);
  // Weighed smoothly from the first way to the second: each point a mix of a point of either
  // way within the zone's distance of the corner, so within the zone of it too.
  const double w = v * v * (3 - 2 * v);
  const Pose a = tail_->poseAt(blendFrom_ + v * (1 - blendFrom_));
  Pose b = head_->poseAt(v * blendTo_);
  Pose pose{};
  for (std::size_t i = 0; i < kPoseSlots; ++i) {
    if (wraps_ && i >= 3 && i < 6) b[i] -= 2 * kPi * std::round((b[i] - a[i]) / (2 * kPi));
    pose[i] = mix(a[i], b[i], w);
  }
  return pose;
}

double Path::evenly(double s) const { return fractionAt(lengths_, std::clamp(s, 0.0, 1.0) * lengths_.back()); }

}  // namespace velmora_sim::arm
