#pragma once
// The library's own logger registry: name -> logger, with the line format, level and error
// handler that every registered logger gets, and the periodic flush.
//
// The host program's spdlog registry is never touched (no spdlog::set_level, set_pattern,
// set_error_handler, flush_every, register_logger, shutdown, nor the *_mt/*_st factories,
// which register globally and throw on a duplicate name): with the shared spdlog library those
// would change the host's own loggers. Build loggers with std::make_shared<spdlog::logger>.

#include <spdlog/common.h>
#include <spdlog/logger.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "common/log_flusher.h"

namespace velmora::internal {

/// The line format of every log of the library (one-letter level, local date and time with
/// milliseconds, thread id, message); lines end with "\r\n".
inline constexpr const char* kLogPattern = "[%L|%Y-%m-%d %H:%M:%S.%e %t] %v";

class LogRegistry {
 public:
  using Factory = std::function<std::shared_ptr<spdlog::logger>()>;

  /// The process-wide registry, created on first use. It outlives every static object, so
  /// loggers stay usable during process exit; its flusher is stopped when the library unloads.
  static LogRegistry& instance();

  /// The logger registered under `name`, or null.
  std::shared_ptr<spdlog::logger> get(const std::string& name) const;
  /// The logger registered under `name`; when there is none, `make()` builds it and it is
  /// registered with the registry's format, level and error handler. Exceptions of `make`
  /// pass through and nothing is registered. `make` runs under the registry's lock and must
  /// not call the registry. Starts the periodic flush.
  std::shared_ptr<spdlog::logger> getOrCreate(const std::string& name, const Factory& make);
  /// Registers the global log: as `getOrCreate`, and flushed periodically even after a drop.
  void registerGlobal(const std::shared_ptr<spdlog::logger>& logger);
  /// Forgets the logger `name`; holders keep using it, but it is no longer flushed periodically.
  void drop(const std::string& name);

  /// Level of every registered logger and of those to come (info by default).
  void setLevel(spdlog::level::level_enum level);
  /// Line format of every registered logger and of those to come, local time, "\r\n" line ends.
  void setPattern(const std::string& pattern);
  /// Handler of logging failures of every registered logger (by default the global log's
  /// handler, `globalLogErrorHandler`). Logging threads see the change at once and safely.
  void setErrorHandler(spdlog::err_handler handler);

  /// Flushes every registered logger and the global log.
  void flushAll();
  /// Stops the periodic flush for good and flushes once more (at library unload).
  void shutdownFlusher();
  bool flusherRunning() const;

 private:
  LogRegistry();
  void apply(spdlog::logger& logger) const;
  void handleError(const std::string& message) const;

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<spdlog::logger>> loggers_;
  std::shared_ptr<spdlog::logger> global_;
  spdlog::level::level_enum level_ = spdlog::level::info;
  std::string pattern_ = kLogPattern;
  spdlog::err_handler errorHandler_;
  LogFlusher flusher_;
};

}  // namespace velmora::internal
