#include "support/loopback.h"

#include <gtest/gtest.h>

#include <cstdint>

std::string testLoopbackAddress() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  const unsigned x = 1 + (h % 254);
  const unsigned y = (h >> 8) % 256;
  const unsigned z = 1 + ((h >> 16) % 254);
  return "127." + std::to_string(x) + "." + std::to_string(y) + "." + std::to_string(z);
}
