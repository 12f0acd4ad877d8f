// A program on the library drives the simulated arm with a tool set and a default zone of its
// own choosing: two lines without a zone of their own round their corner by the default zone,
// and the arm ends with its tool's end on the target in the work object.
#include <gtest/gtest.h>

#include <velmora/robots.h>

#include <Eigen/Dense>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/loopback.h"
#include "support/process_stats.h"
#include "velmora_sim/arm_chain.h"
#include "velmora_sim/simulator.h"

namespace {

using namespace std::chrono_literals;
using velmora_sim::arm::Transform;
using Slot = velmora::sim::StateSample;

template <class Robot>
struct Named;
template <>
struct Named<velmora::OstraRobot> {
  static constexpr const char* kClass = "OstraRobot";
};
template <>
struct Named<velmora::StandardRobot> {
  static constexpr const char* kClass = "StandardRobot";
};

template <class Robot>
class ArmProgram : public ::testing::Test {};

using Classes = ::testing::Types<velmora::OstraRobot, velmora::StandardRobot>;
struct ClassName {
  template <class Robot>
  static std::string GetName(int) {
    return Named<Robot>::kClass;
  }
};
TYPED_TEST_SUITE(ArmProgram, Classes, ClassName);

Transform transformOf(const velmora::Frame& frame) {
  return velmora_sim::arm::transformOf(
      {frame.trans[0], frame.trans[1], frame.trans[2], frame.rpy[0], frame.rpy[1], frame.rpy[2], 0});
}

TYPED_TEST(ArmProgram, TwoLinesTakeTheDefaultZoneAndTheTool) {
  velmora_sim::SimulatorOptions options;
  options.address = testLoopbackAddress();
  options.arm = Named<TypeParam>::kClass;
  options.followArm = true;
  options.timeScale = 0.1;
  velmora_sim::Simulator sim(options);
  TypeParam robot(options.address, options.address);
  std::error_code ec;
  robot.setPowerState(true, ec);
  ASSERT_FALSE(ec) << ec.message();

  velmora::Toolset toolset;
  toolset.end = velmora::Frame({0.0, 0.01, 0.1}, {0.0, 0.0, 0.3});
  toolset.ref = velmora::Frame({0.02, 0.0, 0.0}, {0.0, 0.0, 0.1});
  robot.setToolset(toolset, ec);
  ASSERT_FALSE(ec) << ec.message();
  robot.setDefaultZone(20, ec);  // mm
  ASSERT_FALSE(ec) << ec.message();

  velmora::CartesianPosition corner = robot.cartPosture(velmora::CoordinateType::endInRef, ec);
  ASSERT_FALSE(ec) << ec.message();
  corner.confData.clear();
  corner.trans[1] += 0.06;
  velmora::CartesianPosition end = corner;
  end.trans[2] += 0.06;
  std::string id;
  // Speed in mm/s; a zone of -1 is not sent.
  robot.moveAppend(std::vector<velmora::MoveLCommand>{{corner, 100, -1}, {end, 100, -1}}, id, ec);
  ASSERT_FALSE(ec) << ec.message();
  robot.moveStart(ec);
  ASSERT_FALSE(ec) << ec.message();

  const Eigen::Vector3d c(corner.trans[0], corner.trans[1], corner.trans[2]);
  const Eigen::Vector3d e(end.trans[0], end.trans[1], end.trans[2]);
  double nearest = 1;
  Eigen::Vector3d p;
  const bool arrived = waitUntil(
      [&] {
        Slot sample;
        sim.arm().sample(sample);
        p = {sample.values[Slot::poseAbc][0], sample.values[Slot::poseAbc][1], sample.values[Slot::poseAbc][2]};
        nearest = std::min(nearest, (p - c).norm());
        return (p - e).norm() < 1e-6;
      },
      20s);
  ASSERT_TRUE(arrived) << "the stream's pose, the tool's end in the work object, ends " << (p - e).norm()
                       << " m from the target";
  EXPECT_GT(nearest, 1e-3) << "the corner is rounded by the default zone";
  EXPECT_LT(nearest, 0.02) << "within the zone";

  const auto f = sim.arm().flangePose();
  const Transform flange = velmora_sim::arm::transformOf({f[0], f[1], f[2], f[3], f[4], f[5], 0});
  const Transform reached = flange * transformOf(toolset.end);
  const Transform wanted = transformOf(toolset.ref) * transformOf(end);
  EXPECT_LT((reached.translation() - wanted.translation()).norm(), 1e-6) << "flange * tool = wobj * target";
  EXPECT_LT(Eigen::AngleAxisd(reached.linear().transpose() * wanted.linear()).angle(), 1e-6);
}

}  // namespace
