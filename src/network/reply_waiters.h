#pragma once
// Requests of one link waiting for their replies by id. Each waiter sleeps on its own condition,
// so a reply wakes only its own request; a lost link fails every waiter at once.

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <unordered_map>

namespace velmora::internal {

class ReplyWaiters {
 public:
  /// One waiting request, registered for its id from construction to destruction. Register
  /// before sending, so that no reply can arrive before anyone waits for it.
  class Ticket {
   public:
    Ticket(ReplyWaiters& waiters, std::uint64_t id);
    ~Ticket();
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

    /// Waits until the reply arrives (0, `reply` filled), the link fails (its code, 256 for a
    /// lost link) or the deadline passes (263). A reply that is already there wins over a
    /// failure that came after it.
    std::error_code wait(Json::Value& reply, std::chrono::steady_clock::time_point deadline);

   private:
    friend class ReplyWaiters;
    enum class State { waiting, replied, failed };
    ReplyWaiters& waiters_;
    std::uint64_t id_;
    std::condition_variable condition_;
    State state_ = State::waiting;
    std::atomic<bool> settled_{false};  // state_ left waiting; read without the lock while spinning
    Json::Value reply_;
    std::error_code failure_;
  };

  ReplyWaiters() = default;
  ReplyWaiters(const ReplyWaiters&) = delete;
  ReplyWaiters& operator=(const ReplyWaiters&) = delete;

  /// Hands a reply to the request waiting for `id`; false (and `message` untouched) when no
  /// request waits for it any more.
  bool deliver(std::uint64_t id, Json::Value& message);

  /// Fails every waiting request with `code` and wakes them all (a lost link).
  void failAll(const std::error_code& code);

  /// Requests waiting now.
  std::size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::uint64_t, Ticket*> waiting_;
  std::atomic<std::size_t> waitingCount_{0};  // waiting_.size(), read without the lock
};

}  // namespace velmora::internal
