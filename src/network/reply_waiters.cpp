#include "network/reply_waiters.h"

#include <velmora/error.h>

#include <algorithm>
#include <thread>

namespace velmora::internal {

ReplyWaiters::Ticket::Ticket(ReplyWaiters& waiters, std::uint64_t id) : waiters_(waiters), id_(id) {
  std::lock_guard<std::mutex> lock(waiters_.mutex_);
  waiters_.waiting_[id_] = this;
  waiters_.waitingCount_.store(waiters_.waiting_.size(), std::memory_order_relaxed);
}

ReplyWaiters::Ticket::~Ticket() {
  std::lock_guard<std::mutex> lock(waiters_.mutex_);
  const auto it = waiters_.waiting_.find(id_);
  if (it != waiters_.waiting_.end() && it->second == this) waiters_.waiting_.erase(it);
  waiters_.waitingCount_.store(waiters_.waiting_.size(), std::memory_order_relaxed);
}

std::error_code ReplyWaiters::Ticket::wait(Json::Value& reply,
                                           std::chrono::steady_clock::time_point deadline) {
  // A lone request on a local network has its reply within tens of microseconds; watching for
  // it that long spares the sleep and the wake-up, which cost about as much again. With other
  // requests in flight the link is busy anyway and the processor is better left to them.
  static const bool multicore = std::thread::hardware_concurrency() > 1;
  if (multicore && waiters_.waitingCount_.load(std::memory_order_relaxed) == 1) {
    const auto until = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::microseconds(60));
    while (!settled_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < until) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
  }
  std::unique_lock<std::mutex> lock(waiters_.mutex_);
  condition_.wait_until(lock, deadline, [this] { return state_ != State::waiting; });
  switch (state_) {
    case State::replied:
      reply.swap(reply_);
      return makeErrorCode(0);
    case State::failed:
      return failure_;
    case State::waiting:
      break;
  }
  return makeErrorCode(263);
}

bool ReplyWaiters::deliver(std::uint64_t id, Json::Value& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = waiting_.find(id);
  if (it == waiting_.end() || it->second->state_ == Ticket::State::replied) return false;
  Ticket& ticket = *it->second;
  // A reply that arrives right after the link failed still carries the controller's answer.
  ticket.reply_.swap(message);
  ticket.state_ = Ticket::State::replied;
  ticket.settled_.store(true, std::memory_order_release);
  ticket.condition_.notify_one();
  return true;
}

void ReplyWaiters::failAll(const std::error_code& code) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& entry : waiting_) {
    Ticket& ticket = *entry.second;
    if (ticket.state_ != Ticket::State::waiting) continue;
    ticket.state_ = Ticket::State::failed;
    ticket.failure_ = code;
    ticket.settled_.store(true, std::memory_order_release);
    ticket.condition_.notify_one();
  }
}

std::size_t ReplyWaiters::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiting_.size();
}

}  // namespace velmora::internal
