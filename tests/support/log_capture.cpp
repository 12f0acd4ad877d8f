#include "support/log_capture.h"

#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <mutex>

#include "common/logging.h"

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

LogCapture::LogCapture() : sink_(std::make_shared<Sink>()) {
  velmora::internal::globalLogger()->sinks().push_back(sink_);
}

LogCapture::~LogCapture() {
  auto& sinks = velmora::internal::globalLogger()->sinks();
  sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
}

std::string LogCapture::text() const { return sink_->snapshot(); }
