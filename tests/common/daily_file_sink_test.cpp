#include "common/daily_file_sink.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <spdlog/logger.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/temp_dir.h"

using velmora::internal::daily_file_sink;
namespace fs = std::filesystem;

namespace {

std::string dated(const std::string& dir, int day, const char* ext = ".log") {
  return fmt::format("{}/global_logger_2026-03-{:02d}{}", dir, day, ext);
}

std::set<std::string> filesUnder(const std::string& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    files.insert(fs::relative(entry.path(), root).string() + (entry.is_directory() ? "/" : ""));
  }
  return files;
}

std::shared_ptr<daily_file_sink> makeSink(const std::string& base, std::uint16_t maxFiles, bool deleteOld,
                                          daily_file_sink::Clock::time_point start) {
  return std::make_shared<daily_file_sink>(base, 0, 0, false, maxFiles, deleteOld, spdlog::file_event_handlers{},
                                           start);
}

}  // namespace

TEST(DailyFileSink, StartUpScanKeepsTheNewestAndTouchesNothingElse) {
  struct Case {
    const char* name;
    std::uint16_t maxFiles;
    bool deleteOld;
    std::vector<std::string> extra;  // matching files besides the ten dated ones
    std::vector<std::string> queue;  // expected, oldest first (day numbers or names)
    std::vector<int> deleted;
  };
  const Case cases[] = {
      {"seven kept", 7, true, {}, {"05", "06", "07", "08", "09", "10", "11"}, {1, 2, 3, 4}},
      {"nothing deleted without the flag", 7, false, {}, {"05", "06", "07", "08", "09", "10", "11"}, {}},
      {"unlimited scans nothing", 0, true, {}, {}, {}},
      // The extension is not compared, and "old" sorts after every date: the newest entry.
      {"foreign key",
       7,
       true,
       {"global_logger_old.txt"},
       {"06", "07", "08", "09", "10", "11", "old.txt"},
       {1, 2, 3, 4, 5}},
      // The same key twice counts once; the entry listed later in name order stands for it.
      {"same key", 3, true, {"global_logger_2026-03-10.txt"}, {"09", "10.txt", "11"}, {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    const std::string logs = tmp / "logs";
    for (int day = 1; day <= 10; ++day) touch(dated(logs, day));
    for (const std::string& name : c.extra) touch(logs + "/" + name);
    // None of these may be considered: other prefixes, hidden names, folders, subfolders.
    const std::vector<std::string> foreign = {"logs/other_2026-03-01.log",
                                              "logs/global_logger.log",
                                              "logs/xglobal_logger_2026-03-02.log",
                                              "logs/.global_logger_2026-03-01.log",
                                              "logs/sub/global_logger_2026-03-01.log",
                                              "logs/global_logger_.log",
                                              "global_logger_2026-03-01.log"};
    for (const std::string& name : foreign) touch(tmp / name);
    fs::create_directories(logs + "/global_logger_2026-02-28.log");
    const auto before = filesUnder(tmp.path());

    auto sink = makeSink(logs + "/global_logger.log", c.maxFiles, c.deleteOld, localTime(2026, 3, 11, 12, 0, 0));
    EXPECT_EQ(sink->filename(), dated(logs, 11));

    std::vector<std::string> expectedQueue;
    for (const std::string& q : c.queue) {
      expectedQueue.push_back(q.size() == 2   ? dated(logs, std::stoi(q))
                              : q == "10.txt" ? dated(logs, 10, ".txt")
                                              : logs + "/global_logger_" + q);
    }
    EXPECT_EQ(sink->rotationQueue(), expectedQueue);

    auto expectedFiles = before;
    expectedFiles.insert("logs/global_logger_2026-03-11.log");
    for (int day : c.deleted) expectedFiles.erase(fmt::format("logs/global_logger_2026-03-{:02d}.log", day));
    EXPECT_EQ(filesUnder(tmp.path()), expectedFiles);
  }
}

TEST(DailyFileSink, RotatesAtMidnightAndDropsTheOldestFile) {
  TempDir tmp;
  const std::string logs = tmp / "logs";
  touch(dated(logs, 9));
  touch(dated(logs, 10));
  auto sink = makeSink(logs + "/global_logger.log", 3, true, localTime(2026, 3, 11, 12, 0, 0));
  spdlog::logger logger("rotation", sink);
  logger.set_pattern("%v");

  const auto line = [&](std::chrono::system_clock::time_point time, const char* text) {
    logger.log(time, spdlog::source_loc{}, spdlog::level::info, text);
  };
  line(localTime(2026, 3, 11, 23, 59, 59), "last of the 11th");
  line(localTime(2026, 3, 12, 0, 0, 1), "first of the 12th");
  line(localTime(2026, 3, 12, 13, 0, 0), "noon of the 12th");
  line(localTime(2026, 3, 14, 8, 0, 0), "a day skipped");
  logger.flush();

  EXPECT_EQ(readFile(dated(logs, 11)), "last of the 11th\n");
  EXPECT_EQ(readFile(dated(logs, 12)), "first of the 12th\nnoon of the 12th\n");
  EXPECT_EQ(readFile(dated(logs, 14)), "a day skipped\n");
  EXPECT_FALSE(fs::exists(dated(logs, 9)));
  EXPECT_FALSE(fs::exists(dated(logs, 10)));
  EXPECT_EQ(sink->rotationQueue(), (std::vector<std::string>{dated(logs, 11), dated(logs, 12), dated(logs, 14)}));
}

TEST(DailyFileSink, LostFolderAtRotationIsReportedAndRecovered) {
  TempDir tmp;
  const std::string logs = tmp / "logs";
  auto sink = makeSink(logs + "/app.log", 7, true, localTime(2026, 3, 11, 12, 0, 0));
  spdlog::logger logger("lost", sink);
  logger.set_pattern("%v");
  std::vector<std::string> errors;
  logger.set_error_handler([&](const std::string& message) { errors.push_back(message); });
  const auto line = [&](std::chrono::system_clock::time_point time, const char* text) {
    logger.log(time, spdlog::source_loc{}, spdlog::level::info, text);
  };

  // The folder is replaced by a plain file: the next day's file cannot be opened.
  fs::remove_all(logs);
  touch(logs, "not a folder");
  line(localTime(2026, 3, 12, 0, 0, 1), "lost at rotation");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Failed opening file"), std::string::npos) << errors[0];
  line(localTime(2026, 3, 12, 0, 0, 2), "dropped quietly until the next attempt");
  logger.flush();
  EXPECT_EQ(errors.size(), 1u);

  fs::remove(logs);
  line(localTime(2026, 3, 12, 0, 1, 0), "written again");
  logger.flush();
  EXPECT_EQ(readFile(logs + "/app_2026-03-12.log"), "written again\n");
  EXPECT_EQ(errors.size(), 1u);
}

TEST(DailyFileSink, NamesAndConstructionFailures) {
  const auto day = localTime(2026, 3, 15, 10, 0, 0);
  const std::pair<const char*, const char*> names[] = {
      {"logs/global_logger.log", "logs/global_logger_2026-03-15.log"},
      {"a.b/c", "a.b/c_2026-03-15"},
      {"x.tar.gz", "x.tar_2026-03-15.gz"},
      {".hidden", ".hidden_2026-03-15"},
      {"dot.", "dot._2026-03-15"},
      {"d/TarvikSDK.log", "d/TarvikSDK_2026-03-15.log"},
  };
  for (const auto& [base, expected] : names) EXPECT_EQ(daily_file_sink::dailyFileName(base, day), expected);

  TempDir tmp;
  for (const auto& [hour, minute] : {std::pair{24, 0}, {-1, 0}, {0, 60}, {0, -1}}) {
    try {
      daily_file_sink sink(tmp / "x.log", hour, minute, false, 0, true, {}, day);
      ADD_FAILURE() << hour << ":" << minute;
    } catch (const spdlog::spdlog_ex& e) {
      EXPECT_STREQ(e.what(), "daily_file_sink: Invalid rotation time in ctor");
    }
  }
  touch(tmp / "logs", "a plain file where the folder should be");
  EXPECT_THROW(makeSink(tmp / "logs/x.log", 7, true, day), spdlog::spdlog_ex);
}

// A day's file stops at its size limit with one line saying so, and the next day's file starts
// afresh; what the file held before the sink opened it counts.
TEST(DailyFileSink, DayFileStopsAtItsSizeLimit) {
  constexpr std::uint64_t kLimit = 1000;
  struct Case {
    const char* name;
    std::size_t before;  // bytes the day's file holds already
    int written;         // 50-byte lines of the 12th
    int kept;            // of them in the file
  };
  const Case cases[] = {
      {"under the limit", 0, 19, 19},
      {"one past the limit", 0, 21, 20},
      {"a flood", 0, 10'000, 20},
      {"full at start", 990, 5, 0},
  };
  const std::string limitLine = "log file size limit of 1000 bytes reached; lines are dropped until the next file\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    const std::string logs = tmp / "logs";
    if (c.before > 0) touch(logs + "/app_2026-03-12.log", std::string(c.before, '#'));
    auto sink =
        std::make_shared<daily_file_sink>(logs + "/app.log", 0, 0, false, 7, false, spdlog::file_event_handlers{},
                                          localTime(2026, 3, 12, 8, 0, 0), kLimit);
    spdlog::logger logger("capped", sink);
    logger.set_pattern("%v");
    const std::string line(49, 'x');  // 50 bytes with its newline
    for (int i = 0; i < c.written; ++i) {
      logger.log(localTime(2026, 3, 12, 9, 0, 0), spdlog::source_loc{}, spdlog::level::info, line);
    }
    logger.flush();
    std::string expected(c.before, '#');
    for (int i = 0; i < c.kept; ++i) expected += line + "\n";
    if (c.kept < c.written) expected += limitLine;
    EXPECT_EQ(readFile(logs + "/app_2026-03-12.log"), expected);
    // The next day writes again.
    logger.log(localTime(2026, 3, 13, 0, 0, 1), spdlog::source_loc{}, spdlog::level::info, "next day");
    logger.flush();
    EXPECT_EQ(readFile(logs + "/app_2026-03-13.log"), "next day\n");
  }
}

// A device that takes nothing (the file is the full device): every line is dropped in the sink,
// nothing reaches the logger's error handler, and lines go at the speed of a refused write.
TEST(DailyFileSink, FullDeviceDropsLinesWithoutFailing) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir tmp;
  const auto day = localTime(2026, 3, 12, 8, 0, 0);
  fs::create_directories(tmp / "logs");
  fs::create_symlink("/dev/full", tmp / "logs/app_2026-03-12.log");
  auto sink = makeSink(tmp / "logs/app.log", 0, false, day);
  spdlog::logger logger("full", sink);
  logger.set_pattern("%v");
  int errors = 0;
  logger.set_error_handler([&](const std::string&) { ++errors; });
  const std::string line(200, 'x');
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20'000; ++i) {
    logger.log(day, spdlog::source_loc{}, spdlog::level::info, line);
    if (i % 1000 == 0) logger.flush();
  }
  logger.flush();
  EXPECT_EQ(errors, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}
