// The extension exports of the flat C interface against the simulator, where the sanitizer
// builds run them: byte buffers that a controller or a caller could overrun, refused arrays
// and selectors, and what a failed creation leaves.
#include "native/extension_handles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "managed/abi_test_support.h"
#include "robot/robot_fixture.h"
#include "velmora_sim/ethercat_bus.h"
#include "velmora_sim/force_control_model.h"

namespace velmora::internal {
namespace {

Json::Value bytesJson(std::initializer_list<int> bytes) {
  Json::Value list(Json::arrayValue);
  for (int b : bytes) list.append(b);
  return list;
}

class ExtensionExportsTest : public RobotOpsTest {
 protected:
  void SetUp() override {
    velmora_sim::EthercatBus bus;
    bus.addSlave(velmora_sim::SimSlave{});
    bus.install(command());
    velmora_sim::ForceControlModel(7).install(command());
    RobotOpsTest::SetUp();
    ethercat_ = std::make_unique<vel_ethercat>();
    ethercat_->object = std::make_unique<BaseEthercat>(robot().ethercat());
  }
  void TearDown() override {
    ethercat_.reset();
    RobotOpsTest::TearDown();
  }

  std::unique_ptr<vel_ethercat> ethercat_;
};

TEST_F(ExtensionExportsTest, ReadsNeverWritePastTheCallersCapacity) {
  Json::Value reply;
  reply["data"] = bytesJson({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  struct Case {
    const char* name;
    std::int32_t size;
    std::int32_t capacity;
    std::vector<std::uint8_t> expected;
  };
  const Case cases[] = {
      {"reply longer than asked", 4, 4, {1, 2, 3, 4}},
      {"capacity below the size", 8, 3, {1, 2, 3}},
      {"size 0", 0, 0, {}},
      {"negative size", -5, 0, {}},
  };
  for (const Case& c : cases) {
    for (const bool sdo : {false, true}) {
      command().script(sdo ? "ethercat.read_SDO_data" : "ethercat.read_PDO_data",
                       velmora_sim::Behaviour::reply(reply).times(1));
      // Exactly `capacity` bytes on the heap, so the sanitizers see any write past them.
      std::vector<std::uint8_t> data(static_cast<std::size_t>(c.capacity));
      std::uint8_t done = 0;
      vel_err ec{};
      const std::int32_t status =
          sdo ? vel_ethercat_read_sdo(ethercat_.get(), 0, 1, 0, c.size, data.data(), c.capacity, 100, &done, &ec)
              : vel_ethercat_read_pdo(ethercat_.get(), 0, 0, c.size, data.data(), c.capacity, &done, &ec);
      ASSERT_EQ(status, VEL_OK) << c.name << ": " << takeLastException();
      EXPECT_EQ(data, c.expected) << c.name << (sdo ? " (SDO)" : " (PDO)");
    }
    command().clearScripts();
  }
}

TEST_F(ExtensionExportsTest, WritesSendTheSizeAskedFromAShorterArray) {
  const std::vector<std::uint8_t> two{7, 9};
  struct Case {
    const char* name;
    std::int32_t size;
    const std::uint8_t* data;
    std::int32_t count;
    Json::Value sent;
  };
  const Case cases[] = {
      {"shorter array", 4, two.data(), 2, bytesJson({7, 9, 0, 0})},
      {"longer array", 1, two.data(), 2, bytesJson({7})},
      {"no array", 3, nullptr, 0, bytesJson({0, 0, 0})},
  };
  for (const Case& c : cases) {
    for (const bool sdo : {false, true}) {
      std::uint8_t done = 0;
      vel_err ec{};
      const std::int32_t status =
          sdo ? vel_ethercat_write_sdo(ethercat_.get(), 0, 1, 0, c.size, c.data, c.count, 100, &done, &ec)
              : vel_ethercat_write_pdo(ethercat_.get(), 0, 0, c.size, c.data, c.count, &done, &ec);
      ASSERT_EQ(status, VEL_OK) << c.name << ": " << takeLastException();
      EXPECT_EQ(ec.value, 0) << c.name;
      EXPECT_EQ(last(sdo ? "ethercat.write_SDO_data" : "ethercat.write_PDO_data").payload["data"], c.sent) << c.name;
    }
  }
}

TEST_F(ExtensionExportsTest, ForceControlRefusesShortArraysAndUnknownSelectors) {
  vel_forcecontrol* fc = nullptr;
  vel_robot* noRobot = nullptr;
  EXPECT_EQ(vel_cobot_force_control(noRobot, &fc), VEL_STD_EXCEPTION);
  takeLastException();

  auto handle = std::make_unique<vel_forcecontrol>();
  handle->object = std::make_unique<ForceControl_T<7>>(robot().forceControl());
  std::int32_t joints = 0;
  ASSERT_EQ(vel_forcecontrol_joints(handle.get(), &joints), VEL_OK);
  EXPECT_EQ(joints, 7);

  const double values[7] = {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
  vel_err ec{};
  ASSERT_EQ(vel_forcecontrol_set_joints(handle.get(), VEL_FC_JOINT_STIFFNESS, values, 6, &ec), VEL_OK);
  EXPECT_EQ(ec.value, 259);
  ASSERT_EQ(vel_forcecontrol_set_cartesian(handle.get(), VEL_FC_CART_STIFFNESS, values, 5, &ec), VEL_OK);
  EXPECT_EQ(ec.value, 259);
  EXPECT_EQ(received("eci.fc.set"), 0u);
  ASSERT_EQ(vel_forcecontrol_set_joints(handle.get(), VEL_FC_JOINT_STIFFNESS, values, 7, &ec), VEL_OK);
  EXPECT_EQ(ec.value, 0);

  for (const std::int32_t which : {-1, 9}) {
    EXPECT_EQ(vel_forcecontrol_set_joints(handle.get(), which, values, 7, &ec), VEL_STD_EXCEPTION) << which;
    EXPECT_EQ(takeLastException(), "unknown selector " + std::to_string(which));
  }
  EXPECT_EQ(vel_forcecontrol_run(handle.get(), 7, &ec), VEL_STD_EXCEPTION);
  takeLastException();

  double joint[7], external[7], torque[3], force[3];
  ASSERT_EQ(vel_forcecontrol_end_torque(handle.get(), 0, joint, external, torque, force, &joints, &ec), VEL_OK);
  EXPECT_EQ(joints, 7);
  EXPECT_EQ(joint[6], 6.0);
  EXPECT_EQ(force[2], 22.0);
}

TEST_F(ExtensionExportsTest, UpgradeClientThatCannotConnectLeavesNothing) {
  const std::int64_t before = liveHandles();
  vel_upgrade* upgrade = nullptr;
  // Nothing serves the upgrade port on the test's address.
  EXPECT_EQ(vel_upgrade_create(address().c_str(), 1, &upgrade), VEL_STD_EXCEPTION);
  EXPECT_EQ(upgrade, nullptr);
  EXPECT_NE(takeLastException(), "<none>");
  EXPECT_EQ(liveHandles(), before);

  ASSERT_EQ(vel_upgrade_create(nullptr, 0, &upgrade), VEL_OK);
  vel_err ec{};
  ASSERT_EQ(vel_upgrade_reconnect(upgrade, &ec), VEL_OK);
  EXPECT_EQ(ec.value, 256);
  EXPECT_EQ(vel_upgrade_destroy(upgrade), VEL_OK);
  EXPECT_EQ(liveHandles(), before);
}

}  // namespace
}  // namespace velmora::internal
