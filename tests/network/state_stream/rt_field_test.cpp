#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "network/state_stream/data_receiver.h"
#include "network/state_stream/rt_field.h"
#include "support/state_fields.h"
#include "velmora_sim/state_layout.h"

using namespace velmora::internal;

namespace {

std::size_t totalBytes(const RtFieldTable& table) {
  std::size_t total = 0;
  for (const auto& entry : table) total += rtFieldSize(entry.second);
  return total;
}

std::size_t kindOf(const RtFieldTable& table, const std::string& name) {
  const auto found = table.find(name);
  return found == table.end() ? kRtFieldKinds : found->second.index();
}

}  // namespace

TEST(RtFieldTables, CountsBytesAndKinds) {
  struct Case {
    const char* name;
    const RtFieldTable& table;
    std::size_t count;
    std::size_t bytes;
    std::size_t jointKind;
  };
  const Case cases[] = {
      {"7 axes", rtStateFields7(), 35, 1589, 6},
      {"6 axes", rtStateFields6(), 35, 1477, 5},
      {"5 axes", rtStateFields5(), 31, 1222, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.table.size(), c.count) << c.name;
    EXPECT_EQ(totalBytes(c.table), c.bytes) << c.name;
    EXPECT_EQ(kindOf(c.table, "q_m"), c.jointKind) << c.name;
    EXPECT_EQ(kindOf(c.table, "motor_tau_filtered"), c.jointKind) << c.name;
    EXPECT_EQ(kindOf(c.table, "ex_q_m"), 5u) << c.name;
    EXPECT_EQ(kindOf(c.table, "pos_vel_c"), 5u) << c.name;
    EXPECT_EQ(kindOf(c.table, "pos_m"), 7u) << c.name;
    EXPECT_EQ(kindOf(c.table, "ts"), 3u) << c.name;
    EXPECT_EQ(kindOf(c.table, "errors"), 8u) << c.name;
    EXPECT_EQ(kindOf(c.table, "psi_acc_c"), 1u) << c.name;
    EXPECT_EQ(kindOf(c.table, "control_mode"), 2u) << c.name;
  }
  for (const char* name : {"ddq_m", "pos_vel_m", "pos_acc_m", "io_keypad"}) {
    EXPECT_EQ(rtStateFields5().count(name), 0u) << name;
    EXPECT_EQ(rtStateFields6().count(name), 1u) << name;
    EXPECT_EQ(rtStateFields7().count(name), 1u) << name;
  }
  EXPECT_EQ(kindOf(rtStateFields7(), "io_keypad"), 9u);

  const RtFieldTable& command = rtCommandFields();
  EXPECT_EQ(command.size(), 7u);
  EXPECT_EQ(totalBytes(command), 178u);
  EXPECT_EQ(kindOf(command, "pos_c"), 5u);
  EXPECT_EQ(kindOf(command, "psi_valid"), 0u);
  EXPECT_EQ(kindOf(command, "q_c"), 6u);

  for (const auto* table : {&rtStateFields7(), &rtStateFields6(), &rtStateFields5(), &command}) {
    for (const auto& entry : *table) {
      std::visit([&](const auto& v) { EXPECT_EQ(rtFieldSize(entry.second), sizeof v) << entry.first; }, entry.second);
    }
  }
  EXPECT_EQ(rtFieldSize(kRtFieldKinds), 0u);
}

TEST(RtFieldTables, AxisCountPicksTheTable) {
  EXPECT_EQ(&rtStateFieldsFor(6), &rtStateFields6());
  EXPECT_EQ(&rtStateFieldsFor(5), &rtStateFields5());
  for (unsigned axes : {0u, 3u, 4u, 7u, 8u, 65535u}) EXPECT_EQ(&rtStateFieldsFor(axes), &rtStateFields7()) << axes;
}

// Every array field a 6-axis arm streams: a packet of the full 1052 bytes.
const std::set<std::string> kLargestSixAxisRecipe = [] {
  std::set<std::string> names(kJointArrayFields.begin(), kJointArrayFields.end());
  names.insert({"pos_m", "pos_c", "pos_abc_m", "pos_vel_m"});
  return names;
}();

TEST(Recipe, SizeAndLayoutMatchTheSimulatorBuilder) {
  struct Case {
    std::uint16_t axes;
    std::set<std::string> fields;
    std::size_t size;
  };
  const Case cases[] = {
      {6, {}, 28},
      {6, {"q_m"}, 76},
      {5, {"q_m"}, 68},
      {0, {"q_m"}, 84},
      {3, {"q_m"}, 84},
      {4, {"q_m"}, 84},
      {7, {"q_m"}, 84},
      {8, {"q_m"}, 84},
      {6, {"q_m", "psi_m"}, 84},
      {6, {"io_keypad", "motion_mode", "q_m"}, 84},
      {7, {"q_m", "ts"}, 92},
      {6, {"q_m", "dq_m"}, 124},
      {6, kLargestSixAxisRecipe, 1052},
      {7, {"errors", "pos_m", "ex_motor_m"}, 224},
  };
  for (const Case& c : cases) {
    DataReceiver receiver;
    ASSERT_EQ(receiver.setRecipe(c.fields, c.axes), 0) << c.size;
    EXPECT_EQ(receiver.packetSize(), c.size);
    EXPECT_EQ(receiver.fieldSet(), c.fields);
    velmora::sim::StatePacketBuilder builder;
    ASSERT_TRUE(builder.configure(c.axes, std::vector<std::string>(c.fields.begin(), c.fields.end())));
    EXPECT_EQ(builder.packetSize(), c.size);
    EXPECT_EQ(receiver.fieldOrder(), builder.layout()) << c.size;
  }
  velmora::sim::StatePacketBuilder builder;
  ASSERT_TRUE(builder.configure(6, {"q_m", "motion_mode", "io_keypad"}));
  EXPECT_EQ(builder.offsetOf("io_keypad"), 28u);
  EXPECT_EQ(builder.offsetOf("motion_mode"), 35u);
  EXPECT_EQ(builder.offsetOf("q_m"), 36u);
}

TEST(Recipe, RefusalLeavesTheReceiverAsItWas) {
  DataReceiver receiver;
  ASSERT_EQ(receiver.setRecipe({"q_m", "psi_m"}, 6), 0);
  const std::set<std::string> refused[] = {
      {"ddq_m"},  // 5 axes lack it
      {"q_m", "no_such_field"},
      {"psi_valid"},  // command field
      {"Q_M"},
  };
  for (const auto& fields : refused) {
    EXPECT_EQ(receiver.setRecipe(fields, 5), -1) << *fields.begin();
  }
  // 1053 bytes: the 1052-byte 6-axis recipe plus one byte.
  std::set<std::string> over = kLargestSixAxisRecipe;
  over.insert("motion_mode");
  EXPECT_EQ(receiver.setRecipe(over, 6), -1);
  EXPECT_EQ(receiver.packetSize(), 84u);
  EXPECT_EQ(receiver.fieldSet(), (std::set<std::string>{"psi_m", "q_m"}));
  EXPECT_EQ(receiver.fieldOrder(), (std::vector<std::string>{"ts", "errors", "psi_m", "q_m"}));
}
