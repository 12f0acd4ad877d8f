#include "common/logging.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "common/daily_file_sink.h"
#include "common/log_flusher.h"
#include "common/log_registry.h"
#include "common/temp_dir.h"

using namespace velmora::internal;
using namespace std::chrono_literals;

namespace {

// A sink whose every write fails, like a full disk.
class FailingSink final : public spdlog::sinks::base_sink<std::mutex> {
 protected:
  void sink_it_(const spdlog::details::log_msg&) override { spdlog::throw_spdlog_ex("disk full"); }
  void flush_() override {}
};

std::string today(const std::string& base) {
  return daily_file_sink::dailyFileName(base, std::chrono::system_clock::now());
}

// Polls without flushing: what is on disk is what the periodic flush put there.
bool appearsWithin(const std::string& path, const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (readFile(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// Restores the registry's process-wide settings a test changed.
struct RegistryDefaults {
  ~RegistryDefaults() {
    auto& registry = LogRegistry::instance();
    registry.setLevel(spdlog::level::info);
    registry.setPattern(kLogPattern);
    registry.setErrorHandler(globalLogErrorHandler);
  }
};

}  // namespace

TEST(Logging, GlobalLogIsFlushedPeriodicallyAndReceivesLogErrors) {
  if (LogRegistry::instance().get("global_logger")) GTEST_SKIP() << "global log created earlier in this process";
  TempDir tmp;
  ScopedCwd cwd(tmp.path());
  const std::string file = tmp / today("logs/global_logger.log");

  auto global = globalLogger();
  ASSERT_TRUE(global);
  EXPECT_EQ(global->name(), "global_logger");
  EXPECT_EQ(global, globalLogger());
  EXPECT_EQ(global, LogRegistry::instance().get("global_logger"));
  EXPECT_TRUE(LogRegistry::instance().flusherRunning());
  EXPECT_EQ(global->level(), spdlog::level::info);
  global->debug("below the level");
  global->info("uid: {} | first line", "default_uid");
  EXPECT_TRUE(appearsWithin(file, "first line", 1200ms));
  const std::string text = readFile(file);
  // "[I|YYYY-MM-DD HH:MM:SS.mmm <thread>] <message>\r\n"
  EXPECT_EQ(text.rfind("[I|", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(text.find("below the level"), std::string::npos);

  // A robot's log dropped at disconnect neither stops the flush nor takes the global log along.
  auto robot = dailyFileLogger("controller-A", tmp / "robots/controller-A/TarvikSDK.log", 7);
  LogRegistry::instance().drop("controller-A");
  LogRegistry::instance().drop("global_logger");
  global->info("after the drop");
  EXPECT_TRUE(appearsWithin(file, "after the drop", 1200ms));

  // A failing logger of the registry reports to the global log.
  auto failing = LogRegistry::instance().getOrCreate(
      "failing", [] { return std::make_shared<spdlog::logger>("failing", std::make_shared<FailingSink>()); });
  failing->info("lost line");
  EXPECT_TRUE(appearsWithin(file, "*** LOGGER ERROR ***: disk full", 1200ms));
  LogRegistry::instance().drop("failing");
}

TEST(Logging, UnwritableLogFolderLeavesAWorkingLoggerAndSaysSoOnce) {
  TempDir tmp;
  touch(tmp / "logs", "a plain file where the folder should be");  // root ignores permissions
  testing::internal::CaptureStderr();
  std::shared_ptr<spdlog::logger> logger;
  ASSERT_NO_THROW(logger = createGlobalLogger(tmp / "logs/global_logger.log"));
  ASSERT_TRUE(logger);
  EXPECT_NO_THROW(logger->error("nowhere to go"));
  EXPECT_NO_THROW(logger->flush());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("[*** LOG ERROR ***][SDK error handler] global log disabled: ", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

  EXPECT_THROW(dailyFileLogger("unwritable", tmp / "logs/robot/TarvikSDK.log", 7), spdlog::spdlog_ex);
  EXPECT_FALSE(LogRegistry::instance().get("unwritable"));
}

TEST(Logging, ErrorHandlerDoesNotRecurseWhenItsOwnLogFails) {
  auto victim = std::make_shared<spdlog::logger>("victim", std::make_shared<FailingSink>());
  spdlog::logger* raw = victim.get();
  victim->set_error_handler([raw](const std::string& message) { reportLogError(*raw, message); });
  testing::internal::CaptureStderr();
  victim->info("first");
  victim->flush();
  victim->info("second");
  const std::string err = testing::internal::GetCapturedStderr();
  // One stderr line per lost line: the failure of logging the failure ends there.
  EXPECT_EQ(err,
            "[*** LOG ERROR ***][SDK error handler] disk full\n"
            "[*** LOG ERROR ***][SDK error handler] disk full\n");
}

TEST(Logging, RegistryGetOrCreateAndSettings) {
  RegistryDefaults restore;
  TempDir tmp;
  auto& registry = LogRegistry::instance();
  // A second robot of the same controller reuses the log, whatever file it asks for.
  auto a = dailyFileLogger("controller-B", tmp / "one/TarvikSDK.log", 3);
  auto b = dailyFileLogger("controller-B", tmp / "two/TarvikSDK.log", 3);
  EXPECT_EQ(a, b);
  EXPECT_FALSE(std::filesystem::exists(tmp / "two"));

  EXPECT_THROW(
      registry.getOrCreate("throws", []() -> std::shared_ptr<spdlog::logger> { throw std::runtime_error("x"); }),
      std::runtime_error);
  EXPECT_FALSE(registry.get("throws"));

  // Settings reach registered loggers and those registered later, in the library's line format.
  std::ostringstream out;
  registry.setLevel(spdlog::level::warn);
  auto late = registry.getOrCreate("late", [&] {
    return std::make_shared<spdlog::logger>("late", std::make_shared<spdlog::sinks::ostream_sink_mt>(out));
  });
  EXPECT_EQ(a->level(), spdlog::level::warn);
  late->info("filtered");
  late->warn("kept");
  EXPECT_EQ(out.str().find("filtered"), std::string::npos);
  EXPECT_NE(out.str().find("] kept\r\n"), std::string::npos) << out.str();
  registry.setPattern("<%v>");
  late->warn("again");
  EXPECT_NE(out.str().find("<again>\r\n"), std::string::npos) << out.str();

  for (const char* name : {"controller-B", "late"}) registry.drop(name);
  EXPECT_FALSE(registry.get("late"));
}

TEST(Logging, HostSpdlogLoggersKeepTheirSettings) {
  RegistryDefaults restore;
  TempDir tmp;
  ScopedCwd cwd(tmp.path());
  std::ostringstream hostOut;
  auto host = std::make_shared<spdlog::logger>("host", std::make_shared<spdlog::sinks::ostream_sink_mt>(hostOut));
  spdlog::register_logger(host);
  spdlog::set_level(spdlog::level::critical);  // the host's own default
  host->set_level(spdlog::level::trace);
  host->set_pattern("host:%v");
  const auto defaultLevel = spdlog::default_logger()->level();

  globalLogger()->info("library logging started");
  auto robot = dailyFileLogger("controller-C", tmp / "robot/TarvikSDK.log", 7);
  auto& registry = LogRegistry::instance();
  registry.setLevel(spdlog::level::err);
  registry.setPattern(kLogPattern);
  registry.setErrorHandler([](const std::string&) {});

  host->trace("t");
  EXPECT_EQ(hostOut.str(), "host:t\n");
  EXPECT_EQ(host->level(), spdlog::level::trace);
  EXPECT_EQ(spdlog::get("host"), host);
  EXPECT_EQ(spdlog::default_logger()->level(), defaultLevel);
  EXPECT_FALSE(spdlog::get("global_logger"));
  EXPECT_FALSE(spdlog::get("controller-C"));
  registry.drop("controller-C");
  spdlog::drop("host");
  spdlog::set_level(spdlog::level::info);
}

TEST(Logging, SettingsChangeWhileThreadsLogAndFail) {
  RegistryDefaults restore;
  auto& registry = LogRegistry::instance();
  std::atomic<int> handled{0};
  registry.setErrorHandler([&](const std::string&) { ++handled; });
  auto failing = registry.getOrCreate(
      "failing-mt", [] { return std::make_shared<spdlog::logger>("failing-mt", std::make_shared<FailingSink>()); });
  std::ostringstream out;
  auto good = registry.getOrCreate("good-mt", [&] {
    return std::make_shared<spdlog::logger>("good-mt", std::make_shared<spdlog::sinks::ostream_sink_mt>(out));
  });

  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; !stop; ++n) {
        failing->error("thread {} line {}", t, n);
        good->error("thread {} line {}", t, n);
      }
    });
  }
  for (int round = 0; round < 50; ++round) {
    registry.setErrorHandler([&](const std::string&) { ++handled; });
    registry.setPattern(round % 2 ? "%v" : kLogPattern);
    registry.setLevel(round % 2 ? spdlog::level::info : spdlog::level::err);
    registry.flushAll();
    std::this_thread::sleep_for(2ms);
  }
  stop = true;
  for (auto& thread : threads) thread.join();
  EXPECT_GT(handled.load(), 0);
  registry.drop("failing-mt");
  registry.drop("good-mt");
}

TEST(LogFlusher, RunsDespiteFailuresUntilStoppedForGood) {
  std::atomic<int> runs{0};
  LogFlusher flusher(20ms, [&] {
    ++runs;
    throw std::runtime_error("a failing flush does not end the thread");
  });
  flusher.start();
  flusher.start();
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (runs < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
  EXPECT_GE(runs.load(), 3);
  flusher.stop();
  const int after = runs;
  flusher.start();  // after the stop at unload nothing may start a thread again
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(runs.load(), after);
  EXPECT_FALSE(flusher.running());
}
