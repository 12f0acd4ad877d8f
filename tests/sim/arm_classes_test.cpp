// Each robot class of the library against the simulator as its own arm: it connects, powers on,
// moves in joint space and along a line, and what the arm reports of its flange (the stream's
// pose, or the posture where a class has no stream) is the model's forward of its joints.
#include <gmock/gmock.h>

#include <velmora/robots.h>

#include <array>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "support/loopback.h"
#include "support/process_stats.h"
#include "velmora_sim/simulator.h"

namespace {

using namespace std::chrono_literals;

template <class Robot>
struct Named;
#define VELMORA_NAMED(R)                      \
  template <>                                 \
  struct Named<velmora::R> {                  \
    static constexpr const char* kClass = #R; \
  }
VELMORA_NAMED(OstraLiteRobot);
VELMORA_NAMED(OstraRobot);
VELMORA_NAMED(OstraMaxRobot);
VELMORA_NAMED(LynRobot);
VELMORA_NAMED(Sorn3Robot);
VELMORA_NAMED(Sorn4Robot);
VELMORA_NAMED(StandardRobot);
#undef VELMORA_NAMED

template <class Robot>
std::unique_ptr<Robot> connect(const std::string& address) {
  // The industrial arms of three and four joints never send a local address.
  if constexpr (std::is_constructible_v<Robot, std::string, std::string>) {
    return std::make_unique<Robot>(address, address);
  } else {
    return std::make_unique<Robot>(address);
  }
}

template <class Robot>
class EveryClass : public ::testing::Test {
 protected:
  EveryClass() {
    velmora_sim::SimulatorOptions options;
    options.address = address_;
    options.arm = Named<Robot>::kClass;
    options.followArm = true;
    options.timeScale = 0.1;
    sim_ = std::make_unique<velmora_sim::Simulator>(options);
  }

  const std::string address_ = testLoopbackAddress();
  std::unique_ptr<velmora_sim::Simulator> sim_;
};

using Classes = ::testing::Types<velmora::OstraLiteRobot, velmora::OstraRobot, velmora::OstraMaxRobot,
                                 velmora::LynRobot, velmora::Sorn3Robot, velmora::Sorn4Robot, velmora::StandardRobot>;
struct ClassName {
  template <class Robot>
  static std::string GetName(int) {
    return Named<Robot>::kClass;
  }
};
TYPED_TEST_SUITE(EveryClass, Classes, ClassName);

template <std::size_t N>
std::array<double, N> arrayOf(const std::vector<double>& values) {
  std::array<double, N> out{};
  for (std::size_t i = 0; i < N && i < values.size(); ++i) out[i] = values[i];
  return out;
}

// The flange the arm reports against the model's forward of the joints it reports with it.
template <int W, unsigned short N>
void expectFlangeFollowsTheModel(velmora::Robot_T<W, N>& robot) {
  std::error_code ec;
  std::vector<double> joints;
  std::array<double, 3> place{};
  if constexpr (W != 0 || N >= 5) {
    std::vector<double> pose;
    ASSERT_GT(robot.updateRobotState(2s), 0u);
    ASSERT_EQ(robot.getStateData("q_m", joints), 0);
    ASSERT_EQ(robot.getStateData("pos_m", pose), 0);
    ASSERT_EQ(pose.size(), 16u);
    place = {pose[3], pose[7], pose[11]};
  } else {
    // No stream for these arms: the posture of an arm at rest.
    joints = robot.jointPos(ec);
    const auto pose = robot.posture(velmora::CoordinateType::flangeInBase, ec);
    place = {pose[0], pose[1], pose[2]};
  }
  ASSERT_EQ(joints.size(), N);
  const velmora::CartesianPosition fk = robot.model().calcFk(arrayOf<N>(joints), ec);
  ASSERT_FALSE(ec) << ec.message();
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(place[i], fk.trans[i], 1e-9);
}

template <int W, unsigned short N>
void moveAndCheck(velmora::Robot_T<W, N>& robot) {
  std::error_code ec;
  robot.setPowerState(true, ec);
  ASSERT_FALSE(ec) << ec.message();
  if constexpr (W != 0 || N >= 5) robot.startReceiveRobotState(1ms, {"q_m", "pos_m"});

  // A joint move: every joint a little way from where the arm stands.
  std::vector<double> target = robot.jointPos(ec);
  ASSERT_EQ(target.size(), N);
  for (std::size_t i = 0; i < N; ++i) target[i] += i % 2 == 0 ? 0.05 : -0.05;
  std::string id;
  robot.moveAppend(std::vector<velmora::MoveAbsJCommand>{{velmora::JointPosition(target), 200, 0}}, id, ec);
  robot.moveStart(ec);
  ASSERT_FALSE(ec) << ec.message();
  ASSERT_TRUE(waitUntil(
      [&] {
        const auto q = robot.jointPos(ec);
        for (std::size_t i = 0; i < N && i < q.size(); ++i) {
          if (std::abs(q[i] - target[i]) > 1e-9) return false;
        }
        return q.size() == N;
      },
      10s));
  expectFlangeFollowsTheModel(robot);

  // A linear move 3 cm along x, the orientation kept.
  velmora::CartesianPosition line = robot.model().calcFk(arrayOf<N>(target), ec);
  ASSERT_FALSE(ec) << ec.message();
  line.trans[0] += 0.03;
  line.confData.clear();
  robot.moveAppend(std::vector<velmora::MoveLCommand>{{line, 100, 0}}, id, ec);
  robot.moveStart(ec);
  ASSERT_FALSE(ec) << ec.message();
  bool sampledUnderWay = false;
  ASSERT_TRUE(waitUntil(
      [&] {
        const auto pose = robot.posture(velmora::CoordinateType::flangeInBase, ec);
        // Under way only from the stream: two requests see the arm at two moments.
        if ((W != 0 || N >= 5) && std::abs(pose[0] - line.trans[0]) > 1e-3 && !sampledUnderWay) {
          expectFlangeFollowsTheModel(robot);
          sampledUnderWay = true;
        }
        return std::abs(pose[0] - line.trans[0]) < 1e-6 && std::abs(pose[1] - line.trans[1]) < 1e-6 &&
               std::abs(pose[2] - line.trans[2]) < 1e-6;
      },
      10s));
  expectFlangeFollowsTheModel(robot);
  if constexpr (W != 0 || N >= 5) robot.stopReceiveRobotState();
}

TYPED_TEST(EveryClass, ConnectsPowersOnAndMovesItsOwnArm) {
  std::unique_ptr<TypeParam> robot;
  ASSERT_NO_THROW(robot = connect<TypeParam>(this->address_));
  std::error_code ec;
  EXPECT_EQ(robot->robotInfo(ec).joint_num,
            static_cast<int>(velmora_sim::arm::findArm(Named<TypeParam>::kClass)->joints()));
  moveAndCheck(*robot);
}

}  // namespace
