// Two queued lines at a right angle on every six- and seven-joint arm, on a clock of the test's
// own: with a zone the flange rounds the corner without stopping and stays within the zone of
// the two lines; without one it goes through the corner; each line reports its end, in order.
#include <gtest/gtest.h>

#include <json/value.h>

#include <Eigen/Dense>
#include <algorithm>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "velmora_sim/arm_chain.h"
#include "velmora_sim/arm_timeline.h"

namespace {

using namespace std::chrono_literals;
using velmora_sim::ArmTimeline;
using velmora_sim::arm::ArmChain;
using velmora_sim::arm::ArmModel;
using velmora_sim::arm::Pose;

struct Case {
  const ArmModel* arm;
  double zone;  // metres
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.arm->robotClass << " zone " << c.zone; }

std::vector<Case> cases() {
  std::vector<Case> all;
  for (const ArmModel& arm : velmora_sim::arm::arms()) {
    if (arm.space != velmora_sim::arm::PoseSpace::full) continue;
    for (const double zone : {0.0, 0.02}) all.push_back({&arm, zone});
  }
  return all;
}

constexpr double kSpeed = 0.1;  // m/s

Eigen::Vector3d placeOf(const Pose& pose) { return {pose[0], pose[1], pose[2]}; }

double fromSegment(const Eigen::Vector3d& p, const Eigen::Vector3d& a, const Eigen::Vector3d& b) {
  const double s = std::clamp((p - a).dot(b - a) / (b - a).squaredNorm(), 0.0, 1.0);
  return (a + s * (b - a) - p).norm();
}

Json::Value line(const Pose& to, double zone) {
  Json::Value body(Json::objectValue);
  for (int i = 0; i < 3; ++i) {
    body["point"]["trans"].append(to[i]);
    body["point"]["rot"].append(to[3 + i]);
  }
  body["point"]["elb"] = to[6];
  body["traj"]["speed"] = kSpeed;
  body["traj"]["zone"] = zone;
  return body;
}

class ArmBlend : public ::testing::TestWithParam<Case> {};

TEST_P(ArmBlend, TwoLinesAtARightAngle) {
  const Case c = GetParam();
  auto chain = std::make_shared<ArmChain>(*c.arm);
  ArmTimeline arm(c.arm->home);
  arm.setKinematics(chain);
  const ArmTimeline::Clock::time_point t0{};
  arm.setTimeScale(1, t0);

  const Pose home = chain->forward(c.arm->home);
  Pose corner = home;
  corner[1] += 0.05;
  Pose end = corner;
  end[2] += 0.05;
  std::vector<int> finished;
  for (const auto& [to, index] : {std::pair{corner, 1}, std::pair{end, 2}}) {
    ArmTimeline::Motion motion;
    motion.path = velmora_sim::arm::Path::command("move.l", line(to, c.zone));
    motion.finished = [&finished, index = index] { finished.push_back(index); };
    arm.append(std::move(motion), t0);
  }
  arm.run(t0);

  const Eigen::Vector3d a = placeOf(home), b = placeOf(corner), e = placeOf(end);
  double nearest = 1, farthest = 0, slowest = 1;
  Eigen::Vector3d last = a;
  const auto step = 1ms;
  auto now = t0;
  for (int k = 0; k < 5000 && arm.moving(); ++k) {
    now += step;
    for (auto& call : arm.advance(now)) call();
    const Eigen::Vector3d p = placeOf(chain->forward(arm.view(now).q));
    nearest = std::min(nearest, (p - b).norm());
    farthest = std::max(farthest, std::min(fromSegment(p, a, b), fromSegment(p, b, e)));
    // Speed where the corner is: the flange within twice the zone (or 1 cm) of it.
    if (arm.moving() && (p - b).norm() < std::max(2 * c.zone, 0.01)) {
      slowest = std::min(slowest, (p - last).norm() / std::chrono::duration<double>(step).count());
    }
    last = p;
  }
  EXPECT_EQ(finished, (std::vector<int>{1, 2}));
  EXPECT_LT((last - e).norm(), 1e-6) << "at the second line's target";
  EXPECT_GT(slowest, 0.5 * kSpeed) << "the flange does not stop near the corner";
  if (c.zone > 0) {
    EXPECT_GT(nearest, 1e-3) << "the corner is rounded";
    EXPECT_LT(farthest, c.zone + 1e-4) << "within the zone of the lines";
  } else {
    EXPECT_LT(nearest, 0.5e-3) << "through the corner";
    EXPECT_LT(farthest, 0.5e-3) << "on the lines";
  }
}

// The way round the corner is no command of its own: stopped on it, the arm reports the line
// after it as the one cut off.
TEST(ArmBlendStop, StoppedOnTheCurveTheNextLineFails) {
  const ArmModel& model = *velmora_sim::arm::findArm("StandardRobot");
  auto chain = std::make_shared<ArmChain>(model);
  ArmTimeline arm(model.home);
  arm.setKinematics(chain);
  const ArmTimeline::Clock::time_point t0{};
  arm.setTimeScale(1, t0);
  Pose to = chain->forward(model.home);
  std::vector<int> finished;
  std::vector<int> failed;
  for (int index = 1; index <= 2; ++index) {
    to[index] += 0.05;
    ArmTimeline::Motion motion;
    motion.path = velmora_sim::arm::Path::command("move.l", line(to, 0.02));
    motion.finished = [&finished, index] { finished.push_back(index); };
    motion.failed = [&failed, index](int) { failed.push_back(index); };
    arm.append(std::move(motion), t0);
  }
  arm.run(t0);
  auto now = t0;
  for (int k = 0; k < 5000 && finished.empty(); ++k) {
    now += 1ms;
    for (auto& call : arm.advance(now)) call();
  }
  ASSERT_EQ(finished, std::vector<int>{1});
  now += 50ms;  // the curve takes about 0.3 s
  for (auto& call : arm.advance(now)) call();
  const ArmTimeline::Callback stopped = arm.abort(-1, now);
  ASSERT_TRUE(stopped);
  stopped();
  EXPECT_EQ(failed, std::vector<int>{2});
  EXPECT_FALSE(arm.moving());
}

INSTANTIATE_TEST_SUITE_P(Arms, ArmBlend, ::testing::ValuesIn(cases()), [](const auto& info) {
  return std::string(info.param.arm->robotClass) + (info.param.zone > 0 ? "_zone" : "_fine");
});

}  // namespace
