#include "velmora_sim/arm_path.h"

#include <algorithm>
#include <cmath>

#include "velmora_sim/arm_chain.h"

namespace velmora_sim::arm {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kJogSpeed = 0.25;  // m/s or rad/s at rate 1
constexpr double kTurnSpeed = 0.5;  // rad/s of a Cartesian path that only turns, without "rot_speed"
constexpr double kLongest = 1e6;    // seconds: a longer way still ends, within the timer's range
constexpr int kSpiralSamples = 256;
// A Cartesian way is solved every 2 mm and 0.01 rad: joints interpolated between the solutions
// keep the flange within micrometres of the way. A way longer than the steps allow is solved
// more coarsely.
constexpr double kSolvedStep = 0.002;
constexpr double kSolvedTurn = 0.01;
constexpr int kMostSolved = 20000;
// Neighbouring solutions further apart than this took another branch of the arm: a singularity
// lies between them.
constexpr double kLargestJump = 0.35;
constexpr int kPassSingularity = -50115;

double positive(const Json::Value& value) {
  if (!value.isNumeric()) return 0;
  const double number = value.asDouble();
  return std::isfinite(number) && number > 0 ? number : 0;
}

double finiteOr(const Json::Value& value, double fallback) {
  return value.isNumeric() && std::isfinite(value.asDouble()) ? value.asDouble() : fallback;
}

Vector3 placeOf(const Pose& pose) { return {pose[0], pose[1], pose[2]}; }

Vector3 unit(const Vector3& v) { return scale(v, 1.0 / norm(v)); }

double mix(double a, double b, double s) { return a == b ? a : a * (1 - s) + b * s; }

}  // namespace

Path Path::command(const std::string& key, const Json::Value& body, bool confForced) {
  Path path;
  if (!body.isObject()) return path;
  if (key == "move.wait") {
    path.wait_ = std::min(positive(body["time"]), kLongest);
    return path;
  }
  const Json::Value& traj = body["traj"];
  if (traj.isObject()) {
    path.speed_ = positive(traj["speed"]);
    path.jointSpeed_ = positive(traj["jnt_speed"]);
    path.rotSpeed_ = positive(traj["rot_speed"]);
    // A zone of its own, even 0 (stop at the target), overrides the default one.
    if (traj["zone"].isNumeric()) path.zone_ = positive(traj["zone"]);
  }
  const Json::Value& point = body["point"];
  if (key == "move.j") {
    if (!point.isArray()) return Path();
    for (const Json::Value& joint : point) {
      if (!joint.isNumeric() || !std::isfinite(joint.asDouble())) return Path();
      path.jointTarget_.push_back(joint.asDouble());
    }
    path.kind_ = Kind::joints;
    return path;
  }
  const auto target = poseFromJson(point);
  const auto aux = poseFromJson(body["aux"]);
  if (!target) return Path();
  path.target_ = *target;
  path.conf_ = confFromJson(point);
  path.confForced_ = confForced;
  if (key == "move.jc") {
    path.kind_ = Kind::jointPose;
  } else if (key == "move.l") {
    path.kind_ = Kind::line;
  } else if ((key == "move.c" || key == "move.cf") && aux) {
    path.aux_ = *aux;
    path.kind_ = key == "move.c" ? Kind::arc : Kind::circle;
    const Json::Value& circle = body["circle"];
    path.angle_ = finiteOr(circle.isObject() ? circle["angle"] : Json::Value(), 360.0) * kPi / 180;
  } else if (key == "move.sp" && body["spiral"].isObject()) {
    const Json::Value& spiral = body["spiral"];
    path.kind_ = Kind::spiral;
    path.radius_ = finiteOr(spiral["radius"], 0);
    path.radiusStep_ = finiteOr(spiral["step"], 0);
    path.angle_ = finiteOr(spiral["angle"], 0) * kPi / 180;
    path.direction_ = !spiral["dir"].isBool() || spiral["dir"].asBool();
  } else {
    return Path();
  }
  return path;
}

