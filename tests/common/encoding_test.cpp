#include "common/encoding.h"
#include "common/rotation.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>

using velmora::internal::eulerToQuaternion;
using velmora::internal::utf8ToLocal;
using velmora::internal::wideToLocal;

TEST(Encoding, ConvertsToCodePage936) {
  struct Case {
    std::string utf8;
    std::wstring wide;
    std::string expected;
  };
  const Case cases[] = {
      {"网络异常", L"网络异常", "\xCD\xF8\xC2\xE7\xD2\xEC\xB3\xA3"},
      {"plain ASCII 0123 {}", L"plain ASCII 0123 {}", "plain ASCII 0123 {}"},
      {"", L"", ""},
      {"a\xE2\x82\xAC"
       "b",
       L"a\u20ACb",
       "a\x80"
       "b"},  // the euro sign has a single byte in this code page
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8ToLocal(c.utf8), c.expected) << c.utf8;
    EXPECT_EQ(wideToLocal(c.wide), c.expected) << c.utf8;
  }
}

TEST(Encoding, UnconvertibleTextThrowsBadConversion) {
  const std::string utf8[] = {"\xFF", "ok\xE7\xBD", "\xF0\x9F\x98\x80", "\xC0\xAF", "abc\x80"};
  for (const std::string& text : utf8) {
    try {
      utf8ToLocal(text);
      ADD_FAILURE() << "no exception for " << text;
    } catch (const std::range_error& e) {
      EXPECT_STREQ(e.what(), "bad conversion");
    }
  }
  const std::wstring wide[] = {L"\U0001F600", std::wstring(1, wchar_t(0xD800)), std::wstring(1, wchar_t(0x110000))};
  for (const std::wstring& text : wide) {
    EXPECT_THROW(wideToLocal(text), std::range_error);
  }
}

TEST(Rotation, EulerAnglesToQuaternion) {
  struct Case {
    std::array<double, 3> rpy;
    std::array<double, 4> q;
  };
  const double c = 0.968912421711, s = 0.247403959255;  // cos 0.25, sin 0.25
  const Case cases[] = {
      {{0, 0, 0}, {1, 0, 0, 0}},
      {{0.5, 0, 0}, {c, s, 0, 0}},
      {{0, 0.5, 0}, {c, 0, s, 0}},
      {{0, 0, 0.5}, {c, 0, 0, s}},
      // Mixed angles: taking the product in the order X*Y*Z would give
      // (0.818629265655, -0.057539988180, -0.362420094355, 0.441799672227).
      {{0.3, -0.7, 1.1}, {0.765062179348, 0.296891540058, -0.215672410090, 0.529169808944}},
  };
  for (const Case& k : cases) {
    const auto q = eulerToQuaternion(k.rpy);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(q[i], k.q[i], 1e-12) << k.rpy[0] << "," << k.rpy[1] << "," << k.rpy[2];
  }

  std::mt19937 rng(7);
  std::uniform_real_distribution<double> angle(-4.0, 4.0);
  for (int n = 0; n < 100; ++n) {
    const auto q = eulerToQuaternion({angle(rng), angle(rng), angle(rng)});
    EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-12);
  }
}
