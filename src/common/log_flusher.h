#pragma once
// The thread that flushes the library's logs periodically, so that lines reach the disk
// without each line paying for a flush.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace velmora::internal {

class LogFlusher {
 public:
  /// `work` runs every `interval` on the flusher's thread once started; its exceptions are
  /// swallowed.
  LogFlusher(std::chrono::milliseconds interval, std::function<void()> work);
  ~LogFlusher();
  LogFlusher(const LogFlusher&) = delete;
  LogFlusher& operator=(const LogFlusher&) = delete;

  /// Starts the thread; does nothing when it runs already or after `stop`.
  void start();
  /// Stops and joins the thread for good; waits at most for one run of `work`. Idempotent.
  void stop();
  bool running() const;

 private:
  void run();

  const std::chrono::milliseconds interval_;
  const std::function<void()> work_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool started_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace velmora::internal