Path Path::jog(const Json::Value& request) {
  Path path;
  if (!request.isObject()) return path;
  const double rate = positive(request["rate"]);
  const double step = positive(request["step"]);
  if (!request["space"].isInt() || !request["index"].isUInt() || !request["direction"].isBool() || rate == 0 ||
      step == 0) {
    return path;
  }
  path.kind_ = Kind::jog;
  path.space_ = request["space"].asInt();
  path.index_ = request["index"].asUInt();
  path.direction_ = request["direction"].asBool();
  path.jogStep_ = step;
  path.speed_ = path.jointSpeed_ = path.rotSpeed_ = rate * kJogSpeed;
  return path;
}

void Path::restart() noexcept {
  begun_ = false;
  joinedAt_.clear();
  skipped_ = 0;
}

void Path::begin(const Joints& from, double defaultSpeed, const Kinematics& kinematics) {
  begun_ = true;
  kept_ = 1;
  refusal_ = 0;
  solved_.clear();
  wraps_ = &kinematics != &identityKinematics();
  // Joined by a way round a corner, the way is the one from the corner, entered part way along.
  from_ = joinedAt_.empty() ? from : joinedAt_;
  to_ = from_;
  start_ = end_ = kinematics.forward(from_);
  way_ = Kind::hold;
  duration_ = kind_ == Kind::hold ? wait_ : 0;
  const double speed = speed_ > 0 ? speed_ : defaultSpeed;
  switch (kind_) {
    case Kind::hold:
      break;
    case Kind::joints:
      std::copy_n(jointTarget_.begin(), std::min(jointTarget_.size(), to_.size()), to_.begin());
      refusal_ = kinematics.admits(to_);
      way_ = Kind::joints;
      break;
    case Kind::jointPose:
      refusal_ = kinematics.inverseIn(target_, from_, conf_, to_);
      way_ = Kind::joints;
      break;
    case Kind::jog:
      beginJog(kinematics);
      break;
    case Kind::blend:
      beginBlend();
      break;
    default:
      end_ = target_;
      way_ = kind_;
      beginCartesian();
      break;
  }
  if (way_ == Kind::blend && !mixesPoses_) {
    // Duration set by `beginBlend`.
  } else if (way_ == Kind::joints) {
    double largest = 0;
    for (std::size_t i = 0; i < to_.size(); ++i) largest = std::max(largest, std::abs(to_[i] - from_[i]));
    duration_ = largest / (jointSpeed_ > 0 ? jointSpeed_ : speed);
  } else if (way_ != Kind::hold) {
    if (wraps_ && way_ != Kind::blend) {
      // An arm turns the short way round to the target's orientation.
      for (std::size_t i = 3; i < 6; ++i) end_[i] -= 2 * kPi * std::round((end_[i] - start_[i]) / (2 * kPi));
    }
    double turn = 0;
    for (std::size_t i = 3; i < kPoseSlots; ++i) turn = std::max(turn, std::abs(end_[i] - start_[i]));
    const double way = length();
    duration_ = way / speed;
    if (rotSpeed_ > 0) duration_ = std::max(duration_, turn / rotSpeed_);
    if (way == 0 && rotSpeed_ == 0) duration_ = turn / kTurnSpeed;
    if (wraps_ && solve(kinematics) && confForced_ && !inConf(solved_.back(), conf_)) refusal_ = kConfUnresolved;
  }
  if (refusal_ != 0) {
    way_ = Kind::hold;
    to_ = from_;
    duration_ = 0;
    solved_.clear();
  }
  const Joints last = at(1);
  const bool finite = std::all_of(last.begin(), last.end(), [](double q) { return std::isfinite(q); });
  if (!finite || !std::isfinite(duration_)) {
    way_ = Kind::hold;
    to_ = from_;
    duration_ = 0;
  }
  duration_ = std::min(duration_, kLongest) * (1 - skipped_);
}

