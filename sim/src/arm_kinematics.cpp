#include "velmora_sim/arm_kinematics.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace velmora_sim::arm {

namespace {

Matrix3 multiply(const Matrix3& a, const Matrix3& b) {
  Matrix3 out{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      for (int k = 0; k < 3; ++k) out[3 * r + c] += a[3 * r + k] * b[3 * k + c];
    }
  }
  return out;
}

bool finiteTriple(const Json::Value& value, Vector3& out) {
  if (!value.isArray() || value.size() < 3) return false;
  for (Json::ArrayIndex i = 0; i < 3; ++i) {
    if (!value[i].isNumeric() || !std::isfinite(value[i].asDouble())) return false;
    out[i] = value[i].asDouble();
  }
  return true;
}

class Identity final : public Kinematics {
 public:
  Pose forward(const Joints& joints) const override { return poseOf(joints); }
  int inverse(const Pose& pose, const Joints& seed, Joints& out) const override {
    out = jointsOf(pose, seed);
    return 0;
  }
  int admits(const Joints&) const override { return 0; }
};

}  // namespace

const Kinematics& identityKinematics() {
  static const Identity identity;
  return identity;
}

Pose poseOf(const Joints& joints) {
  Pose pose{};
  for (std::size_t i = 0; i < kPoseSlots && i < joints.size(); ++i) pose[i] = joints[i];
  return pose;
}

Joints jointsOf(const Pose& pose, Joints joints) {
  for (std::size_t i = 0; i < kPoseSlots && i < joints.size(); ++i) joints[i] = pose[i];
  return joints;
}

Matrix3 rotationOf(double rx, double ry, double rz) {
  const double cx = std::cos(rx), sx = std::sin(rx);
  const double cy = std::cos(ry), sy = std::sin(ry);
  const double cz = std::cos(rz), sz = std::sin(rz);
  const Matrix3 x{1, 0, 0, 0, cx, -sx, 0, sx, cx};
  const Matrix3 y{cy, 0, sy, 0, 1, 0, -sy, 0, cy};
  const Matrix3 z{cz, -sz, 0, sz, cz, 0, 0, 0, 1};
  return multiply(z, multiply(y, x));
}

Vector3 anglesOf(const Matrix3& r) {
  const double ry = std::atan2(-r[6], std::hypot(r[0], r[3]));
  return {std::atan2(r[7], r[8]), ry, std::atan2(r[3], r[0])};
}

std::array<double, 16> matrixOf(const Pose& pose) {
  const Matrix3 r = rotationOf(pose[3], pose[4], pose[5]);
  return {r[0], r[1], r[2], pose[0], r[3], r[4], r[5], pose[1], r[6], r[7], r[8], pose[2], 0, 0, 0, 1};
}

std::optional<Pose> poseFromJson(const Json::Value& value) {
  Vector3 trans{};
  Vector3 rot{};
  if (!value.isObject() || !finiteTriple(value["trans"], trans) || !finiteTriple(value["rot"], rot)) {
    return std::nullopt;
  }
  const Json::Value& elbow = value["elb"];
  Pose pose{trans[0], trans[1], trans[2], rot[0], rot[1], rot[2], 0.0};
  if (elbow.isNumeric() && std::isfinite(elbow.asDouble())) pose[6] = elbow.asDouble();
  const Json::Value& offset = value["offset"];
  if (!offset.isObject()) return pose;
  Vector3 offsetTrans{};
  Vector3 offsetRot{};
  const std::string type = offset["type"].isString() ? offset["type"].asString() : "";
  if ((type != "offs" && type != "reltool") || !finiteTriple(offset["trans"], offsetTrans) ||
      !finiteTriple(offset["rot"], offsetRot)) {
    return pose;
  }
  const Matrix3 own = rotationOf(rot[0], rot[1], rot[2]);
  const Matrix3 turn = rotationOf(offsetRot[0], offsetRot[1], offsetRot[2]);
  const bool inTool = type == "reltool";
  const Vector3 moved = add(trans, inTool ? rotate(own, offsetTrans) : offsetTrans);
  const Vector3 angles = anglesOf(inTool ? multiply(own, turn) : multiply(turn, own));
  return Pose{moved[0], moved[1], moved[2], angles[0], angles[1], angles[2], pose[6]};
}

Vector3 add(const Vector3& a, const Vector3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vector3 sub(const Vector3& a, const Vector3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vector3 scale(const Vector3& a, double f) { return {a[0] * f, a[1] * f, a[2] * f}; }
Vector3 cross(const Vector3& a, const Vector3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vector3& a, const Vector3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double norm(const Vector3& a) { return std::sqrt(dot(a, a)); }
Vector3 rotate(const Matrix3& r, const Vector3& v) {
  return {r[0] * v[0] + r[1] * v[1] + r[2] * v[2], r[3] * v[0] + r[4] * v[1] + r[5] * v[2],
          r[6] * v[0] + r[7] * v[1] + r[8] * v[2]};
}

namespace {

// A configuration names the quarter turn each joint stands in.
constexpr double kQuarter = 3.141592653589793 / 2;

}  // namespace

Conf confOf(const Joints& joints) {
  Conf conf;
  conf.reserve(joints.size());
  for (const double q : joints) conf.push_back(static_cast<int>(std::floor(q / kQuarter)));
  return conf;
}

bool inConf(const Joints& joints, const Conf& conf) {
  // A hair of slack: a solution converged onto a quarter's edge (0, or a half turn of a flipped
  // wrist) stands in both quarters.
  constexpr double kEdge = 1e-9;
  for (std::size_t i = 0; i < joints.size() && i < conf.size(); ++i) {
    if (joints[i] < conf[i] * kQuarter - kEdge || joints[i] > (conf[i] + 1) * kQuarter + kEdge) return false;
  }
  return true;
}

Conf confFromJson(const Json::Value& pose) {
  Conf conf;
  const Json::Value& values = pose.isObject() ? pose["conf"] : Json::Value::nullSingleton();
  if (!values.isArray()) return conf;
  for (const Json::Value& value : values) {
    const double number = value.isNumeric() ? value.asDouble() : 0;
    // Far beyond any joint's turns: a value past an int names no quarter the arm can stand in.
    conf.push_back(std::isfinite(number) ? static_cast<int>(std::clamp(std::trunc(number), -1e6, 1e6)) : 1000000);
  }
  return conf;
}

}  // namespace velmora_sim::arm
