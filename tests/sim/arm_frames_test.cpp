// Every arm that places a whole pose, with a tool and a work object set: a Cartesian target is
// the tool's end in the work object, so the arm ends with flange * tool = wobj * target, and the
// stream reports that pose; a line keeps the tool's end on its segment.
#include <gtest/gtest.h>

#include <json/value.h>

#include <Eigen/Dense>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "arm_test_poses.h"
#include "support/loopback.h"
#include "support/process_stats.h"
#include "velmora_sim/arm_chain.h"
#include "velmora_sim/simulator.h"

namespace {

using namespace std::chrono_literals;
using velmora_sim::ArmState;
using velmora_sim::arm::ArmChain;
using velmora_sim::arm::ArmModel;
using velmora_sim::arm::Pose;
using velmora_sim::arm::Transform;
using Slot = velmora::sim::StateSample;

// A frame has no elbow.
Json::Value frame(const Pose& pose) {
  Json::Value value = velmora_sim::arm::poseJson(pose);
  value.removeMember("elb");
  return value;
}

Json::Value toolset(const Pose& tool, const Pose& wobj) {
  Json::Value value(Json::objectValue);
  value["load"]["mass"] = 0.0;
  for (int i = 0; i < 3; ++i) {
    value["load"]["cog"].append(0.0);
    value["load"]["inertia"].append(0.0);
  }
  value["end"] = frame(tool);
  value["end"]["name"] = "tool";
  value["ref"] = frame(wobj);
  value["ref"]["name"] = "wobj";
  return value;
}

struct Case {
  const ArmModel* arm;
  std::string key;  // "move.l" or "move.jc"
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.arm->robotClass << " " << c.key; }

std::vector<Case> cases() {
  std::vector<Case> all;
  for (const ArmModel& arm : velmora_sim::arm::arms()) {
    if (arm.space != velmora_sim::arm::PoseSpace::full) continue;
    for (const char* key : {"move.l", "move.jc"}) all.push_back({&arm, key});
  }
  return all;
}

// Translation and rotation apart.
std::pair<double, double> apart(const Transform& a, const Transform& b) {
  const Eigen::AngleAxisd turn(a.linear().transpose() * b.linear());
  return {(a.translation() - b.translation()).norm(), std::abs(turn.angle())};
}

class ArmFrames : public ::testing::TestWithParam<Case> {};

TEST_P(ArmFrames, TheToolsEndReachesTheTargetInTheWorkObject) {
  const Case c = GetParam();
  velmora_sim::SimulatorOptions options;
  options.address = testLoopbackAddress();
  options.arm = c.arm->robotClass;
  options.followArm = true;
  options.timeScale = 0.1;
  velmora_sim::Simulator sim(options);
  sim.arm().enableMotion();
  sim.system().setPowered(true);

  const Pose tool{0.01, -0.02, 0.12, 0.1, -0.2, 0.3, 0};
  const Pose wobj{0.05, 0.02, -0.03, 0, 0.05, 0.2, 0};
  sim.frames().setToolset(toolset(tool, wobj));
  const ArmChain chain(*c.arm);
  const Transform toolFrame = velmora_sim::arm::transformOf(tool);
  const Transform wobjFrame = velmora_sim::arm::transformOf(wobj);

  // The tool's end now, in the work object, as the stream reports it; the target 4 cm off and
  // turned a little.
  Slot sample;
  sim.arm().sample(sample);
  Pose here{};
  std::copy_n(sample.values[Slot::poseAbc].begin(), 6, here.begin());
  const Transform expected = wobjFrame.inverse() * chain.flange(sim.arm().jointPositions()) * toolFrame;
  const auto [placeOff, turnOff] = apart(velmora_sim::arm::transformOf(here), expected);
  EXPECT_LT(placeOff, 1e-9) << "the stream reports the tool's end in the work object";
  EXPECT_LT(turnOff, 1e-9);
  Pose target = here;
  target[0] += 0.02;
  target[1] -= 0.02;
  target[2] += 0.03;
  target[3] += 0.1;
  target[6] = sim.arm().flangePose()[6];

  Json::Value body(Json::objectValue);
  body["point"] = velmora_sim::arm::poseJson(target);
  body["traj"]["speed"] = 0.2;
  std::atomic<int> finished{0};
  std::atomic<int> failure{0};
  ArmState::Command command{
      c.key, body, {}, [&finished] { ++finished; }, false, [&failure](int code) { failure = code; }};
  ASSERT_EQ(sim.arm().admit(c.key, body), 0);
  ASSERT_TRUE(sim.arm().enqueue({std::move(command)}));
  sim.arm().run();
  const Eigen::Vector3d a(here[0], here[1], here[2]);
  const Eigen::Vector3d b(target[0], target[1], target[2]);
  double farthest = 0;
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (finished == 0 && failure == 0 && std::chrono::steady_clock::now() < until) {
    sim.arm().sample(sample);
    const Eigen::Vector3d p(sample.values[Slot::poseAbc][0], sample.values[Slot::poseAbc][1],
                            sample.values[Slot::poseAbc][2]);
    const double s = std::clamp((p - a).dot(b - a) / (b - a).squaredNorm(), 0.0, 1.0);
    farthest = std::max(farthest, (a + s * (b - a) - p).norm());
    std::this_thread::sleep_for(200us);
  }
  ASSERT_EQ(failure, 0);
  ASSERT_EQ(finished, 1);
  if (c.key == "move.l") {
    EXPECT_LT(farthest, 0.5e-3) << "the tool's end on the segment";
  }

  const Transform flange = chain.flange(sim.arm().jointPositions());
  const auto [place, turn] = apart(flange * toolFrame, wobjFrame * velmora_sim::arm::transformOf(target));
  EXPECT_LT(place, 1e-6) << "flange * tool = wobj * target";
  EXPECT_LT(turn, 1e-6);
}

// A jog of 10 mm along x in each space: the flange along the base's or its own x, the tool's end
// along the work object's or its own x.
TEST(ArmFramesJog, EachSpaceMovesAlongItsOwnAxes) {
  const ArmModel& model = *velmora_sim::arm::findArm("StandardRobot");
  const ArmChain chain(model);
  const Pose tool{0.01, -0.02, 0.12, 0.1, -0.2, 0.3, 0};
  const Pose wobj{0.05, 0.02, -0.03, 0.2, 0.05, 0.4, 0};
  const Transform toolFrame = velmora_sim::arm::transformOf(tool);
  const Transform wobjFrame = velmora_sim::arm::transformOf(wobj);
  const struct {
    int space;
    bool toolEnd;  // the tool's end in the work object moves, else the flange in the base
    bool ownAxes;  // along the moving frame's own x, else along the x it is given in
  } spaces[] = {{0, false, false}, {1, false, true}, {2, false, false}, {3, true, true}, {4, true, false}};
  for (const auto& s : spaces) {
    SCOPED_TRACE(s.space);
    velmora_sim::SimulatorOptions options;
    options.address = testLoopbackAddress();
    options.arm = model.robotClass;
    options.followArm = true;
    velmora_sim::Simulator sim(options);
    sim.arm().enableMotion();
    sim.system().setPowered(true);
    sim.frames().setToolset(toolset(tool, wobj));
    const auto seen = [&] {
      const Transform flange = chain.flange(sim.arm().jointPositions());
      return s.toolEnd ? Transform(wobjFrame.inverse() * flange * toolFrame) : flange;
    };
    const Transform before = seen();
    Json::Value jog(Json::objectValue);
    jog["space"] = s.space;
    jog["rate"] = 1.0;
    jog["step"] = 10.0;
    jog["index"] = 0u;
    jog["direction"] = true;
    ASSERT_EQ(sim.arm().jog(jog), 0);
    const Eigen::Vector3d axis = s.ownAxes ? Eigen::Vector3d(before.linear().col(0)) : Eigen::Vector3d::UnitX();
    const auto off = [&] { return (seen().translation() - before.translation() - 0.01 * axis).norm(); };
    waitUntil([&] { return off() < 1e-6; }, 5s);
    EXPECT_LT(off(), 1e-6);
  }
}

INSTANTIATE_TEST_SUITE_P(Arms, ArmFrames, ::testing::ValuesIn(cases()), [](const auto& info) {
  return std::string(info.param.arm->robotClass) + (info.param.key == "move.l" ? "_line" : "_joint");
});

}  // namespace
