// The native half of the flat interface's codec and the flat forms of fixed-size records.
#include "native/abi_codec.h"
#include "native/abi_records.h"
#include "native/abi_values.h"
#include "native/velmora_c.h"

#include <velmora/error.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace velmora::internal {
namespace {

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

const std::uint8_t* data(const std::string& bytes) { return reinterpret_cast<const std::uint8_t*>(bytes.data()); }

TEST(BlobWriter, WritesLittleEndianAtNaturalWidths) {
  BlobWriter w;
  w.u8(0xAB);
  w.flag(true);
  w.u16(0x1234);
  w.i32(-2);
  w.u32(0x01020304);
  w.f64(1.0);
  w.text(std::string("\xE6\x9C\xBA\0", 4));
  EXPECT_EQ(hex(w.bytes()),
            "ab01"
            "3412"
            "feffffff"
            "04030201"
            "000000000000f03f"
            "04000000"
            "e69cba00");
}

TEST(BlobReader, ReadsWhatTheWriterWrote) {
  BlobWriter w;
  w.u16(65535);
  w.i32(-7);
  w.u32(4294967295u);
  w.f64(-0.25);
  w.text("");
  w.text("关节");
  const std::string bytes = w.take();
  BlobReader r(data(bytes), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(r.u16(), 65535);
  EXPECT_EQ(r.i32(), -7);
  EXPECT_EQ(r.u32(), 4294967295u);
  EXPECT_EQ(r.f64(), -0.25);
  EXPECT_EQ(r.text(), "");
  EXPECT_EQ(r.text(), "关节");
  EXPECT_NO_THROW(r.finish());
}

TEST(BlobReader, RefusesBlobsThatDoNotHoldWhatIsRead) {
  struct Case {
    const char* name;
    std::string blob;
    std::function<void(BlobReader&)> read;
  };
  const Case cases[] = {
      {"short integer", std::string("\x01\x02\x03", 3), [](BlobReader& r) { r.i32(); }},
      {"short text", std::string("\x05\0\0\0abc", 7), [](BlobReader& r) { r.text(); }},
      {"negative count", std::string("\xff\xff\xff\xff", 4), [](BlobReader& r) { r.count(1); }},
      {"count beyond the bytes", std::string("\x10\0\0\0\0\0\0\0", 8), [](BlobReader& r) { r.count(8); }},
      {"bytes left over", std::string("\0\0\0\0\x01", 5),
       [](BlobReader& r) {
         r.i32();
         r.finish();
       }},
      {"huge list", std::string("\xff\xff\xff\x7f", 4),
       [](BlobReader& r) {
         std::vector<std::string> texts;
         decode(r, texts);
       }},
  };
  for (const Case& c : cases) {
    BlobReader r(data(c.blob), static_cast<std::int64_t>(c.blob.size()));
    EXPECT_THROW(c.read(r), std::invalid_argument) << c.name;
  }
  EXPECT_THROW(BlobReader(nullptr, 4), std::invalid_argument);
  EXPECT_THROW(BlobReader(data("x"), -1), std::invalid_argument);
  BlobReader empty(nullptr, 0);
  EXPECT_THROW(empty.u8(), std::invalid_argument);
}

TEST(Records, PoseAndCanFrameDecodeWhatTheyEncode) {
  CartesianPosition pose;
  pose.trans = {1, 2, 3};
  pose.rpy = {4, 5, 6};
  pose.pos[0] = 99;  // the matrix does not cross
  pose.elbow = 0.5;
  pose.confData = {1, -2, 3, 0, 0, 0, 0, 8};
  pose.external = {1.25};
  const std::string blob = encoded(pose);
  EXPECT_EQ(blob.size(), 6 * 8 + 8 + 4 + 8 * 4 + 4 + 8);
  const auto back = decoded<CartesianPosition>(data(blob), static_cast<std::int64_t>(blob.size()));
  EXPECT_EQ(back.trans, pose.trans);
  EXPECT_EQ(back.rpy, pose.rpy);
  EXPECT_EQ(back.pos[0], 0.0);
  EXPECT_EQ(back.elbow, 0.5);
  EXPECT_EQ(back.confData, pose.confData);
  EXPECT_EQ(back.external, pose.external);

  CANFrame frame;
  frame.frame_id = 0x123;
  frame.frame_type = 2;
  frame.data = {1, 0, 255};
  frame.frame_valid_length = 3;
  const std::string can = encoded(frame);
  const auto canBack = decoded<CANFrame>(data(can), static_cast<std::int64_t>(can.size()));
  EXPECT_EQ(canBack.frame_id, 0x123);
  EXPECT_EQ(canBack.frame_type, 2);
  EXPECT_EQ(canBack.data, frame.data);
  EXPECT_EQ(canBack.frame_valid_length, 3);
}

TEST(Records, EventInfoLeavesUnknownTypesOut) {
  EventInfo info;
  info["n"] = 7;
  info["list"] = std::vector<int>{1};
  info["ec"] = makeErrorCode(-260);
  const std::string blob = encoded(info);
  BlobReader r(data(blob), static_cast<std::int64_t>(blob.size()));
  ASSERT_EQ(r.count(1), 2u);
  int seen = 0;
  for (int i = 0; i < 2; ++i) {
    const std::string key = r.text();
    const std::uint8_t tag = r.u8();
    if (key == "n") {
      EXPECT_EQ(tag, kEventInt);
      EXPECT_EQ(r.i32(), 7);
    } else {
      EXPECT_EQ(key, "ec");
      EXPECT_EQ(tag, kEventError);
      EXPECT_EQ(r.i32(), -260);
      EXPECT_EQ(r.i32(), VEL_CATEGORY_SDK);
      EXPECT_EQ(r.text(), makeErrorCode(-260).message());
    }
    ++seen;
  }
  EXPECT_EQ(seen, 2);
  EXPECT_NO_THROW(r.finish());
}

TEST(Records, SdoDataTakesFiftyBytes) {
  BlobWriter w;
  for (int v : {0x6000, 2, 60, 100, 5, 1}) w.i32(v);
  std::uint8_t bytes[50];
  for (int i = 0; i < 50; ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
  w.raw(bytes, sizeof bytes);
  const std::string blob = w.take();
  const auto item = decoded<SDOData>(data(blob), static_cast<std::int64_t>(blob.size()));
  EXPECT_EQ(item.index, 0x6000);
  EXPECT_EQ(item.length, 60);
  EXPECT_EQ(item.print_data, 1);
  EXPECT_EQ(item.data[49], 50);
  EXPECT_THROW(decoded<SDOData>(data(blob), static_cast<std::int64_t>(blob.size() - 1)), std::invalid_argument);
}

TEST(FlatValues, ToolsetIsEndThenReferenceThenLoad) {
  double values[kToolsetValues];
  for (std::size_t i = 0; i < kToolsetValues; ++i) values[i] = static_cast<double>(i + 1);
  const Toolset toolset = toolsetFromValues(values);
  EXPECT_EQ(toolset.end.trans, (std::array<double, 3>{1, 2, 3}));
  EXPECT_EQ(toolset.end.rpy, (std::array<double, 3>{4, 5, 6}));
  EXPECT_EQ(toolset.ref.trans, (std::array<double, 3>{7, 8, 9}));
  EXPECT_EQ(toolset.load.mass, 13);
  EXPECT_EQ(toolset.load.cog, (std::array<double, 3>{14, 15, 16}));
  EXPECT_EQ(toolset.load.inertia, (std::array<double, 3>{17, 18, 19}));
  double back[kToolsetValues] = {};
  toolsetToValues(toolset, back);
  EXPECT_EQ(std::memcmp(values, back, sizeof values), 0);

  FrameCalibrationResult result{toolset.ref, {0.5, 1.5, 2.5}};
  double calibration[kCalibrationValues];
  calibrationToValues(result, calibration);
  EXPECT_EQ(calibration[0], 7);
  EXPECT_EQ(calibration[8], 2.5);

  KeyPadState keys;
  keys.key2_state = keys.key7_state = true;
  std::uint8_t flags[kKeypadFlags];
  keypadToFlags(keys, flags);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(flags), kKeypadFlags), std::string("\0\x01\0\0\0\0\x01", 7));
}

TEST(FlatValues, FixedArraysRefuseFewerValuesAndCutMore) {
  const double values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::array<double, 6> out{};
  EXPECT_FALSE(fixedArray(values, 5, out));
  EXPECT_FALSE(fixedArray(nullptr, 6, out));
  EXPECT_FALSE(fixedArray(values, -1, out));
  EXPECT_EQ(out, (std::array<double, 6>{}));
  EXPECT_TRUE(fixedArray(values, 8, out));
  EXPECT_EQ(out, (std::array<double, 6>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(valuesOf(values, 3), (std::vector<double>{1, 2, 3}));
  EXPECT_TRUE(valuesOf(nullptr, 3).empty());
  EXPECT_TRUE(valuesOf(values, -3).empty());
}

}  // namespace
}  // namespace velmora::internal
