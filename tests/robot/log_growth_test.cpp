// A caller's huge argument costs the logs a short line: operations called over and over with a
// mebibyte each grow the log files by far less than one of those arguments.

#include <gmock/gmock.h>

#include <cstdio>
#include <filesystem>

#include "common/logging.h"
#include "robot/robot_fixture.h"
#include "robot/robot_log_text.h"

namespace {

// Bytes of every file below the scratch working directory: both logs live there.
std::uintmax_t logBytes() {
  std::uintmax_t total = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
    std::error_code ec;
    if (entry.is_regular_file(ec)) total += entry.file_size(ec);
  }
  return total;
}

}  // namespace

TEST_F(RobotOpsTest, HugeArgumentsCostTheLogsShortLines) {
  constexpr int kCalls = 100;
  const std::string huge(1 << 20, 'n');
  // The controller refuses them at once, as it would a name it cannot use.
  command().script("sys.ntp.config", velmora_sim::Behaviour::reply(parseJson(R"({"error":259})")));
  std::error_code ec;
  robot().disconnectFromRobot(ec);  // flushes the robot log
  velmora::internal::globalLogger()->flush();
  robot().connectToRobot(ec);
  ASSERT_FALSE(ec) << ec.value();
  const std::uintmax_t before = logBytes();
  for (int i = 0; i < kCalls; ++i) robot().configNtp(huge, ec);
  robot().disconnectFromRobot(ec);
  velmora::internal::globalLogger()->flush();
  const std::uintmax_t grown = logBytes() - before;
  std::printf("%d calls with a %zu-byte argument: the logs grew %ju bytes\n", kCalls, huge.size(), grown);
  EXPECT_LT(grown, 100u * 1024u);
  EXPECT_THAT(robotLogText(), ::testing::HasSubstr("configNtp nnnn"));
  EXPECT_THAT(robotLogText(), ::testing::HasSubstr("\u2026 (1048576 bytes)"));
}
