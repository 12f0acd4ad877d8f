#pragma once
// Logging of the library: the global log and the library's own logger registry.

#include <spdlog/logger.h>

#include <memory>

namespace velmora::internal {

/// The global log ("global_logger"). Never null and never throws: when the log folder cannot
/// be written the logger still works, without the file.
std::shared_ptr<spdlog::logger> globalLogger() noexcept;

}  // namespace velmora::internal
