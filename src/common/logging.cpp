#include "common/logging.h"

#include <spdlog/sinks/null_sink.h>

namespace velmora::internal {

std::shared_ptr<spdlog::logger> globalLogger() noexcept {
  static const auto logger =
      std::make_shared<spdlog::logger>("global_logger", std::make_shared<spdlog::sinks::null_sink_mt>());
  return logger;
}

}  // namespace velmora::internal
