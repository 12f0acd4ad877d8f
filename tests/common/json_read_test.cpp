#include <gtest/gtest.h>

#include <json/value.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/json_read.h"

using namespace velmora::internal;

namespace {

Json::Value objectOf(const char* key, const Json::Value& v) {
  Json::Value o(Json::objectValue);
  o[key] = v;
  return o;
}

// One controller value and what each reader makes of it (nullopt: refused).
struct Row {
  const char* name;
  Json::Value value;
  std::optional<int> i;
  std::optional<unsigned> u;
  std::optional<std::uint64_t> u64;
  std::optional<double> d;
  std::optional<bool> b;
  std::optional<std::string> s;
  const char* intFound;  // what the integer reader reports when it refuses
};

std::vector<Row> rows() {
  const std::uint64_t u64max = std::numeric_limits<std::uint64_t>::max();
  const auto no = std::nullopt;
  Json::Value array(Json::arrayValue);
  array.append(1);
  return {
      {"null", Json::Value(), 0, 0u, 0u, 0.0, false, "", nullptr},
      {"true", true, 1, 1u, 1u, 1.0, true, "true", nullptr},
      {"negative", -5, -5, no, no, -5.0, true, "-5", nullptr},
      {"integral real", 7.0, 7, 7u, 7u, 7.0, true, "7", nullptr},
      {"negative zero", -0.0, 0, 0u, 0u, -0.0, false, "0", nullptr},
      {"real", 7.5, no, no, no, 7.5, true, "7.5", "non-integral number"},
      {"tenth", 0.1, no, no, no, 0.1, true, "0.1", "non-integral number"},
      {"small real", 1e-7, no, no, no, 1e-7, true, "0.0000001", "non-integral number"},
      {"big uint", Json::UInt(4000000000u), no, 4000000000u, 4000000000u, 4e9, true, "4000000000",
       "out-of-range number"},
      {"-3e9", -3e9, no, no, no, -3e9, true, "-3000000000", "out-of-range number"},
      {"2^64", 18446744073709551616.0, no, no, no, 18446744073709551616.0, true, "18446744073709551616",
       "out-of-range number"},
      {"uint64 max", Json::UInt64(u64max), no, no, u64max, 18446744073709551616.0, true, "18446744073709551615",
       "out-of-range number"},
      {"int min", INT32_MIN, INT32_MIN, no, no, -2147483648.0, true, "-2147483648", nullptr},
      {"int64 min", Json::Int64(INT64_MIN), no, no, no, -9223372036854775808.0, true, "-9223372036854775808",
       "out-of-range number"},
      {"text", "12", no, no, no, no, no, "12", "text"},
      {"array", array, no, no, no, no, no, no, "array"},
      {"object", objectOf("a", 1), no, no, no, no, no, no, "object"},
  };
}

// The plain form and the reporting form agree; a refusal leaves the output untouched.
template <typename T, typename Read>
void expectReader(const Row& row, const std::optional<T>& expected, Read read, const T& sentinel) {
  T plain = sentinel;
  T reported = sentinel;
  JsonReadStatus status;
  EXPECT_EQ(read(row.value, plain, nullptr), expected.has_value()) << row.name;
  EXPECT_EQ(read(row.value, reported, &status), expected.has_value()) << row.name;
  EXPECT_EQ(plain, expected.value_or(sentinel)) << row.name;
  EXPECT_EQ(reported, plain) << row.name;
  EXPECT_EQ(status.ok() ? "" : status.field(), expected ? "" : "field") << row.name;
}

#define READER(fn) \
  [](const Json::Value& v, auto& out, JsonReadStatus* st) { return st ? fn(v, out, *st, "field") : fn(v, out); }

}  // namespace

TEST(JsonRead, EveryReaderOverEveryKind) {
  for (const Row& row : rows()) {
    expectReader<int>(row, row.i, READER(readInt), 99);
    expectReader<unsigned>(row, row.u, READER(readUInt), 99u);
    expectReader<std::uint64_t>(row, row.u64, READER(readUInt64), 99u);
    expectReader<double>(row, row.d, READER(readDouble), 99.0);
    expectReader<bool>(row, row.b, READER(readBool), true);
    expectReader<std::string>(row, row.s, READER(readString), std::string("sentinel"));
    JsonReadStatus status;
    int ignored = 0;
    readInt(row.value, ignored, status, "joint_num");
    EXPECT_STREQ(status.ok() ? nullptr : status.found(), row.intFound) << row.name;
  }
}

TEST(JsonRead, LookupsOnEveryKindNeverThrow) {
  for (const Row& row : rows()) {
    EXPECT_TRUE(member(row.value, "a").isNull() || row.value.isObject()) << row.name;
    EXPECT_EQ(hasMember(row.value, "a"), row.value.isObject()) << row.name;
    EXPECT_EQ(element(row.value, 0).isNull(), !row.value.isArray()) << row.name;
    EXPECT_TRUE(element(row.value, 1).isNull()) << row.name;
  }
  const Json::Value object = objectOf("n", Json::Value());
  EXPECT_TRUE(hasMember(object, "n"));  // present though null
  EXPECT_TRUE(member(object, "missing").isNull());
  EXPECT_EQ(object.size(), 1u);  // the lookup created nothing
  const std::string keyWithNul("a\0b", 3);
  Json::Value withNul(Json::objectValue);
  withNul[keyWithNul] = 1;
  EXPECT_TRUE(hasMember(withNul, keyWithNul));
  EXPECT_FALSE(hasMember(withNul, "a"));
}

TEST(JsonRead, StatusKeepsTheFirstRefusalAndNamesNestedFields) {
  JsonReadStatus status;
  int i = 0;
  std::string s;
  EXPECT_FALSE(readInt(Json::Value("x"), i, status, "joint_num"));
  EXPECT_FALSE(readString(Json::Value(Json::arrayValue), s, status, "id"));
  EXPECT_EQ(status.describe(), "joint_num: expected integer, found text");

  JsonReadStatus outer;
  outer.merge(JsonReadStatus(), "load");
  EXPECT_TRUE(outer.ok());
  outer.merge(status, "load");
  EXPECT_EQ(outer.describe(), "load.joint_num: expected integer, found text");
  JsonReadStatus top;
  top.refuse({}, "object", "integer");
  EXPECT_EQ(top.describe(), "value: expected object, found integer");
  outer.clear();
  outer.merge(top, "pose");
  EXPECT_EQ(outer.field(), "pose");
}