void Path::beginJog(const Kinematics& kinematics) {
  const double sign = direction_ ? 1 : -1;
  if (space_ == 5) {
    if (index_ >= to_.size()) return;
    // A jog towards a limit stops at it: the longest part of the step the limits allow.
    const double delta = sign * jogStep_ * kPi / 180;
    auto fits = [&](double part) {
      Joints to = from_;
      to[index_] += part * delta;
      return kinematics.admits(to) == 0;
    };
    double low = 1;
    if (!fits(1)) {
      low = 0;
      double high = 1;
      for (int i = 0; i < 40; ++i) ((fits((low + high) / 2)) ? low : high) = (low + high) / 2;
    }
    to_[index_] += low * delta;
    way_ = Kind::joints;
    return;
  }
  if (index_ >= 6) return;
  if (index_ < 3) {
    Vector3 axis{};
    axis[index_] = 1;
    // The flange and tool spaces move along the flange's own axes.
    if (space_ == 1 || space_ == 3) axis = rotate(rotationOf(start_[3], start_[4], start_[5]), axis);
    const Vector3 place = add(placeOf(start_), scale(axis, sign * jogStep_ / 1000));
    std::copy(place.begin(), place.end(), end_.begin());
  } else {
    end_[index_] += sign * jogStep_ * kPi / 180;
  }
  way_ = Kind::line;
}

void Path::beginCartesian() {
  const Vector3 p0 = placeOf(start_);
  const Vector3 p2 = placeOf(target_);
  if (way_ == Kind::arc || way_ == Kind::circle) {
    const Vector3 a = sub(placeOf(aux_), p0);
    const Vector3 b = sub(p2, p0);
    const Vector3 n = cross(a, b);
    const double nn = dot(n, n);
    if (!(nn > 1e-18)) {
      // Three points on a line make no circle: the arm goes straight to the target.
      way_ = Kind::line;
      return;
    }
    centre_ = add(p0, scale(add(scale(cross(b, n), dot(a, a)), scale(cross(n, a), dot(b, b))), 0.5 / nn));
    u_ = sub(p0, centre_);
    v_ = cross(unit(n), u_);
    if (way_ == Kind::arc) {
      const Vector3 to = sub(p2, centre_);
      sweep_ = std::atan2(dot(to, v_), dot(to, u_));
      if (sweep_ < 0) sweep_ += 2 * kPi;
    } else {
      sweep_ = angle_;
      end_ = start_;
      const Vector3 place = placeAt(1);
      std::copy(place.begin(), place.end(), end_.begin());
    }
    return;
  }
  if (way_ == Kind::spiral) {
    const Vector3 w = sub(p2, p0);
    const Vector3 axis = norm(w) > 1e-12 ? unit(w) : Vector3{0, 0, 1};
    const Vector3 helper = std::abs(axis[2]) < 0.9 ? Vector3{0, 0, 1} : Vector3{1, 0, 0};
    u_ = unit(cross(axis, helper));
    v_ = cross(axis, u_);
    sweep_ = direction_ ? angle_ : -angle_;
  }
}

bool Path::solve(const Kinematics& kinematics) {
  double turn = 0;
  for (std::size_t i = 3; i < kPoseSlots; ++i) turn = std::max(turn, std::abs(end_[i] - start_[i]));
  const double steps = std::ceil(std::max(length() / kSolvedStep, turn / kSolvedTurn));
  const int count = static_cast<int>(std::clamp(steps, 1.0, double(kMostSolved)));
  solved_.assign(1, from_);
  solved_.reserve(static_cast<std::size_t>(count) + 1);
  for (int k = 1; k <= count; ++k) {
    Joints q;
    refusal_ = kinematics.inverse(poseAt(double(k) / count), solved_.back(), q);
    if (refusal_ == 0) {
      for (std::size_t i = 0; i < q.size(); ++i) {
        if (std::abs(q[i] - solved_.back()[i]) > kLargestJump) refusal_ = kPassSingularity;
      }
    }
    if (refusal_ != 0) return false;
    solved_.push_back(std::move(q));
  }
  return true;
}

