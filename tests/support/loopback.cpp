#include "support/loopback.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>

std::string testLoopbackAddress() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  // The test program's own path joins the name, so the same test built in two build folders
  // (plain and sanitizer builds, or two checkouts) may run at the same time without clashing.
  char exe[4096];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe);
  if (n > 0) name.append(exe, static_cast<std::size_t>(n));
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a, 64-bit
  for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
  h ^= h >> 29;
  const unsigned x = 1 + (h % 254);
  const unsigned y = (h >> 8) % 256;
  const unsigned z = 1 + ((h >> 16) % 254);
  return "127." + std::to_string(x) + "." + std::to_string(y) + "." + std::to_string(z);
}
