#pragma once
// The threads that run the links' I/O loops. A thread whose loop has ended waits a while for
// the next one, so a link started again (a reconnection, the next robot, the file link of a new
// connection) is taken up by a thread that is already there instead of waiting for a new one to
// be scheduled, which on a busy machine takes milliseconds.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

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

   private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
  };

  /// Runs `body` on an idle thread, or on a new one when none is idle; throws what starting a
  /// thread throws. Any thread.
  static std::shared_ptr<Job> run(std::function<void()> body);
};

}  // namespace velmora::internal
