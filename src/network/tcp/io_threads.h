#pragma once
// The library's long-running threads: the links' I/O loops and motion control's workers. A thread
// whose body has ended waits a while for the next one, so a link or worker started again (a
// reconnection, the next robot, the file link of a new connection) is taken up by a thread that
// is already there: creating one costs a hundred microseconds and more, and being scheduled for
// the first time on a busy machine milliseconds.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace velmora::internal {

class IoThreads {
 public:
  /// One body run on a pooled thread.
  class Job {
   public:
    /// Waits until the body has returned. Never from the body itself.
    void join();
    /// The body has returned (its thread's part).
    void finish();
    /// Whether the calling thread runs the body, which must then never join it.
    bool runsHere() const noexcept { return runner_.load() == std::this_thread::get_id(); }
    /// The thread's part, before the body starts.
    void startOn(std::thread::id runner) noexcept { runner_.store(runner); }

   private:
    std::atomic<std::thread::id> runner_{};
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
  };

  /// Runs `body` on an idle thread, or on a new one when none is idle; throws what starting a
  /// thread throws. Any thread.
  static std::shared_ptr<Job> run(std::function<void()> body);

  /// Runs both bodies when two threads are idle, waking only the first, which wakes the second
  /// before its own body: the caller pays one wake-up instead of two. False, with nothing
  /// started, when fewer than two are idle. Any thread.
  static bool runPair(const std::function<void()>& first, const std::function<void()>& second,
                      std::shared_ptr<Job>& firstJob, std::shared_ptr<Job>& secondJob);

  /// Threads waiting for a body now.
  static std::size_t idleCount();
};

}  // namespace velmora::internal
