#include <velmora/version.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/globals.h"

using velmora::VersionInfo;

TEST(Version, ParsesPartByPart) {
  struct Case {
    const char* text;
    int major, minor, patch, build;
  };
  const Case cases[] = {
      {"3.1.0", 3, 1, 0, 0},
      {"3.1.0.12345", 3, 1, 0, 12345},
      {"3.1", 3, 1, 0, 0},
      {"3.1.0-beta", 3, 1, 0, 0},
      {"", 0, 0, 0, 0},
      {"v3.1.0", 0, 0, 0, 0},
      {"-1.2.3.4", -1, 2, 3, 4},
      {"3..1", 3, 0, 0, 0},
      {"1.2.3.4.5", 1, 2, 3, 4},
      {"99999999999.1", 2147483647, 1, 0, 0},
      {"1.-99999999999", 1, -2147483647 - 1, 0, 0},
  };
  for (const Case& c : cases) {
    const VersionInfo v{std::string(c.text)};
    EXPECT_EQ(v.major, c.major) << c.text;
    EXPECT_EQ(v.minor, c.minor) << c.text;
    EXPECT_EQ(v.patch, c.patch) << c.text;
    EXPECT_EQ(v.build, c.build) << c.text;
    EXPECT_TRUE(v.buildTag.empty() && v.buildTime.empty() && v.buildHost.empty());
  }
}

TEST(Version, ComparesPartsInOrder) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  const Case cases[] = {
      {"3.0.99.0", "3.1.0.0", true},
      {"3.1.0.0", "3.1.0.0", false},
      {"3.1.0.1", "3.1.0.0", false},
      {"3.0.999.1000", "3.1.0.0", true},
      {"1.1000.0.0", "2.0.0.0", true},
      {"2.0.0.0", "1.1000.0.0", false},
      {"x", "3.1.0", true},
      {"3.1.0.0", "3.1.0.1", true},
      {"-1.0.0.0", "0.0.0.0", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VersionInfo(std::string(c.a)) < VersionInfo(std::string(c.b)), c.less) << c.a << " < " << c.b;
  }
}

TEST(Version, TextsAndProcessRecords) {
  EXPECT_EQ(velmora::internal::minControllerVersion().toString(), "3.1.0.0");
  const VersionInfo& sdk = velmora::internal::sdkVersionInfo();
  EXPECT_EQ(sdk.shortString(), "0.7.1");
  EXPECT_EQ(sdk.toString(), "0.7.1.0");
  EXPECT_FALSE(sdk.buildTime.empty());
  EXPECT_EQ(VersionInfo(-1, 2, 3, -4).toString(), "-1.2.3.-4");
}

TEST(ModuleConstants, FixedNames) {
  EXPECT_EQ(velmora::internal::fcCommandPrefix, "eci.fc.");
  EXPECT_EQ(velmora::internal::upgradePackageName, "./upgrade/orvane.zip");
}

TEST(LogUid, ReplacedWhileOtherThreadsFormat) {
  using velmora::internal::logUid;
  EXPECT_EQ(fmt::format("uid: {} | x", logUid), "uid: default_uid | x");
  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  std::atomic<int> bad{0};
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([&] {
      while (!stop) {
        const std::string line = fmt::format("uid: {} |", logUid);
        if (line != "uid: default_uid |" && line != "uid: 12345678-abcd |" &&
            line != "uid: a-much-longer-controller-identifier-that-does-not-fit-inline |")
          ++bad;
      }
    });
  }
  for (int i = 0; i < 20000; ++i) {
    logUid.set(i % 2 ? "12345678-abcd" : "a-much-longer-controller-identifier-that-does-not-fit-inline");
  }
  stop = true;
  for (auto& t : readers) t.join();
  logUid.set("default_uid");
  EXPECT_EQ(bad, 0);
}
