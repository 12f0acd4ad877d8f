#pragma once
// Logging of the library: the global log, the daily file logs of the robots, and what happens
// when logging itself fails. Loggers live in the library's own registry (common/log_registry.h).

#include <spdlog/logger.h>

#include <cstdint>
#include <memory>
#include <string>

namespace velmora::internal {

/// The global log ("global_logger"), created on the first call: daily files
/// "logs/global_logger_YYYY-MM-DD.log" below the current directory, at most 7 kept, flushed
/// every 500 ms. Never null and never throws: when the log folder cannot be written the
/// logger still works, without the file, and the reason is printed once on stderr.
std::shared_ptr<spdlog::logger> globalLogger() noexcept;

/// Builds (does not register) the global log's logger writing to `baseFileName` through the
/// daily file sink (00:00, no truncation, 7 files, older ones deleted at start-up); without a
/// file when it cannot be opened, saying so once on stderr.
std::shared_ptr<spdlog::logger> createGlobalLogger(const std::string& baseFileName) noexcept;

/// The logger `name` from the registry, or a new one writing to `baseFileName` through the
/// daily file sink (rotation at 00:00, appending, at most `maxFiles` dated files, 0 for all,
/// older ones deleted at start-up), registered and flushed every 500 ms. A second call with
/// the same name returns the first logger, whatever its file. Throws spdlog::spdlog_ex when
/// the file cannot be opened; nothing is registered then.
std::shared_ptr<spdlog::logger> dailyFileLogger(const std::string& name, const std::string& baseFileName,
                                                std::uint16_t maxFiles);

/// The registry's error handler: "*** LOGGER ERROR ***: <message>" at error level to the global log.
void globalLogErrorHandler(const std::string& message) noexcept;

/// Writes "*** LOGGER ERROR ***: <message>" to `target`. A failure met while doing so (the
/// target's own sink failing) is not logged again but printed to stderr as
/// "[*** LOG ERROR ***][SDK error handler] <message>".
void reportLogError(spdlog::logger& target, const std::string& message) noexcept;

}  // namespace velmora::internal
