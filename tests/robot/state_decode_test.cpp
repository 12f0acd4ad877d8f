// Every state field of a 6-axis and a 7-axis arm, streamed by the simulated controller with a
// value of its own, read back through the robot: each lands where the wire puts it.
#include <gmock/gmock.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "robot/state_fixture.h"
#include "support/state_fields.h"
#include "velmora_sim/state_layout.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora::sim::StateFieldShape;

// The 35 names of the 6- and 7-axis tables, split into two subscriptions of at most 1024 bytes.
const std::vector<std::string>& kJointFields = kJointArrayFields;
const std::vector<std::string> kOtherFields = {
    "pos_m",     "pos_c",     "pos_abc_m",   "pos_vel_m",    "pos_vel_c",     "pos_acc_m", "pos_acc_c",
    "ex_q_m",    "ex_dq_m",   "ex_motor_m",  "tau_ext_base", "tau_ext_stiff", "psi_m",     "psi_c",
    "psi_vel_c", "psi_acc_c", "motion_mode", "control_mode", "io_keypad"};

// A value per field and element that no other field or element shares.
std::vector<double> valuesOf(std::size_t field, std::size_t count) {
  std::vector<double> values;
  for (std::size_t i = 0; i < count; ++i) values.push_back(double(field) * 100.0 + double(i) + 0.25);
  return values;
}

class StateDecodeTest : public StateStreamTest {
 protected:
  // Streams `fields` from an arm of `joints` and checks every one of them as the robot reads it.
  void checkFields(BaseRobot& robot, const std::function<void(const std::vector<std::string>&)>& start, unsigned joints,
                   const std::vector<std::string>& fields, std::size_t firstIndex) {
    std::size_t packet = 8 + 20;
    for (std::size_t k = 0; k < fields.size(); ++k) {
      const auto shape = velmora::sim::stateFieldShape(fields[k], joints);
      ASSERT_TRUE(shape) << fields[k];
      packet += shape->bytes();
      if (shape->type == StateFieldShape::Type::doubles) {
        ASSERT_TRUE(sim().state().setDoubles(fields[k], valuesOf(firstIndex + k, shape->count)));
      }
    }
    start(fields);
    ASSERT_EQ(robot.updateRobotState(200ms), packet);
    std::uint64_t ts = 0;
    ASSERT_EQ(robot.getStateData("ts", ts), 0);
    EXPECT_GT(ts, 0u);
    for (std::size_t k = 0; k < fields.size(); ++k) {
      SCOPED_TRACE(fields[k]);
      const auto shape = *velmora::sim::stateFieldShape(fields[k], joints);
      std::vector<double> vector;
      double scalar = -1;
      std::uint64_t stamp = 7;
      EXPECT_EQ(robot.getStateData(fields[k], stamp), -1) << "only ts is a time stamp";
      if (shape.type != StateFieldShape::Type::doubles) {
        // Codes and flags have no reader.
        EXPECT_EQ(robot.getStateData(fields[k], scalar), -1);
        EXPECT_EQ(robot.getStateData(fields[k], vector), -1);
      } else if (shape.count == 1) {
        EXPECT_EQ(robot.getStateData(fields[k], scalar), 0);
        EXPECT_EQ(scalar, valuesOf(firstIndex + k, 1)[0]);
        EXPECT_EQ(robot.getStateData(fields[k], vector), -1);
      } else {
        EXPECT_EQ(robot.getStateData(fields[k], vector), 0);
        EXPECT_EQ(vector, valuesOf(firstIndex + k, shape.count));
        EXPECT_EQ(robot.getStateData(fields[k], scalar), -1);
      }
    }
    robot.stopReceiveRobotState();
  }
};

TEST_F(StateDecodeTest, SixAxisFieldsDecodeOneByOne) {
  auto robot = connect<OstraRobot>(6);
  auto start = [&](const std::vector<std::string>& fields) { robot->startReceiveRobotState(1ms, fields); };
  checkFields(*robot, start, 6, kJointFields, 0);
  checkFields(*robot, start, 6, kOtherFields, kJointFields.size());
}

TEST_F(StateDecodeTest, SevenAxisFieldsDecodeOneByOne) {
  auto robot = connect<OstraMaxRobot>(7);
  auto start = [&](const std::vector<std::string>& fields) { robot->startReceiveRobotState(1ms, fields); };
  checkFields(*robot, start, 7, kJointFields, 0);
  checkFields(*robot, start, 7, kOtherFields, kJointFields.size());
}

TEST_F(StateDecodeTest, IndustrialSixAxisArmStreamsItsJoints) {
  velmora_sim::ControllerInfo info;
  info.jointCount = 6;
  info.workType = "industrial";
  sim().setInfo(info);
  StandardRobot robot(address(), address());
  auto start = [&](const std::vector<std::string>& fields) { robot.startReceiveRobotState(1ms, fields); };
  checkFields(robot, start, 6, {"q_m", "pos_m", "psi_m"}, 0);
}

}  // namespace
}  // namespace velmora