double Path::length() const {
  switch (way_) {
    case Kind::line:
      return norm(sub(placeOf(end_), placeOf(start_)));
    case Kind::arc:
    case Kind::circle:
      return norm(u_) * std::abs(sweep_);
    case Kind::blend:
      return lengths_.empty() ? 0 : lengths_.back();
    case Kind::spiral: {
      double sum = 0;
      for (int i = 0; i < kSpiralSamples; ++i) {
        sum += norm(sub(placeAt(double(i + 1) / kSpiralSamples), placeAt(double(i) / kSpiralSamples)));
      }
      return sum;
    }
    default:
      return 0;
  }
}

Vector3 Path::placeAt(double s) const {
  const Vector3 p0 = placeOf(start_);
  const Vector3 p2 = placeOf(end_);
  const Vector3 straight{mix(p0[0], p2[0], s), mix(p0[1], p2[1], s), mix(p0[2], p2[2], s)};
  if (way_ == Kind::arc || way_ == Kind::circle) {
    const double theta = sweep_ * s;
    return add(centre_, add(scale(u_, std::cos(theta)), scale(v_, std::sin(theta))));
  }
  if (way_ != Kind::spiral) return straight;
  // Round the line from start to target, the radius growing by a step per turn; the ends are
  // pulled back onto the line so that the spiral starts and ends where it should.
  auto offset = [this](double at) {
    const double theta = sweep_ * at;
    const double r = radius_ + radiusStep_ * std::abs(theta) / (2 * kPi);
    return add(scale(u_, r * std::cos(theta)), scale(v_, r * std::sin(theta)));
  };
  return sub(add(straight, offset(s)), add(scale(offset(0), 1 - s), scale(offset(1), s)));
}

Pose Path::poseAt(double s) const {
  // A way round a corner is taken at an even speed along the tool's path.
  if (way_ == Kind::blend) return blendPose(lengths_.empty() ? s : evenly(s));
  if (s >= 1) return end_;
  Pose pose{};
  const Vector3 place = placeAt(s);
  std::copy(place.begin(), place.end(), pose.begin());
  for (std::size_t i = 3; i < kPoseSlots; ++i) pose[i] = mix(start_[i], end_[i], s);
  return pose;
}

Joints Path::at(double s) const {
  if (!begun_ || way_ == Kind::hold) return from_;
  return wayAt(skipped_ + std::clamp(s, 0.0, 1.0) * (kept_ - skipped_));
}

Joints Path::wayAt(double s) const {
  if (!solved_.empty()) {
    const double at = s * double(solved_.size() - 1);
    const std::size_t k = std::min(static_cast<std::size_t>(at), solved_.size() - 1);
    if (k + 1 >= solved_.size()) return solved_.back();
    Joints joints(solved_[k].size());
    for (std::size_t i = 0; i < joints.size(); ++i) joints[i] = mix(solved_[k][i], solved_[k + 1][i], at - double(k));
    return joints;
  }
  if (way_ == Kind::blend && !mixesPoses_) {
    // Joints weighed from the first way to the second, smoothly, so that neither is left with a
    // jump of speed.
    const double w = s * s * (3 - 2 * s);
    const Joints a = tail_->wayAt(blendFrom_ + s * (1 - blendFrom_));
    const Joints b = head_->wayAt(s * blendTo_);
    Joints joints(a.size());
    for (std::size_t i = 0; i < joints.size() && i < b.size(); ++i) joints[i] = mix(a[i], b[i], w);
    return joints;
  }
  if (way_ != Kind::joints) return jointsOf(poseAt(s), from_);
  Joints joints(from_.size());
  for (std::size_t i = 0; i < joints.size(); ++i) joints[i] = mix(from_[i], to_[i], s);
  return joints;
}

}  // namespace velmora_sim::arm
