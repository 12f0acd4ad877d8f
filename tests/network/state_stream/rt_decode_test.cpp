#include <velmora/error.h>
#include <velmora/exception.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "network/state_stream/data_receiver.h"
#include "support/lang_guard.h"
#include "velmora_sim/state_layout.h"

using namespace velmora::internal;
using velmora::sim::StatePacketBuilder;
using Keys = std::array<bool, 7>;
using Flags = std::array<bool, 20>;
using Six = std::array<double, 6>;
using Seven = std::array<double, 7>;

namespace {

std::vector<std::uint8_t> buildPacket(const StatePacketBuilder& builder, std::uint64_t seq) {
  std::vector<std::uint8_t> packet;
  builder.build(seq, packet);
  return packet;
}

template <typename T>
T read(const DataReceiver& receiver, const std::string& name) {
  T value{};
  EXPECT_TRUE(receiver.readField(name, value)) << name;
  return value;
}

}  // namespace

TEST(RtDecode, EveryStateFieldKindFromSimulatorPackets) {
  // Kinds 1, 2, 3, 5, 6, 7, 8, 9 on a 7-axis arm; kind 4 on a 5-axis arm.
  struct Case {
    unsigned axes;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {7, {"io_keypad", "motion_mode", "psi_m", "pos_m", "pos_abc_m", "q_m"}},
      {5, {"q_c", "tau_m"}},
      {6, {"q_m", "ex_q_m"}},
  };
  const std::vector<double> special = {-0.25, 1e300, -0.0, 4.9e-324, 123456.789, -1e-300, 7.0,  8.0,
                                       9.0,   10.0,  11.0, 12.0,     13.0,       14.0,    15.0, 16.0};
  for (const Case& c : cases) {
    StatePacketBuilder builder;
    ASSERT_TRUE(builder.configure(c.axes, c.fields));
    DataReceiver receiver;
    ASSERT_EQ(receiver.setRecipe({c.fields.begin(), c.fields.end()}, static_cast<std::uint16_t>(c.axes)), 0);
    ASSERT_TRUE(builder.setBytes("ts", {8, 7, 6, 5, 4, 3, 2, 1}));
    for (const std::string& name : c.fields) builder.setDoubles(name, special);
    builder.setBytes("io_keypad", {0, 1, 2, 0, 0, 0, 255});
    builder.setBytes("motion_mode", {0xAB});
    const auto packet = buildPacket(builder, 5);
    receiver.decode(packet.data(), packet.size());

    EXPECT_EQ(read<std::uint64_t>(receiver, "ts"), 0x0102030405060708u);
    for (const std::string& name : c.fields) {
      std::vector<double> values;
      if (name == "io_keypad") {
        // Any non-zero byte is a set key.
        const Keys expected = {false, true, true, false, false, false, true};
        EXPECT_EQ(read<Keys>(receiver, name), expected);
        EXPECT_FALSE(receiver.readField(name, values));
      } else if (name == "motion_mode") {
        EXPECT_EQ(read<std::uint8_t>(receiver, name), 0xAB);
        double asDouble = 0;
        EXPECT_FALSE(receiver.readField(name, asDouble));
      } else if (name == "psi_m") {
        EXPECT_EQ(read<double>(receiver, name), -0.25);
        std::uint64_t asStamp = 0;
        EXPECT_FALSE(receiver.readField(name, asStamp));
      } else {
        values.push_back(42.0);  // reads append
        ASSERT_TRUE(receiver.readField(name, values)) << name;
        const std::size_t count = values.size() - 1;
        ASSERT_EQ(count, velmora::sim::stateFieldShape(name, c.axes)->count) << name;
        EXPECT_EQ(values[0], 42.0);
        for (std::size_t i = 0; i < count; ++i) {
          EXPECT_EQ(std::memcmp(&values[i + 1], &special[i], sizeof(double)), 0) << name << i;
        }
      }
    }
    EXPECT_EQ(read<Flags>(receiver, "errors"), Flags{});
  }
}

