#pragma once
// The line an extension operation writes after its request: to the global log first, then the
// same text to the robot's own log, which the command link carries.

#include <fmt/format.h>
#include <spdlog/common.h>
#include <spdlog/logger.h>

#include <memory>
#include <string>
#include <utility>

namespace velmora::internal {

/// Writes `text` at `level` to the global log and then to `robotLog` when there is one. A
/// failing sink is left to the loggers' error handlers; nothing is thrown.
void logOperation(const std::shared_ptr<spdlog::logger>& robotLog, spdlog::level::level_enum level,
                  const std::string& text) noexcept;

/// The same with the text formatted here, where a failure to format costs only the line.
template <typename... Args>
void logOperation(const std::shared_ptr<spdlog::logger>& robotLog, spdlog::level::level_enum level,
                  fmt::format_string<Args...> format, Args&&... args) noexcept {
  try {
    logOperation(robotLog, level, fmt::format(format, std::forward<Args>(args)...));
  } catch (...) {
  }
}

}  // namespace velmora::internal
