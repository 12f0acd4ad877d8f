#include "common/logging.h"

#include <spdlog/sinks/null_sink.h>

#include <cstdio>

#include "common/daily_file_sink.h"
#include "common/log_registry.h"

namespace velmora::internal {

namespace {

constexpr const char* kGlobalLogFile = "logs/global_logger.log";
constexpr std::uint16_t kGlobalLogFiles = 7;

void printLogError(const std::string& message) noexcept {
  std::fprintf(stderr, "[*** LOG ERROR ***][SDK error handler] %s\n", message.c_str());
}

std::shared_ptr<daily_file_sink> makeDailySink(const std::string& baseFileName, std::uint16_t maxFiles) {
  return std::make_shared<daily_file_sink>(baseFileName, 0, 0, false, maxFiles, true, spdlog::file_event_handlers{},
                                           daily_file_sink::Clock::now());
}

}  // namespace

std::shared_ptr<spdlog::logger> createGlobalLogger(const std::string& baseFileName) noexcept {
  std::shared_ptr<spdlog::sinks::sink> sink;
  try {
    sink = makeDailySink(baseFileName, kGlobalLogFiles);
  } catch (const std::exception& e) {
    // Every public operation logs through the global log, so a folder that cannot be written
    // (read-only directory, a file in its place) must not make them all fail.
    printLogError(std::string("global log disabled: ") + e.what());
    sink = std::make_shared<spdlog::sinks::null_sink_mt>();
  }
  return std::make_shared<spdlog::logger>("global_logger", std::move(sink));
}

std::shared_ptr<spdlog::logger> globalLogger() noexcept {
  // Never destroyed, like the registry: it is used by objects destroyed during process exit.
  static const std::shared_ptr<spdlog::logger>* const logger = [] {
    auto created = createGlobalLogger(kGlobalLogFile);
    LogRegistry::instance().registerGlobal(created);
    return new std::shared_ptr<spdlog::logger>(std::move(created));
  }();
  return *logger;
}

std::shared_ptr<spdlog::logger> dailyFileLogger(const std::string& name, const std::string& baseFileName,
                                                std::uint16_t maxFiles) {
  return LogRegistry::instance().getOrCreate(
      name, [&] { return std::make_shared<spdlog::logger>(name, makeDailySink(baseFileName, maxFiles)); });
}

void reportLogError(spdlog::logger& target, const std::string& message) noexcept {
  // When the target's own sink is what fails, logging the failure fails again and spdlog
  // calls the handler from inside itself; the guard ends that recursion on stderr.
  thread_local bool reporting = false;
  if (reporting) {
    printLogError(message);
    return;
  }
  reporting = true;
  try {
    target.error("*** LOGGER ERROR ***: {}", message);
  } catch (...) {
    printLogError(message);
  }
  reporting = false;
}

void globalLogErrorHandler(const std::string& message) noexcept { reportLogError(*globalLogger(), message); }

}  // namespace velmora::internal
