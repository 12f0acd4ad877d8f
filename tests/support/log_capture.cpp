#include "support/log_capture.h"

#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <mutex>

#include "common/log_registry.h"
#include "common/logging.h"

void attachToGlobalLog(const std::shared_ptr<spdlog::sinks::sink>& sink) {
  auto logger = velmora::internal::globalLogger();
  velmora::internal::LogRegistry::instance().shutdownFlusher();
  logger->sinks().push_back(sink);
}

void detachFromGlobalLog(const std::shared_ptr<spdlog::sinks::sink>& sink) {
  auto& sinks = velmora::internal::globalLogger()->sinks();
  sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
}

struct LogCapture::Sink final : spdlog::sinks::base_sink<std::mutex> {
  std::string captured;

  std::string snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return captured;
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    captured.append(msg.payload.data(), msg.payload.size());
    captured.push_back('\n');
  }
  void flush_() override {}
};

LogCapture::LogCapture() : sink_(std::make_shared<Sink>()) { attachToGlobalLog(sink_); }

LogCapture::~LogCapture() { detachFromGlobalLog(sink_); }

std::string LogCapture::text() const { return sink_->snapshot(); }
