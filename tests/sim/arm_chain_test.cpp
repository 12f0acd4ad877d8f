// The arm models' kinematics against properties every arm must have: the inverse undoes the
// forward over the whole workspace, the base axis turns the flange about the vertical, and
// targets out of reach or past a limit are refused with the controller's codes.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ostream>
#include <random>
#include <string>

#include "velmora_sim/arm_chain.h"

namespace velmora_sim::arm {
// Tests name the arm, not its bytes.
inline void PrintTo(const ArmModel& arm, std::ostream* out) { *out << arm.robotClass; }
}  // namespace velmora_sim::arm

namespace {

using velmora_sim::arm::ArmChain;
using velmora_sim::arm::ArmModel;
using velmora_sim::arm::Joints;
using velmora_sim::arm::Pose;
using velmora_sim::arm::PoseSpace;

constexpr double kPi = 3.141592653589793;

class EveryArm : public ::testing::TestWithParam<ArmModel> {};

std::string armName(const ::testing::TestParamInfo<ArmModel>& info) { return info.param.robotClass; }

INSTANTIATE_TEST_SUITE_P(Arms, EveryArm, ::testing::ValuesIn(velmora_sim::arm::arms()), armName);

Joints randomJoints(const ArmModel& arm, std::mt19937_64& random) {
  Joints q(arm.joints());
  for (std::size_t i = 0; i < q.size(); ++i) {
    q[i] = std::uniform_real_distribution<double>(arm.lower[i], arm.upper[i])(random);
  }
  return q;
}

// How far `a` is from `b` in the arm's pose space: metres and radians.
std::pair<double, double> apart(const ArmChain& chain, const Joints& a, const Pose& b) {
  const auto ta = chain.flange(a);
  const auto tb = velmora_sim::arm::transformOf(b);
  const double place = (ta.translation() - tb.translation()).norm();
  double turn = 0;
  switch (chain.model().space) {
    case PoseSpace::full:
      turn = Eigen::AngleAxisd(ta.linear() * tb.linear().transpose()).angle();
      break;
    case PoseSpace::toolAxis:
      turn = std::acos(std::clamp(ta.linear().col(2).dot(tb.linear().col(2)), -1.0, 1.0));
      break;
    case PoseSpace::heading:
      turn = std::abs(std::remainder(
          std::atan2(ta.linear()(1, 0), ta.linear()(0, 0)) - std::atan2(tb.linear()(1, 0), tb.linear()(0, 0)),
          2 * kPi));
      break;
    case PoseSpace::position:
      break;
  }
  return {place, turn};
}

TEST_P(EveryArm, InverseOfAThousandReachablePosesLandsOnThePose) {
  const ArmChain chain(GetParam());
  std::mt19937_64 random(7);
  const auto began = std::chrono::steady_clock::now();
  int solved = 0;
  for (int i = 0; i < 1000; ++i) {
    const Joints truth = randomJoints(GetParam(), random);
    const Pose pose = chain.forward(truth);
    Joints q;
    ASSERT_EQ(chain.inverse(pose, GetParam().home, q), 0) << "pose " << i;
    const auto [place, turn] = apart(chain, q, pose);
    EXPECT_LT(place, 1e-6) << "pose " << i;
    EXPECT_LT(turn, 1e-6) << "pose " << i;
    EXPECT_EQ(chain.admits(q), 0) << "pose " << i;
    ++solved;
  }
  EXPECT_EQ(solved, 1000);
  // Generous for a loaded machine and a debug build; a solve is tens of microseconds.
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(20));
}

TEST_P(EveryArm, TheBaseAxisTurnsTheFlangeAboutTheVertical) {
  const ArmChain chain(GetParam());
  std::mt19937_64 random(11);
  for (int i = 0; i < 100; ++i) {
    Joints q = randomJoints(GetParam(), random);
    q[0] = std::uniform_real_distribution<double>(-1, 0.5)(random);
    const Eigen::Vector3d before = chain.flange(q).translation();
    q[0] += kPi / 2;
    const Eigen::Vector3d after = chain.flange(q).translation();
    EXPECT_NEAR(after.z(), before.z(), 1e-12);
    EXPECT_NEAR(std::hypot(after.x(), after.y()), std::hypot(before.x(), before.y()), 1e-12);
    // A quarter turn: (x, y) becomes (-y, x).
    EXPECT_NEAR(after.x(), -before.y(), 1e-12);
    EXPECT_NEAR(after.y(), before.x(), 1e-12);
  }
}

TEST_P(EveryArm, TargetsOutOfReachOrPastALimitAreRefused) {
  const ArmModel& arm = GetParam();
  const ArmChain chain(arm);
  const int unreachable = arm.space == PoseSpace::toolAxis ? -50034 : -50002;
  Joints q;
  EXPECT_EQ(chain.inverse({50, 0, 0.5, 0, 0, 0, 0}, arm.home, q), unreachable);
  EXPECT_EQ(chain.inverse({0, 0, 30, 0, 0, 0, 0}, arm.home, q), unreachable);

  Joints past = arm.home;
  past[1] = arm.upper[1] + 0.1;
  EXPECT_EQ(chain.admits(past), -50101);
  EXPECT_EQ(chain.admits(arm.home), 0);

  // Soft limits that leave the base a sliver beside the home: the home pose now needs a joint
  // past them, whichever branch the solver takes.
  ArmChain narrowed(arm);
  std::vector<double> lower = arm.lower;
  std::vector<double> upper = arm.upper;
  lower[0] = arm.home[0] + 0.05;
  upper[0] = arm.home[0] + 0.1;
  narrowed.setSoftLimits(lower, upper);
  EXPECT_EQ(narrowed.admits(arm.home), -50101);
  EXPECT_EQ(narrowed.inverse(chain.forward(arm.home), arm.home, q), -34);
}

}  // namespace
