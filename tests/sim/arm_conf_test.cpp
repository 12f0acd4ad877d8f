// Every arm: a pose's configuration (the quarter turn of each joint) chooses which of its
// solutions a joint move to it takes, and a configuration no solution stands in is refused with
// the controller's code; a line is held to its target's configuration only while forced.
#include <gtest/gtest.h>

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <random>
#include <string>
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
using velmora_sim::arm::Conf;
using velmora_sim::arm::Joints;
using velmora_sim::arm::Pose;

constexpr double kQuarter = 3.141592653589793 / 2;

Conf quarters(const Joints& joints) {
  Conf conf;
  for (const double q : joints) conf.push_back(static_cast<int>(std::floor(q / kQuarter)));
  return conf;
}

Json::Value target(const Pose& pose, const Conf& conf) {
  Json::Value body(Json::objectValue);
  body["point"] = velmora_sim::arm::poseJson(pose);
  // Padded to eight, as the wire carries it.
  for (std::size_t i = 0; i < 8; ++i) body["point"]["conf"].append(i < conf.size() ? conf[i] : 0);
  return body;
}

class ArmConf : public ::testing::TestWithParam<ArmModel> {
 protected:
  void SetUp() override {
    velmora_sim::SimulatorOptions options;
    options.address = testLoopbackAddress();
    options.arm = GetParam().robotClass;
    options.followArm = true;
    options.timeScale = 0;  // every move ends as it begins
    sim_ = std::make_unique<velmora_sim::Simulator>(options);
    sim_->arm().enableMotion();
    sim_->system().setPowered(true);
  }

  // Runs one move to its end: 0, or the code it failed with.
  int move(const std::string& key, const Json::Value& body) {
    std::atomic<int> finished{0};
    std::atomic<int> failure{0};
    ArmState::Command command{
        key, body, {}, [&finished] { ++finished; }, false, [&failure](int code) { failure = code; }};
    EXPECT_TRUE(sim_->arm().enqueue({std::move(command)}));
    sim_->arm().run();
    EXPECT_TRUE(waitUntil([&] { return finished != 0 || failure != 0; }, 10s));
    return failure;
  }

  std::unique_ptr<velmora_sim::Simulator> sim_;
};

TEST_P(ArmConf, TheConfigurationChoosesTheSolution) {
  const ArmModel& model = GetParam();
  const ArmChain chain(model);
  const Joints home = sim_->arm().jointPositions();
  const Pose pose = chain.forward(home);
  const Conf first = quarters(home);

  // Another solution of the same pose, in another configuration.
  std::mt19937 random(7);
  Joints other;
  for (int k = 0; k < 400 && other.empty(); ++k) {
    Joints seed(model.joints());
    for (std::size_t i = 0; i < seed.size(); ++i) {
      seed[i] = std::uniform_real_distribution<double>(model.lower[i], model.upper[i])(random);
    }
    Joints q;
    if (chain.inverse(pose, seed, q) == 0 && quarters(q) != first) other = q;
  }
  ASSERT_FALSE(other.empty()) << "the pose has a second configuration";
  const Conf second = quarters(other);

  for (const Conf& conf : {second, first}) {
    const Json::Value body = target(pose, conf);
    ASSERT_EQ(sim_->arm().admit("move.jc", body), 0);
    ASSERT_EQ(move("move.jc", body), 0);
    const Joints q = sim_->arm().jointPositions();
    // A joint on a quarter's edge (a wrist at 0 or a half turn) stands in both.
    for (std::size_t i = 0; i < q.size(); ++i) {
      EXPECT_GE(q[i], conf[i] * kQuarter - 1e-9) << i;
      EXPECT_LE(q[i], (conf[i] + 1) * kQuarter + 1e-9) << i;
    }
    const Pose reached = chain.forward(q);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(reached[i], pose[i], 1e-6) << i;
  }

  // No solution stands with the first joint forty quarters round.
  Conf none = first;
  none[0] = 40;
  const Joints before = sim_->arm().jointPositions();
  EXPECT_EQ(sim_->arm().admit("move.jc", target(pose, none)), -50021);
  EXPECT_EQ(move("move.jc", target(pose, none)), -50021);
  EXPECT_EQ(sim_->arm().jointPositions(), before) << "a refused move leaves the arm";
}

TEST_P(ArmConf, ALineIsHeldToItsConfigurationOnlyWhenForced) {
  const ArmModel& model = GetParam();
  const ArmChain chain(model);
  Pose pose = chain.forward(sim_->arm().jointPositions());
  pose[2] += 0.01;
  Conf wrong = quarters(sim_->arm().jointPositions());
  wrong[0] += 2;
  EXPECT_EQ(move("move.l", target(pose, wrong)), 0) << "not forced: the configuration is not looked at";
  pose[2] -= 0.01;
  sim_->arm().setConfForced(true);
  const Joints before = sim_->arm().jointPositions();
  EXPECT_EQ(move("move.l", target(pose, wrong)), -50021);
  EXPECT_EQ(sim_->arm().jointPositions(), before);
  EXPECT_EQ(move("move.l", target(pose, quarters(before))), 0);
}

INSTANTIATE_TEST_SUITE_P(Arms, ArmConf, ::testing::ValuesIn(velmora_sim::arm::arms()),
                         [](const auto& info) { return std::string(info.param.robotClass); });

}  // namespace