TEST(RtDecode, FlagAlternativeReadsAnyNonZeroByteAsSet) {
  RtRecipe recipe;
  recipe.slots.push_back(&recipe.fields.emplace("psi_valid", false).first->second);
  recipe.slots.push_back(&recipe.fields.emplace("control_byte", false).first->second);
  const std::uint8_t packet[] = {2, 0};
  decodeRtPacket(recipe, packet, sizeof packet);
  EXPECT_TRUE(std::get<bool>(recipe.fields["psi_valid"]));
  EXPECT_FALSE(std::get<bool>(recipe.fields["control_byte"]));
}

TEST(RtDecode, ErrorFlagRaisesMotionErrorAndUpdatesOnlyTheLeadingFields) {
  LangGuard english(1);
  StatePacketBuilder builder;
  ASSERT_TRUE(builder.configure(6, {"q_m"}));
  DataReceiver receiver;
  ASSERT_EQ(receiver.setRecipe({"q_m"}, 6), 0);
  auto good = buildPacket(builder, 1);
  receiver.decode(good.data(), good.size());

  for (const std::uint8_t flagByte : {std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{0x80}}) {
    auto bad = buildPacket(builder, 9);
    bad[8 + 3] = flagByte;
    bad[8 + 7] = 1;  // the first set flag names the error
    try {
      receiver.decode(bad.data(), bad.size());
      ADD_FAILURE() << "no motion error for byte " << int(flagByte);
    } catch (const velmora::RealtimeMotionException& e) {
      EXPECT_EQ(std::string(e.what()), "realtime: rtMotion: " + realtimeMotionErrorText(3));
    }
    EXPECT_EQ(read<std::uint64_t>(receiver, "ts"), 9u);
    EXPECT_TRUE(read<Flags>(receiver, "errors")[3]);
    EXPECT_EQ(read<Six>(receiver, "q_m")[0], 1.0);
  }
}

TEST(RtDecode, ShortInputNeverDecodesPastItsEnd) {
  StatePacketBuilder builder;
  ASSERT_TRUE(builder.configure(7, {"q_m", "psi_m"}));
  auto packet = buildPacket(builder, 3);

  DataReceiver receiver;
  ASSERT_EQ(receiver.setRecipe({"q_m", "psi_m"}, 7), 0);
  receiver.decode(packet.data(), packet.size() - 1);  // shorter than a packet: ignored
  EXPECT_EQ(read<std::uint64_t>(receiver, "ts"), 0u);

  // The bare decoder, fed less than the recipe needs, stops with the reader's text and keeps
  // what it read before the cut.
  auto recipe = makeRtRecipe({"q_m", "psi_m"}, 7);
  ASSERT_TRUE(recipe);
  try {
    decodeRtPacket(*recipe, packet.data(), 40);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "read form input stream error");
  }
  EXPECT_EQ(std::get<std::uint64_t>(recipe->fields["ts"]), 3u);
  EXPECT_EQ(std::get<double>(recipe->fields["psi_m"]), 3.0);
  EXPECT_EQ(std::get<Seven>(recipe->fields["q_m"])[0], 0.0);

  std::istringstream stream(std::string("abc", 3));
  char out[4] = {};
  EXPECT_THROW(readStreamBytes(stream, out, 4), std::runtime_error);
  std::istringstream exact(std::string("\x01\x02", 2));
  readStreamBytes(exact, out, 2);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 2);
}

TEST(RtDecode, SameSizeGarbageDecodesOrRaisesMotionError) {
  DataReceiver receiver;
  const std::set<std::string> fields = {"io_keypad", "motion_mode", "pos_m", "psi_c", "q_m"};
  ASSERT_EQ(receiver.setRecipe(fields, 7), 0);
  const std::size_t size = receiver.packetSize();
  std::mt19937 random(7);
  int motionErrors = 0;
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> garbage(size);
    for (auto& byte : garbage) byte = static_cast<std::uint8_t>(random());
    if (round % 2 == 0) std::memset(&garbage[8], 0, 20);
    try {
      receiver.decode(garbage.data(), garbage.size());
      std::uint64_t ts = 0;
      std::memcpy(&ts, garbage.data(), 8);  // the test host is little-endian
      EXPECT_EQ(read<std::uint64_t>(receiver, "ts"), ts);
    } catch (const velmora::RealtimeMotionException&) {
      ++motionErrors;
    }
  }
  EXPECT_EQ(motionErrors, 1000);
}
