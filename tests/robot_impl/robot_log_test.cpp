#include <gmock/gmock.h>
#include <json/value.h>

#include <ctime>
#include <filesystem>
#include <optional>

#include "common/globals.h"
#include "robot_fixture.h"
#include "robot_impl/log_settings.h"
#include "support/json_match.h"

using velmora::internal::LogSettings;
using velmora::internal::readLogSettings;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

std::string today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
  return text;
}

std::string robotLogFile(const std::string& directory, const std::string& component) {
  return directory + "/" + component + "/TarvikSDK_" + today() + ".log";
}

}  // namespace

TEST(RobotLog, SettingsTable) {
  TempDir dir;
  const std::string configured = dir / "logs";
  touch(dir / "a-file");
  struct Case {
    const char* name;
    std::optional<std::string> content;  // none: no settings file
    int code;
    std::string directory;
    int days;
  };
  const std::string fallback = "_velmora_log_";
  const Case cases[] = {
      {"no file", std::nullopt, 0, fallback, 7},
      {"both", R"({"_log_storage_directory_":")" + configured + R"(","_retention_days_":30})", 0, configured, 30},
      {"others ignored", R"({"x":1,"_log_storage_directory_":")" + configured + R"(","_retention_days_":2})", 0,
       configured, 2},
      {"only days", R"({"_retention_days_":30})", -6, fallback, 7},
      {"only directory", R"({"_log_storage_directory_":")" + configured + R"("})", -5, fallback, 7},
      {"days zero", R"({"_log_storage_directory_":")" + configured + R"(","_retention_days_":0})", -8, fallback, 7},
      {"days negative, no directory", R"({"_retention_days_":-3})", -8, fallback, 7},
      {"days real", R"({"_log_storage_directory_":")" + configured + R"(","_retention_days_":7.0})", 0, configured, 7},
      {"days text", R"({"_log_storage_directory_":")" + configured + R"(","_retention_days_":"7"})", -5, fallback, 7},
      {"days beyond 32 bits", R"({"_log_storage_directory_":")" + configured + R"(","_retention_days_":4294967296})",
       -5, fallback, 7},
      {"days beyond 16 bits", R"({"_log_storage_directory_":")" + configured + R"(","_retention_days_":70000})", 0,
       configured, 65535},
      {"days 65536", R"({"_log_storage_directory_":")" + configured + R"(","_retention_days_":65536})", 0, configured,
       65535},
      {"empty directory", R"({"_log_storage_directory_":"","_retention_days_":3})", -6, fallback, 7},
      {"directory not a text", R"({"_log_storage_directory_":5,"_retention_days_":3})", -6, fallback, 7},
      {"not an object", "[1,2]", -6, fallback, 7},
      {"directory cannot be made", R"({"_log_storage_directory_":")" + dir / "a-file" + R"(","_retention_days_":3})",
       -7, fallback, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir / "user_log_settings.json";
    fs::remove(file);
    if (c.content) touch(file, *c.content);
    const LogSettings settings = readLogSettings(file, "ID");
    EXPECT_EQ(settings.code, c.code);
    EXPECT_EQ(settings.directory, c.directory);
    EXPECT_EQ(settings.retentionDays, c.days);
    if (c.code == 0 && c.directory == configured) {
      EXPECT_TRUE(fs::is_directory(configured + "/ID"));
    }
  }
  // Not JSON: the error leaves the check (the connection then fails).
  touch(dir / "bad.json", "{\"_retention_days_\":");
  EXPECT_THROW(readLogSettings(dir / "bad.json", "ID"), Json::Exception);
  touch(dir / "empty.json", "");
  EXPECT_THROW(readLogSettings(dir / "empty.json", "ID"), Json::Exception);
  // There but not readable as a file: the defaults.
  fs::create_directories(dir / "folder.json");
  const LogSettings unreadable = readLogSettings(dir / "folder.json", "ID");
  EXPECT_EQ(unreadable.code, -1);
  EXPECT_EQ(unreadable.directory, fallback);
  EXPECT_STREQ(velmora::internal::logSettingsMessage(-1), "Failed to open user_log_settings.json");
  EXPECT_STREQ(velmora::internal::logSettingsMessage(-8), "_retention_days_ is less than or equal to 0");
}

TEST(RobotLog, IdAsPathComponent) {
  const std::pair<const char*, const char*> table[] = {
      {"VELSIM0000000001", "VELSIM0000000001"},
      {"ctrl-01_a.b", "ctrl-01_a.b"},
      {"../../x", ".._.._x"},
      {"a/b\\c d", "a_b_c_d"},
      {".", "_"},
      {"..", "_"},
      {"", "_"},
      {"\xC3\xA9", "__"},
  };
  for (const auto& [id, component] : table) EXPECT_EQ(velmora::internal::logPathComponent(id), component) << id;
}

TEST_F(RobotTest, RobotLogFileHoldsTheConnectLine) {
  auto impl = connected();
  impl->disconnect();  // flushes the robot log
  const std::string file = robotLogFile("_velmora_log_", "VELSIM0000000001");
  ASSERT_TRUE(fs::exists(file));
  EXPECT_THAT(readFile(file),
              HasSubstr("uid: VELSIM00-0001 | Connect to " + address() + " from " + address() + "\r\n"));
  // Nothing about the settings without a settings file.
  EXPECT_THAT(readFile(file), ::testing::Not(HasSubstr("user_log_settings")));
}

TEST_F(RobotTest, RobotLogFollowsTheSettingsFile) {
  const std::string configured = dir_ / "robot-logs";
  touch(dir_ / "user_log_settings.json",
        R"({"_log_storage_directory_":")" + configured + R"(","_retention_days_":30})");
  auto impl = connected();
  impl->disconnect();
  EXPECT_THAT(readFile(robotLogFile(configured, "VELSIM0000000001")), HasSubstr("Connect to"));
}

TEST_F(RobotTest, UnusableSettingsKeepTheDefaultsAndSaySo) {
  touch(dir_ / "user_log_settings.json", R"({"_retention_days_":30})");
  auto impl = connected();
  impl->disconnect();
  const std::string text = readFile(robotLogFile("_velmora_log_", "VELSIM0000000001"));
  EXPECT_THAT(text, HasSubstr("_log_storage_directory_ is empty"));
  EXPECT_THAT(text, HasSubstr("Connect to"));
}

TEST_F(RobotTest, UnreadableSettingsKeepTheDefaults) {
  fs::create_directories("user_log_settings.json");
  auto impl = connected();
  impl->disconnect();
  EXPECT_THAT(readFile(robotLogFile("_velmora_log_", "VELSIM0000000001")),
              HasSubstr("Failed to open user_log_settings.json"));
}

TEST_F(RobotTest, SettingsThatAreNotJsonFailTheConnection) {
  touch(dir_ / "user_log_settings.json", "{");
  Impl impl;
  EXPECT_THROW(impl.reconnect(address(), address(), 1, 7), Json::Exception);
}

TEST_F(RobotTest, HostileControllerIdStaysInTheLogDirectory) {
  velmora_sim::ControllerInfo identity;
  identity.id = "../../x";
  sim().setInfo(identity);
  auto impl = connected();
  impl->disconnect();
  EXPECT_THAT(readFile(robotLogFile("_velmora_log_", ".._.._x")), HasSubstr("uid: ../../x | Connect to"));
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator("_velmora_log_")) entries.push_back(entry.path().filename());
  EXPECT_THAT(entries, ::testing::ElementsAre(".._.._x"));
  EXPECT_FALSE(fs::exists(fs::path(dir_.path()).parent_path() / "x"));
}

