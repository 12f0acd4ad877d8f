// Every arm model moving as an arm: what it publishes of a linear or circular move stays on the
// path, targets past its limits or out of its reach are refused with the controller's codes, a
// jog stops at a limit, and power off stops a move at once.
#include <gmock/gmock.h>

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "arm_test_poses.h"
#include "support/json_match.h"
#include "support/loopback.h"
#include "support/process_stats.h"
#include "velmora_sim/arm_chain.h"
#include "velmora_sim/simulator.h"

namespace {

using namespace std::chrono_literals;
using velmora_sim::ArmState;
using velmora_sim::arm::ArmModel;
using velmora_sim::arm::Pose;
using velmora_sim::arm::poseJson;
using Slot = velmora::sim::StateSample;

class ArmMotion : public ::testing::TestWithParam<ArmModel> {
 protected:
  void start(double timeScale) {
    velmora_sim::SimulatorOptions options;
    options.address = testLoopbackAddress();
    options.arm = GetParam().robotClass;
    options.followArm = true;
    options.timeScale = timeScale;
    sim_ = std::make_unique<velmora_sim::Simulator>(options);
    sim_->arm().enableMotion();
    sim_->system().setPowered(true);
  }

  ArmState& arm() { return sim_->arm(); }

  // The flange position of what the stream would publish now.
  Eigen::Vector3d published() {
    Slot sample;
    arm().sample(sample);
    const auto& m = sample.values[Slot::pose];
    return {m[3], m[7], m[11]};
  }

  // Queues one command and counts how it ended: finished, or failed with a code.
  void queue(const std::string& key, Json::Value body) {
    ArmState::Command command{
        key, std::move(body), {}, [this] { ++finished_; }, false, [this](int code) { failure_ = code; }};
    ASSERT_TRUE(arm().enqueue({std::move(command)}));
    arm().run();
  }

