#include "common/log_registry.h"

#include <spdlog/pattern_formatter.h>

#include <atomic>
#include <vector>

#include "common/logging.h"

namespace velmora::internal {

namespace {

constexpr std::chrono::milliseconds kFlushInterval{500};

std::atomic<LogRegistry*> created{nullptr};

std::unique_ptr<spdlog::formatter> makeFormatter(const std::string& pattern) {
  return std::make_unique<spdlog::pattern_formatter>(pattern, spdlog::pattern_time_type::local, "\r\n");
}

// Constructed when the library loads, before any registry can exist, so destroyed after
// everything built later: the flusher thread is joined before the library's code goes away.
struct FlusherStopAtUnload {
  ~FlusherStopAtUnload() {
    if (LogRegistry* registry = created.load()) registry->shutdownFlusher();
  }
} flusherStopAtUnload;

}  // namespace

LogRegistry& LogRegistry::instance() {
  // Never destroyed: objects of the host that are destroyed after the library's statics
  // (a robot held in a global, say) still log through it.
  static LogRegistry* const registry = [] {
    auto* r = new LogRegistry();
    created.store(r);
    return r;
  }();
  return *registry;
}

LogRegistry::LogRegistry() : errorHandler_(globalLogErrorHandler), flusher_(kFlushInterval, [this] { flushAll(); }) {}

std::shared_ptr<spdlog::logger> LogRegistry::get(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = loggers_.find(name);
  return it == loggers_.end() ? nullptr : it->second;
}

std::shared_ptr<spdlog::logger> LogRegistry::getOrCreate(const std::string& name, const Factory& make) {
  std::shared_ptr<spdlog::logger> logger;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& slot = loggers_[name];
    if (!slot) {
      try {
        slot = make();
      } catch (...) {
        loggers_.erase(name);
        throw;
      }
      if (!slot) {
        loggers_.erase(name);
        return nullptr;
      }
      apply(*slot);
    }
    logger = slot;
  }
  flusher_.start();
  return logger;
}

void LogRegistry::registerGlobal(const std::shared_ptr<spdlog::logger>& logger) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    apply(*logger);
    loggers_[logger->name()] = logger;
    global_ = logger;
  }
  flusher_.start();
}

void LogRegistry::drop(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  loggers_.erase(name);
}

// Lock order: the registry's mutex before any sink's mutex. Sinks report failures only after
// releasing their own mutex, so the error path never takes them the other way round.
void LogRegistry::setLevel(spdlog::level::level_enum level) {
  std::lock_guard<std::mutex> lock(mutex_);
  level_ = level;
  for (auto& entry : loggers_) entry.second->set_level(level);
}

void LogRegistry::setPattern(const std::string& pattern) {
  std::lock_guard<std::mutex> lock(mutex_);
  pattern_ = pattern;
  for (auto& entry : loggers_) entry.second->set_formatter(makeFormatter(pattern_));
}

void LogRegistry::setErrorHandler(spdlog::err_handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  errorHandler_ = std::move(handler);
}

void LogRegistry::apply(spdlog::logger& logger) const {
  logger.set_level(level_);
  logger.set_formatter(makeFormatter(pattern_));
  // spdlog's handler slot is a plain std::function that its logging threads read unguarded;
  // it is set once here, and the handler it forwards to is swapped under our lock instead.
  logger.set_error_handler([](const std::string& message) { LogRegistry::instance().handleError(message); });
}

void LogRegistry::handleError(const std::string& message) const {
  spdlog::err_handler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handler = errorHandler_;
  }
  try {
    if (handler) handler(message);
  } catch (...) {
    // A failing handler must not turn a lost log line into a failed operation.
  }
}

void LogRegistry::flushAll() {
  std::vector<std::shared_ptr<spdlog::logger>> loggers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    loggers.reserve(loggers_.size() + 1);
    for (const auto& entry : loggers_) loggers.push_back(entry.second);
    if (global_) {
      const auto it = loggers_.find(global_->name());
      if (it == loggers_.end() || it->second != global_) loggers.push_back(global_);
    }
  }
  for (const auto& logger : loggers) logger->flush();
}

void LogRegistry::shutdownFlusher() {
  flusher_.stop();
  flushAll();
}

bool LogRegistry::flusherRunning() const { return flusher_.running(); }

}  // namespace velmora::internal
