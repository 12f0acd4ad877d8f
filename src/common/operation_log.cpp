#include "common/operation_log.h"

#include "common/logging.h"

namespace velmora::internal {

void logOperation(const std::shared_ptr<spdlog::logger>& robotLog, spdlog::level::level_enum level,
                  const std::string& text) noexcept {
  try {
    globalLogger()->log(level, text);
    if (robotLog) robotLog->log(level, text);
  } catch (...) {
    // A log line is never worth a failed operation.
  }
}

}  // namespace velmora::internal