  std::unique_ptr<velmora_sim::Simulator> sim_;
  std::atomic<int> finished_{0};
  std::atomic<int> failure_{0};
};

std::string armName(const ::testing::TestParamInfo<ArmModel>& info) { return info.param.robotClass; }

INSTANTIATE_TEST_SUITE_P(Arms, ArmMotion, ::testing::ValuesIn(velmora_sim::arm::arms()), armName);

double fromSegment(const Eigen::Vector3d& p, const Eigen::Vector3d& a, const Eigen::Vector3d& b) {
  const double s = std::clamp((p - a).dot(b - a) / (b - a).squaredNorm(), 0.0, 1.0);
  return (a + s * (b - a) - p).norm();
}

TEST_P(ArmMotion, ALinearMovePublishesTheFlangeOnItsSegment) {
  start(0.25);
  const Pose from = arm().flangePose();
  Pose to = from;
  to[0] += 0.04;
  to[1] -= 0.03;
  to[2] += 0.02;
  Json::Value body(Json::objectValue);
  body["point"] = poseJson(to);
  body["traj"]["speed"] = 0.25;  // 0.2 s of motion, 50 ms here
  queue("move.l", body);
  const Eigen::Vector3d a(from[0], from[1], from[2]);
  const Eigen::Vector3d b(to[0], to[1], to[2]);
  int samples = 0;
  double farthest = 0;
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (finished_ == 0 && failure_ == 0 && std::chrono::steady_clock::now() < until) {
    farthest = std::max(farthest, fromSegment(published(), a, b));
    ++samples;
    std::this_thread::sleep_for(200us);
  }
  EXPECT_EQ(failure_, 0);
  ASSERT_EQ(finished_, 1);
  EXPECT_LT(farthest, 0.5e-3) << "over " << samples << " samples";
  EXPECT_LT((published() - b).norm(), 1e-6) << "at the target";
}

TEST_P(ArmMotion, AnArcPublishesTheFlangeOnItsCircle) {
  start(0.25);
  const Pose from = arm().flangePose();
  // A half circle of 3 cm radius in the horizontal plane, through the aux point, towards the
  // base axis (every arm's home stands out along x).
  Pose aux = from;
  aux[0] -= 0.03;
  aux[1] += 0.03;
  Pose to = from;
  to[0] -= 0.06;
  Json::Value body(Json::objectValue);
  body["point"] = poseJson(to);
  body["aux"] = poseJson(aux);
  body["traj"]["speed"] = 0.4;
  queue("move.c", body);
  const Eigen::Vector3d centre(from[0] - 0.03, from[1], from[2]);
  double farthest = 0;
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (finished_ == 0 && failure_ == 0 && std::chrono::steady_clock::now() < until) {
    const Eigen::Vector3d p = published();
    farthest = std::max({farthest, std::abs((p - centre).norm() - 0.03), std::abs(p.z() - from[2])});
    std::this_thread::sleep_for(200us);
  }
  EXPECT_EQ(failure_, 0);
  ASSERT_EQ(finished_, 1);
  EXPECT_LT(farthest, 0.5e-3);
}

TEST_P(ArmMotion, TargetsPastTheLimitsOrOutOfReachAreRefusedWithTheControllersCodes) {
  const ArmModel& model = GetParam();
  start(0);
  Json::Value joints(Json::objectValue);
  for (std::size_t i = 0; i < model.joints(); ++i) joints["point"].append(model.home[i]);
  joints["point"][1] = model.upper[1] + 0.2;
  EXPECT_EQ(arm().admit("move.j", joints), -50101);

  Json::Value far(Json::objectValue);
  far["point"] = poseJson({50, 0, 0.4, 0, 0, 0, 0});
  const int unreachable = model.space == velmora_sim::arm::PoseSpace::toolAxis ? -50034 : -50002;
  EXPECT_EQ(arm().admit("move.l", far), unreachable);
  EXPECT_EQ(arm().admit("move.jc", far), unreachable);

  // Once queued after all, the arm refuses it as it begins and stays.
  const auto before = arm().jointPositions();
  queue("move.j", joints);
  ASSERT_TRUE(waitUntil([&] { return failure_ != 0; }, 5s));
  EXPECT_EQ(failure_, -50101);
  EXPECT_EQ(arm().jointPositions(), before);

  // Soft limits narrow the arm's own.
  Json::Value near(Json::objectValue);
  near["point"] = joints["point"];
  near["point"][1] = model.home[1] + 0.01;
  EXPECT_EQ(arm().admit("move.j", near), 0);
  std::vector<double> lower = model.lower;
  std::vector<double> upper = model.upper;
  upper[1] = model.home[1];
  arm().setSoftLimits(true, lower, upper);
  EXPECT_EQ(arm().admit("move.j", near), -50101);
  arm().setSoftLimits(false, lower, upper);
  EXPECT_EQ(arm().admit("move.j", near), 0);

  // Without power nothing moves.
  sim_->system().setPowered(false);
  EXPECT_EQ(arm().admit("move.j", near), -17);
  EXPECT_EQ(arm().jog(parseJson(R"({"space": 5, "rate": 1, "step": 1, "index": 0, "direction": true})")), -17);
}

TEST_P(ArmMotion, AJogStopsAtTheJointLimit) {
  const ArmModel& model = GetParam();
  start(0);
  std::vector<double> q = model.home;
  q[0] = model.upper[0] - 0.01;
  arm().setJointPositions(q);
  // 10 degrees towards a limit 0.01 rad away.
  EXPECT_EQ(arm().jog(parseJson(R"({"space": 5, "rate": 1, "step": 10, "index": 0, "direction": true})")), 0);
  ASSERT_TRUE(waitUntil([&] { return std::abs(arm().jointPositions()[0] - model.upper[0]) < 1e-9; }, 5s));
}

TEST_P(ArmMotion, PowerOffStopsARunningMoveAtOnce) {
  const ArmModel& model = GetParam();
  start(1);
  Json::Value body(Json::objectValue);
  for (std::size_t i = 0; i < model.joints(); ++i) body["point"].append(model.home[i]);
  body["point"][0] = model.home[0] + 1.0;
  body["traj"]["jnt_speed"] = 0.5;  // two seconds
  queue("move.j", body);
  ASSERT_TRUE(waitUntil([&] { return std::abs(arm().jointPositions()[0] - model.home[0]) > 0.005; }, 5s));
  sim_->run([this] { arm().powerOff(); });
  const auto stopped = arm().jointPositions();
  EXPECT_EQ(failure_, -17) << "the move under way fails";
  // A stream period (1 ms) and many more later the arm stands where it stopped.
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(arm().jointPositions(), stopped);
  Slot sample;
  arm().sample(sample);
  EXPECT_EQ(sample.values[Slot::joints][0], stopped[0]);
  EXPECT_EQ(sample.values[Slot::jointVelocities][0], 0.0);
  EXPECT_EQ(finished_, 0);
}

}  // namespace
