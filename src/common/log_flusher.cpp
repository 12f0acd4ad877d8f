#include "common/log_flusher.h"

namespace velmora::internal {

LogFlusher::LogFlusher(std::chrono::milliseconds interval, std::function<void()> work)
    : interval_(interval), work_(std::move(work)) {}

LogFlusher::~LogFlusher() { stop(); }

void LogFlusher::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (started_ || stopping_) return;
  thread_ = std::thread([this] { run(); });
  started_ = true;
}

void LogFlusher::stop() {
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    thread.swap(thread_);
  }
  wake_.notify_all();
  if (thread.joinable()) thread.join();
}

bool LogFlusher::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return started_ && !stopping_;
}

void LogFlusher::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  auto next = std::chrono::steady_clock::now() + interval_;
  while (!wake_.wait_until(lock, next, [this] { return stopping_; })) {
    lock.unlock();
    try {
      work_();
    } catch (...) {
      // A flush failure is the sink's to report; the flusher keeps its pace.
    }
    lock.lock();
    next += interval_;
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now + interval_;  // after a stall, no burst of catch-up flushes
  }
}

}  // namespace velmora::internal
