#include "velmora_sim/arm_model.h"

namespace velmora_sim::arm {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = kPi / 2;

std::vector<double> repeated(std::size_t n, double value) { return std::vector<double>(n, value); }

// Rows as a, alpha, d, theta (metres, radians).
//
// OstraLiteRobot: a small 5-joint collaborative arm, about 0.7 m of reach. A turning base with
// its shoulder 0.135 m up, an upper arm of 0.30 m and a forearm of 0.27 m side by side (0.11 m
// apart, so the links pass each other), one wrist joint 0.09 m out and the flange 0.08 m beyond
// it. Without a joint turning about the tool's own axis, that turn follows from the others.
//
// OstraRobot: the same build with a second wrist joint and longer links, about 0.9 m of reach:
// shoulder 0.16 m up, upper arm 0.425 m, forearm 0.39 m (0.13 m aside), wrist 0.10 m and flange
// 0.10 m.
//
// OstraMaxRobot: a 7-joint collaborative arm of alternating turning and bending joints, about
// 0.8 m of reach: shoulder 0.34 m up, upper arm 0.40 m, forearm 0.40 m, flange 0.126 m beyond
// the wrist. Its third joint turns the upper arm about itself and swings the elbow round the line
// from shoulder to wrist; that joint's angle is the pose's elbow angle.
//
// LynRobot: built as OstraMaxRobot and somewhat larger, about 1 m of reach: shoulder 0.36 m up,
// upper arm 0.45 m, forearm 0.42 m, flange 0.15 m.
//
// Sorn3Robot: a SCARA of three joints, about 0.45 m of reach: a column 0.30 m high, an inner arm
// of 0.25 m and an outer arm of 0.20 m turning about vertical axes, then a quill sliding up to
// 0.15 m down. It places a point; which way the flange faces follows from the arm's turns.
//
// Sorn4Robot: a SCARA with a turning quill, about 0.6 m of reach: a column 0.40 m high, arms of
// 0.325 m and 0.275 m, 0.20 m of stroke, and the quill turning the tool about the vertical.
//
// StandardRobot: a 6-joint industrial arm with a spherical wrist, about 1.4 m of reach: shoulder
// 0.45 m up and 0.15 m forward of the base axis, a lower arm of 0.61 m, the elbow 0.11 m above
// the forearm's axis, a forearm of 0.66 m to the wrist and the flange 0.10 m beyond it.

ArmModel sideBySideArm(const char* robotClass, const char* type, bool fiveJoints, double shoulder, double upper,
                       double fore, double aside, double wrist, double flange) {
  ArmModel arm{robotClass, type, true, PoseSpace::full, -1, {}, {}, {}, {}, {}};
  arm.rows = {{0, 0, shoulder, 0}, {0, kHalfPi, 0, 0}, {upper, 0, 0, 0}, {fore, 0, aside, 0}, {0, kHalfPi, wrist, 0}};
  if (fiveJoints) {
    arm.space = PoseSpace::toolAxis;
    arm.flange = {0, -kHalfPi, flange, 0};
    arm.home = {0, 0.6, -1.5, 0.9, 0.5};
  } else {
    arm.rows.push_back({0, -kHalfPi, flange, 0});
    arm.home = {0, 0.6, -1.5, 0.9, 0.5, 0};
  }
  arm.lower = repeated(arm.joints(), -2 * kPi);
  arm.upper = repeated(arm.joints(), 2 * kPi);
  // The elbow folds no further than its links allow.
  arm.lower[2] = -2.9;
  arm.upper[2] = 2.9;
  return arm;
}

ArmModel collaborativeSeven(const char* robotClass, const char* type, double shoulder, double upper, double fore,
                            double flange) {
  ArmModel arm{robotClass, type, true, PoseSpace::full, 2, {}, {}, {}, {}, {}};
  arm.rows = {{0, 0, shoulder, 0},    {0, -kHalfPi, 0, 0}, {0, kHalfPi, upper, 0}, {0, kHalfPi, 0, 0},
              {0, -kHalfPi, fore, 0}, {0, -kHalfPi, 0, 0}, {0, kHalfPi, flange, 0}};
  arm.upper = {2.967, 2.094, 2.967, 2.094, 2.967, 2.094, 3.054};
  for (const double limit : arm.upper) arm.lower.push_back(-limit);
  arm.home = {0, 0.5, 0, -1.3, 0, 0.9, 0};
  return arm;
}

ArmModel scara(const char* robotClass, const char* type, bool turningQuill, double column, double inner, double outer,
               double stroke) {
  ArmModel arm{robotClass, type, false, PoseSpace::position, -1, {}, {}, {}, {}, {}};
  arm.rows = {{0, 0, column, 0}, {inner, 0, 0, 0}, {outer, 0, 0, 0, true}};
  arm.lower = {-2.9, -2.6, -stroke};
  arm.upper = {2.9, 2.6, 0};
  arm.home = {0, 1.0, -stroke / 2};
  if (turningQuill) {
    arm.space = PoseSpace::heading;
    arm.rows.push_back({0, 0, 0, 0});
    arm.lower.push_back(-2 * kPi);
    arm.upper.push_back(2 * kPi);
    arm.home.push_back(0);
  }
  return arm;
}

ArmModel industrialSix() {
  ArmModel arm{"StandardRobot", "Sim-I6", false, PoseSpace::full, -1, {}, {}, {}, {}, {}};
  arm.rows = {{0, 0, 0.45, 0},    {0.15, -kHalfPi, 0, -kHalfPi}, {0.61, 0, 0, 0}, {0.11, -kHalfPi, 0.66, 0},
              {0, kHalfPi, 0, 0}, {0, -kHalfPi, 0.10, 0}};
  arm.lower = {-2.967, -2.0, -2.4, -3.2, -2.1, -6.1};
  arm.upper = {2.967, 1.2, 2.4, 3.2, 2.1, 6.1};
  arm.home = {0, -0.4, 0.6, 0, 0.8, 0};
  return arm;
}

}  // namespace

const std::vector<ArmModel>& arms() {
  static const std::vector<ArmModel> all = {
      sideBySideArm("OstraLiteRobot", "Sim-C5", true, 0.135, 0.30, 0.27, 0.11, 0.09, 0.08),
      sideBySideArm("OstraRobot", "Sim-C6", false, 0.16, 0.425, 0.39, 0.13, 0.10, 0.10),
      collaborativeSeven("OstraMaxRobot", "Sim-C7", 0.34, 0.40, 0.40, 0.126),
      collaborativeSeven("LynRobot", "Sim-L7", 0.36, 0.45, 0.42, 0.15),
      scara("Sorn3Robot", "Sim-S3", false, 0.30, 0.25, 0.20, 0.15),
      scara("Sorn4Robot", "Sim-S4", true, 0.40, 0.325, 0.275, 0.20),
      industrialSix(),
  };
  return all;
}

const ArmModel* findArm(const std::string& robotClass) {
  for (const ArmModel& arm : arms()) {
    if (robotClass == arm.robotClass) return &arm;
  }
  return nullptr;
}

}  // namespace velmora_sim::arm
