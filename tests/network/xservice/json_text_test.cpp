#include <gmock/gmock.h>
#include <json/writer.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "network/xservice/json_text.h"

using velmora::internal::appendJson;

namespace {

// What the JSON library's compact writer prints: the text the wire form is defined by.
std::string reference(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["commentStyle"] = "None";
  return Json::writeString(builder, value);
}

std::string ours(const Json::Value& value) {
  std::string text = "prefix:";
  appendJson(text, value);
  return text.substr(7);
}

double fromBits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

class RandomValue {
 public:
  explicit RandomValue(std::uint32_t seed) : random_(seed) {}

  Json::Value make(int depth) {
    switch (pick(depth > 0 ? 9 : 7)) {
      case 0:
        return Json::Value();
      case 1:
        return Json::Value(pick(2) == 1);
      case 2:
        return Json::Value(static_cast<Json::Int64>(random_()));
      case 3:
        return Json::Value(static_cast<Json::UInt64>(random_()));
      case 4:
        return Json::Value(fromBits(random_()));
      case 5:
        return Json::Value(std::ldexp(static_cast<double>(random_() % 2000000) - 1e6, static_cast<int>(pick(80)) - 40));
      case 6:
        return Json::Value(text());
      case 7: {
        Json::Value array(Json::arrayValue);
        for (unsigned n = pick(5); n > 0; --n) array.append(make(depth - 1));
        return array;
      }
      default: {
        Json::Value object(Json::objectValue);
        for (unsigned n = pick(5); n > 0; --n) object[text()] = make(depth - 1);
        return object;
      }
    }
  }

 private:
  unsigned pick(unsigned n) { return static_cast<unsigned>(random_() % n); }

  // Mostly UTF-8 and escapes, with broken sequences mixed in.
  std::string text() {
    static const std::vector<std::string> pieces = {"a",
                                                    "Z",
                                                    " ",
                                                    "\"",
                                                    "\\",
                                                    "/",
                                                    "\b",
                                                    "\f",
                                                    "\n",
                                                    "\r",
                                                    "\t",
                                                    std::string(1, '\0'),
                                                    "\x01",
                                                    "\x1f",
                                                    "\x7f",
                                                    "é",
                                                    "€",
                                                    "中文",
                                                    "😀",
                                                    "\xc3",
                                                    "\xe2\x82",
                                                    "\xf0\x9f\x98",
                                                    "\xff",
                                                    "\xc0\xaf",
                                                    "\xed\xa0\x80",
                                                    "\x80",
                                                    "\xf8\x88\x80\x80\x80"};
    std::string s;
    for (unsigned n = pick(8); n > 0; --n) s += pieces[pick(static_cast<unsigned>(pieces.size()))];
    return s;
  }

  std::mt19937_64 random_;
};

}  // namespace

TEST(JsonText, PrintsWhatTheLibraryWriterPrints) {
  const std::vector<Json::Value> values = {
      Json::Value(),
      Json::Value(true),
      Json::Value(0),
      Json::Value(std::numeric_limits<Json::Int64>::min()),
      Json::Value(std::numeric_limits<Json::UInt64>::max()),
      Json::Value(0.0),
      Json::Value(-0.0),
      Json::Value(100.0),
      Json::Value(0.1),
      Json::Value(1e300),
      Json::Value(5e-324),
      Json::Value(std::nan("")),
      Json::Value(std::numeric_limits<double>::infinity()),
      Json::Value(-std::numeric_limits<double>::infinity()),
      Json::Value(""),
      Json::Value(std::string("nul\0inside", 10)),
      Json::Value(Json::arrayValue),
      Json::Value(Json::objectValue),
  };
  for (const auto& value : values) EXPECT_EQ(ours(value), reference(value)) << reference(value);
  for (std::uint32_t seed = 0; seed < 3000; ++seed) {
    const Json::Value value = RandomValue(seed).make(4);
    ASSERT_EQ(ours(value), reference(value)) << "seed " << seed;
  }
}
