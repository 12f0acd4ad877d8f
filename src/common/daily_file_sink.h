#pragma once
// A log sink that writes one file per local day ("<stem>_YYYY-MM-DD<ext>"), rotating at a
// given local time, and keeps at most a given number of dated files. At start-up it finds the
// files of earlier days in the log folder and deletes those beyond the newest ones.
//
// A day's file grows to a size limit at most: the line that would pass it is replaced by one
// saying so, and the lines after it are dropped until the next file. A line the device refuses
// (full, gone) is dropped: logging never fails or holds up the caller for a disk.

#include <spdlog/common.h>
#include <spdlog/details/file_helper.h>
#include <spdlog/sinks/base_sink.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::internal {

class daily_file_sink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  using Clock = std::chrono::system_clock;

  /// Size limit of a day's file unless the constructor is given another.
  static constexpr std::uint64_t kDefaultMaxFileSize = 64ull << 20;

  /// Opens the file of the local date of `start` (creating missing folders), appending unless
  /// `truncate`. `maxFiles` 0 keeps every file and deletes nothing. Throws spdlog::spdlog_ex
  /// for a rotation time outside 00:00..23:59 or a file that cannot be opened. A day's file
  /// grows to `maxFileSize` bytes at most, counting what it held when opened.
  daily_file_sink(std::string baseFileName, int rotationHour, int rotationMinute, bool truncate, std::uint16_t maxFiles,
                  bool deleteOldAtStart, const spdlog::file_event_handlers& handlers, Clock::time_point start,
                  std::uint64_t maxFileSize = kDefaultMaxFileSize);

  /// The dated name for the local date of `time`: "logs/x.log" -> "logs/x_2026-03-15.log".
  static std::string dailyFileName(const std::string& baseFileName, Clock::time_point time);

  /// The file written now.
  std::string filename();
  /// The dated files kept, oldest first.
  std::vector<std::string> rotationQueue();

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override;

 private:
  void initLogFileQueue(bool deleteOld);
  void openFile(const std::string& name);
  // Writes a formatted line; false when the device refused it.
  bool write(const spdlog::memory_buf_t& formatted);
  void writeLimitLine(const spdlog::details::log_msg& msg);
  Clock::time_point nextRotation(Clock::time_point after) const;
  void deleteOldest();

  std::string baseFileName_;
  int rotationHour_;
  int rotationMinute_;
  bool truncate_;
  std::uint16_t maxFiles_;
  std::uint64_t maxFileSize_;
  std::uint64_t fileSize_ = 0;  // bytes in the current file, as far as this sink knows
  bool fileFull_ = false;       // the limit line is written: drop until the next file
  spdlog::details::file_helper file_;
  bool fileOpen_ = false;
  Clock::time_point nextRotation_;
  Clock::time_point nextReopen_;
  std::deque<std::string> queue_;
};

}  // namespace velmora::internal
