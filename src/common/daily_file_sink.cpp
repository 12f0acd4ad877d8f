#include "common/daily_file_sink.h"

#include <fmt/format.h>
#include <spdlog/details/os.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <map>
#include <system_error>
#include <tuple>

namespace velmora::internal {

namespace {

namespace fs = std::filesystem;

// While the file cannot be reopened, lines are dropped and a new attempt is made at most this
// often: each attempt may sleep in the file helper's open retries, under the sink's lock.
constexpr std::chrono::seconds kReopenInterval{5};

std::tm localDate(daily_file_sink::Clock::time_point time) {
  return spdlog::details::os::localtime(daily_file_sink::Clock::to_time_t(time));
}

bool fileExists(const std::string& name) {
  std::error_code ec;
  return fs::exists(fs::path(name), ec);
}

}  // namespace

daily_file_sink::daily_file_sink(std::string baseFileName, int rotationHour, int rotationMinute, bool truncate,
                                 std::uint16_t maxFiles, bool deleteOldAtStart,
                                 const spdlog::file_event_handlers& handlers, Clock::time_point start,
                                 std::uint64_t maxFileSize)
    : baseFileName_(std::move(baseFileName)),
      rotationHour_(rotationHour),
      rotationMinute_(rotationMinute),
      truncate_(truncate),
      maxFiles_(maxFiles),
      maxFileSize_(maxFileSize),
      file_(handlers) {
  if (rotationHour < 0 || rotationHour > 23 || rotationMinute < 0 || rotationMinute > 59) {
    spdlog::throw_spdlog_ex("daily_file_sink: Invalid rotation time in ctor");
  }
  openFile(dailyFileName(baseFileName_, start));
  // Taken from the start time, not the clock, so that the first line of a sink started in
  // the past rotates exactly when its date says.
  nextRotation_ = nextRotation(start);
  if (maxFiles_ > 0) initLogFileQueue(deleteOldAtStart);
}

std::string daily_file_sink::dailyFileName(const std::string& baseFileName, Clock::time_point time) {
  std::string stem, ext;
  std::tie(stem, ext) = spdlog::details::file_helper::split_by_extension(baseFileName);
  const std::tm date = localDate(time);
  return fmt::format("{}{}{:04d}-{:02d}-{:02d}{}", stem, "_", date.tm_year + 1900, date.tm_mon + 1, date.tm_mday, ext);
}

std::string daily_file_sink::filename() {
  std::lock_guard<std::mutex> lock(mutex_);
  return file_.filename();
}

std::vector<std::string> daily_file_sink::rotationQueue() {
  std::lock_guard<std::mutex> lock(mutex_);
  return {queue_.begin(), queue_.end()};
}

void daily_file_sink::openFile(const std::string& name) {
  fileOpen_ = false;
  file_.open(name, truncate_);
  fileOpen_ = true;
  fileFull_ = false;
  try {
    fileSize_ = file_.size();
  } catch (const spdlog::spdlog_ex&) {
    fileSize_ = 0;
  }
}

bool daily_file_sink::write(const spdlog::memory_buf_t& formatted) {
  try {
    file_.write(formatted);
  } catch (const spdlog::spdlog_ex&) {
    // A full or failing device: the line is lost, not the caller's operation.
    return false;
  }
  fileSize_ += formatted.size();
  return true;
}

void daily_file_sink::writeLimitLine(const spdlog::details::log_msg& msg) {
  fileFull_ = true;
  const std::string text =
      fmt::format("log file size limit of {} bytes reached; lines are dropped until the next file", maxFileSize_);
  const spdlog::details::log_msg note(msg.time, msg.source, msg.logger_name, spdlog::level::warn, text);
  spdlog::memory_buf_t formatted;
  formatter_->format(note, formatted);
  write(formatted);
}

daily_file_sink::Clock::time_point daily_file_sink::nextRotation(Clock::time_point after) const {
  std::tm date = localDate(after);
  date.tm_hour = rotationHour_;
  date.tm_min = rotationMinute_;
  date.tm_sec = 0;
  date.tm_isdst = -1;
  std::tm probe = date;
  const auto today = Clock::from_time_t(std::mktime(&probe));
  if (today > after) return today;
  // The next calendar day rather than 24 hours later, which would drift by an hour across a
  // daylight-saving change.
  date.tm_mday += 1;
  return Clock::from_time_t(std::mktime(&date));
}

void daily_file_sink::sink_it_(const spdlog::details::log_msg& msg) {
  const bool rotate = msg.time >= nextRotation_;
  if (rotate) {
    nextRotation_ = nextRotation(msg.time);
    nextReopen_ = msg.time + kReopenInterval;
    openFile(dailyFileName(baseFileName_, msg.time));
  } else if (!fileOpen_) {
    // The file helper would write through a null stream after a failed open; keep trying to
    // reopen now and then and drop the lines in between (each failed attempt is reported).
    if (msg.time < nextReopen_) return;
    nextReopen_ = msg.time + kReopenInterval;
    openFile(std::string(file_.filename()));
  }
  if (!fileFull_) {
    spdlog::memory_buf_t formatted;
    formatter_->format(msg, formatted);
    if (fileSize_ + formatted.size() > maxFileSize_) {
      writeLimitLine(msg);
    } else {
      write(formatted);
    }
  }
  // Old files are removed only after the line is written, since removal may fail and throw.
  if (rotate && maxFiles_ > 0) deleteOldest();
}

void daily_file_sink::flush_() {
  if (!fileOpen_) return;
  try {
    file_.flush();
  } catch (const spdlog::spdlog_ex&) {
    // As a refused write: what the device would not take is lost.
  }
}

void daily_file_sink::deleteOldest() {
  std::string current = file_.filename();
  if (queue_.size() >= maxFiles_) {
    std::string oldest = std::move(queue_.front());
    queue_.pop_front();
    // Never the file being written, which a clock set back can put at the front.
    if (oldest != current && spdlog::details::os::remove_if_exists(oldest) != 0) {
      const int error = errno;
      queue_.push_back(std::move(current));
      spdlog::throw_spdlog_ex("Failed removing daily file " + oldest, error);
    }
  }
  queue_.push_back(std::move(current));
}

void daily_file_sink::initLogFileQueue(bool deleteOld) {
  queue_.clear();

  // The folder part of the base name; entry names are built on it so that they compare
  // with the stem byte for byte ("x.log" lists "." and yields bare names).
  const std::size_t slash = baseFileName_.rfind('/');
  const std::string listed = slash == std::string::npos ? "." : slash == 0 ? "/" : baseFileName_.substr(0, slash);
  const std::string entryPrefix = slash == std::string::npos ? "" : baseFileName_.substr(0, slash) + "/";

  std::vector<std::string> entries;
  std::error_code ec;
  for (fs::directory_iterator it(listed, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (name.empty() || name[0] == '.' || it->is_directory(typeError)) continue;
    entries.push_back(entryPrefix + name);
  }
  // The listing order is arbitrary; sorting makes "a later entry with the same key wins"
  // the same on every run.
  std::sort(entries.begin(), entries.end());

  const std::string prefix = std::get<0>(spdlog::details::file_helper::split_by_extension(baseFileName_)) + "_";
  std::map<std::string, std::string> byKey;  // date key -> entry, keys in byte order
  for (std::string& entry : entries) {
    if (entry.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string stem = std::get<0>(spdlog::details::file_helper::split_by_extension(entry));
    const std::size_t underscore = stem.rfind('_');
    if (underscore == std::string::npos || underscore + 1 >= stem.size()) continue;
    byKey[stem.substr(underscore + 1)] = std::move(entry);
  }

  const std::size_t oldCount = byKey.size() > maxFiles_ ? byKey.size() - maxFiles_ : 0;
  const std::string current = file_.filename();
  std::size_t index = 0;
  for (const auto& [key, entry] : byKey) {
    const bool old = index++ < oldCount;
    if (!fileExists(entry)) continue;
    if (!old) {
      queue_.push_back(entry);
    } else if (deleteOld && entry != current) {
      std::error_code removeError;
      fs::remove(fs::path(entry), removeError);  // a file gone meanwhile or locked is left alone
    }
  }
}

}  // namespace velmora::internal
