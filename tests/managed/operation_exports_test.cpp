// Exports of frames, rail and axes, collaborative extras and the tool-end bus, called the way
// no managed wrapper calls them: arrays short of the arm's joints, value types an operation does
// not take, malformed blobs, null outputs and operations of another arm class. Each is refused
// before anything reaches the controller; these run in the sanitizer builds too.
#include "native/robot_handle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "managed/abi_test_support.h"
#include "native/abi_codec.h"
#include "robot_impl/robot_fixture.h"

namespace velmora::internal {
namespace {

struct Outcome {
  std::int32_t status;
  vel_err ec;
};

class OperationExportsTest : public RobotTest {
 protected:
  vel_robot* create(std::int32_t kind) {
    vel_robot* robot = nullptr;
    std::int64_t id = 0;
    const std::string a = address();
    EXPECT_EQ(vel_robot_create(kind, VEL_CONSTRUCT_REMOTE_LOCAL, a.c_str(), a.c_str(), &robot, &id), VEL_OK)
        << takeLastException();
    return robot;
  }

  struct Case {
    const char* name;
    const char* key;  // must see no request
    std::int32_t status;
    std::int32_t code;  // with VEL_OK
    std::function<Outcome(vel_robot*)> call;
  };

  void check(vel_robot* robot, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      const Outcome out = c.call(robot);
      EXPECT_EQ(out.status, c.status) << c.name;
      if (out.status == VEL_OK) {
        EXPECT_EQ(out.ec.value, c.code) << c.name;
      } else {
        EXPECT_NE(takeLastException(), "") << c.name;
      }
      EXPECT_EQ(received(c.key), 0u) << c.name;
    }
  }
};

TEST_F(OperationExportsTest, ArgumentsNoWrapperSendsAreRefusedBeforeAnyRequest) {
  vel_robot* robot = create(VEL_ROBOT_OSTRA_MAX);
  ASSERT_NE(robot, nullptr);
  const std::vector<double> seven(7 * 3, 0.5);
  double result[9] = {};
  vel_buf* out = nullptr;
  const std::uint8_t shortDouble[3] = {1, 2, 3};
  const std::uint8_t flagAndMore[2] = {1, 0};
  // A list blob claiming 1000 frames in eight bytes.
  const std::uint8_t frames[8] = {0xE8, 0x03, 0, 0, 0, 0, 0, 0};
  const std::vector<Case> cases = {
      {"points of 6 joints", "utils.calibrate_frame", VEL_OK, 259,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_robot_calibrate_frame(r, 3, seven.data(), 3, 6, 0, nullptr, result, &o.ec);
         return o;
       }},
      {"negative point count", "utils.calibrate_frame", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_robot_calibrate_frame(r, 3, seven.data(), -1, 7, 0, nullptr, result, &o.ec);
         return o;
       }},
      {"6 soft limit rows", "safety.soft_limit", VEL_OK, 259,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_robot_set_soft_limit(r, 1, seven.data(), 6, &o.ec);
         return o;
       }},
      {"no soft limits", "safety.soft_limit", VEL_OK, 259,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_robot_set_soft_limit(r, 1, nullptr, 7, &o.ec);
         return o;
       }},
      {"6 sensitivities", "safety.collision_detection", VEL_OK, 259,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_cobot_enable_collision_detection(r, seven.data(), 6, 1, 0.5, &o.ec);
         return o;
       }},
      {"industrial-only operation", "safety.collision_detection", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_standard_enable_collision_detection(r, seven.data(), 6, 0.5, &o.ec);
         return o;
       }},
      {"rail type not taken", "rail_param", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_robot_get_rail_parameter(r, "maxSpeed", VEL_VALUE_TEXTS, &out, &o.ec);
         return o;
       }},
      {"unit type not taken", "ext_axis.get_mechanical_unit_info", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_robot_get_mech_unit(r, "u1", "order", VEL_VALUE_DOUBLE, &out, &o.ec);
         return o;
       }},
      {"truncated rail value", "rail_param", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_robot_set_rail_parameter(r, "maxSpeed", VEL_VALUE_DOUBLE, shortDouble, 3, &o.ec);
         return o;
       }},
      {"rail value with bytes left over", "rail_param", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_robot_set_rail_parameter(r, "enable", VEL_VALUE_BOOL, flagAndMore, 2, &o.ec);
         return o;
       }},
      {"frame count beyond the blob", "modbusRTU.can.send", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_cobot_can_send(r, "uint8", frames, sizeof frames, &o.ec);
         return o;
       }},
      {"register count without registers", "modbusRTU.register.rw", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_cobot_modbus_rtu_reg(r, 1, 3, 0, "uint16", 3, nullptr, 3, 0, &out, &o.ec);
         return o;
       }},
      {"no frame output", "ix.coord.base_in_world", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_robot_base_frame(r, nullptr, &o.ec);
         return o;
       }},
  };
  check(robot, cases);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(vel_robot_destroy(robot), VEL_OK);
}

TEST_F(OperationExportsTest, CollaborativeOperationsRefuseAnIndustrialArm) {
  velmora_sim::ControllerInfo info;
  info.jointCount = 6;
  info.workType = "industrial";
  info.type = "industrial-6";
  sim().setInfo(info);
  vel_robot* robot = create(VEL_ROBOT_STANDARD);
  ASSERT_NE(robot, nullptr);
  std::uint8_t keys[7] = {};
  const double six[6] = {};
  const std::vector<Case> cases = {
      {"keypad", "device.io.keypad", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_cobot_keypad_state(r, keys, &o.ec);
         return o;
       }},
      {"drag", "sys.drag", VEL_STD_EXCEPTION, 0,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_cobot_enable_drag(r, 1, 2, 0, &o.ec);
         return o;
       }},
      {"5 sensitivities", "safety.collision_detection", VEL_OK, 259,
       [&](vel_robot* r) {
         Outcome o{};
         o.status = vel_standard_enable_collision_detection(r, six, 5, 0.5, &o.ec);
         return o;
       }},
  };
  check(robot, cases);
  EXPECT_EQ(vel_robot_destroy(robot), VEL_OK);
}

}  // namespace
}  // namespace velmora::internal
