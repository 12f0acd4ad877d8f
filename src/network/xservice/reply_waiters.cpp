// The waiters of one link: replies handed to their requests, wake-ups spread over the woken,
// the reading passed on, and a lost link failing every waiter.

#include "network/xservice/reply_waiters.h"

#include <vector>

#include "network/tcp/tcp_client.h"

namespace velmora::internal {

void ReplyWaiters::noteRoundTrip(std::chrono::steady_clock::duration took) noexcept {
  const auto mean = typical_.load(std::memory_order_relaxed);
  typical_.store(mean == 0 ? took.count() : mean + (took.count() - mean) / 8, std::memory_order_relaxed);
}

std::atomic<std::uint32_t>* ReplyWaiters::wakeOrQueue(Ticket& ticket) {
  if (wakers_ > 0) {
    try {
      toWake_.push_back(&ticket);
      ticket.queuedToWake_ = true;
      return nullptr;
    } catch (const std::bad_alloc&) {
      // Woken here instead.
    }
  }
  ++wakers_;
  ticket.owesWakes_ = true;
  return &ticket.settled_;
}

int ReplyWaiters::takeTurn(Ticket& ticket, std::atomic<std::uint32_t>* words[kWakesPerTurn]) {
  ticket.owesWakes_ = false;
  int n = 0;
  while (n < kWakesPerTurn && !toWake_.empty()) {
    Ticket* next = toWake_.back();
    toWake_.pop_back();
    next->queuedToWake_ = false;
    // One already awake sees its reply by itself and owes nothing.
    if (!next->sleeping_.load(std::memory_order_seq_cst)) continue;
    next->owesWakes_ = true;
    ++wakers_;
    words[n++] = &next->settled_;
  }
  --wakers_;
  return n;
}

bool ReplyWaiters::passReading(const Ticket& from) {
  std::atomic<std::uint32_t>* wake = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_.load(std::memory_order_relaxed) <= 1) return false;
    // Ids are consecutive: the ones after the caller's are the likeliest still to wait.
    for (std::size_t i = 1; i <= kBuckets && wake == nullptr; ++i) {
      for (Ticket* t = buckets_[(from.id_ + i) % kBuckets]; t != nullptr; t = t->next_) {
        if (t == &from || t->state_ != Ticket::State::waiting) continue;
        std::uint32_t word = 0;
        // Paired with `sleep` as `settle` is: either the waiter sees the call or this sees it
        // sleeping. One called already is about to read.
        if (!t->settled_.compare_exchange_strong(word, Ticket::kCalled, std::memory_order_seq_cst)) {
          if (word == Ticket::kCalled) return true;
          continue;
        }
        if (!t->sleeping_.load(std::memory_order_seq_cst)) return true;
        wake = &t->settled_;
        break;
      }
    }
  }
  if (wake == nullptr) return false;
  Ticket::wakeUp(wake);
  return true;
}

bool ReplyWaiters::takeOwnReply(std::string_view text) {
  // Called on the reading request's own thread, which alone sets and clears it.
  Ticket* ticket = readingTicket_.load(std::memory_order_relaxed);
  // With others waiting, most messages read are theirs: not worth a try.
  if (ticket == nullptr || count_.load(std::memory_order_relaxed) != 1) return false;
  Json::Value value;
  if (!ticket->buildPicked(text, value)) return false;
  std::atomic<std::uint32_t>* wake = nullptr;  // none: it is the one reading, awake
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ticket->state_ == Ticket::State::replied) return false;
    ticket->picked_ = true;
    wake = handOver(*ticket, value);
  }
  if (wake != nullptr) Ticket::wakeUp(wake);
  ownReplies_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

std::atomic<std::uint32_t>* ReplyWaiters::handOver(Ticket& ticket, Json::Value& value) {
  ticket.reply_.swap(value);
  ticket.isText_ = false;
  return ticket.settle(Ticket::State::replied) ? wakeOrQueue(ticket) : nullptr;
}

ReplyWaiters::Ticket* ReplyWaiters::find(std::uint64_t id) const noexcept {
  for (Ticket* t = buckets_[id % kBuckets]; t != nullptr; t = t->next_) {
    if (t->id_ == id) return t;
  }
  return nullptr;
}

bool ReplyWaiters::deliver(std::uint64_t id, Json::Value& message) {
  std::atomic<std::uint32_t>* wake = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Ticket* ticket = find(id);
    if (ticket == nullptr || ticket->state_ == Ticket::State::replied) return false;
    // A reply that arrives right after the link failed still carries the controller's answer.
    wake = handOver(*ticket, message);
  }
  if (wake != nullptr) Ticket::wakeUp(wake);
  return true;
}

bool ReplyWaiters::deliverText(std::uint64_t id, std::string_view text) {
  std::atomic<std::uint32_t>* wake = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Ticket* ticket = find(id);
    if (ticket == nullptr || ticket->state_ == Ticket::State::replied) return false;
    ticket->text_.assign(text.data(), text.size());
    ticket->isText_ = true;
    if (ticket->settle(Ticket::State::replied)) wake = wakeOrQueue(*ticket);
  }
  if (wake != nullptr) Ticket::wakeUp(wake);
  return true;
}

void ReplyWaiters::failAll(const std::error_code& code) {
  std::vector<std::atomic<std::uint32_t>*> words;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bool later = true;
    try {
      words.reserve(count_.load(std::memory_order_relaxed));
    } catch (const std::bad_alloc&) {
      later = false;  // woken right here then
    }
    for (Ticket* head : buckets_) {
      for (Ticket* t = head; t != nullptr; t = t->next_) {
        t->linkFailure_ = code;
        if (t->state_ != Ticket::State::waiting) continue;
        t->failure_ = code;
        if (!t->settle(Ticket::State::failed)) continue;
        if (later) {
          words.push_back(&t->settled_);
        } else {
          Ticket::wakeUp(&t->settled_);
        }
      }
    }
  }
  // All at once, outside the lock, so none of them queues for it on waking.
  for (auto* word : words) Ticket::wakeUp(word);
}

std::size_t ReplyWaiters::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_.load(std::memory_order_relaxed);
}

}  // namespace velmora::internal