// An id the controller sends as a number is still its id: each such controller gets a log uid
// and a robot log of its own instead of sharing "default".
TEST_F(RobotTest, ANumericControllerIdNamesItsOwnLog) {
  const struct {
    const char* id;  // JSON
    const char* name;
    const char* uid;
  } cases[] = {
      {"202400000017", "202400000017", "20240000-0017"},
      {"18446744073709551615", "18446744073709551615", "18446744-1615"},
      {"12.0", "12", "12"},
      {R"({"serial": 1})", "default", "default"},  // no text of its own
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    command().script(velmora_sim::Form::get, "sys.info",
                     velmora_sim::Behaviour::reply(parseJson(std::string(R"({"id": )") + c.id +
                                                             R"(, "version": "3.1.0", "mac": 2, "type": "t",
                                                                 "joint_num": 7, "work_type": "cobot"})"))
                         .times(1));
    Impl impl;
    impl.reconnect(address(), address(), 1, 7);
    EXPECT_EQ(impl.info.id, c.name);
    EXPECT_EQ(impl.info.mac, "2");
    EXPECT_EQ(velmora::internal::logUid.get(), c.uid);
    impl.disconnect();
    EXPECT_THAT(readFile(robotLogFile("_velmora_log_", c.name)),
                HasSubstr(std::string("uid: ") + c.uid + " | Connect to"));
  }
}

TEST_F(RobotTest, RobotLogIsSetUpOncePerRobot) {
  auto impl = connected();
  velmora_sim::ControllerInfo other;
  other.id = "OTHERCONTROLLER1";
  sim().setInfo(other);
  impl->reconnect(address(), address(), 1, 7);
  EXPECT_EQ(impl->info.id, "OTHERCONTROLLER1");
  EXPECT_EQ(impl->service->logger()->name(), "VELSIM0000000001");
  impl->disconnect();
  EXPECT_FALSE(fs::exists("_velmora_log_/OTHERCONTROLLER1"));
}
