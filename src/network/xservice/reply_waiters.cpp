#include "network/xservice/reply_waiters.h"

#include <json/reader.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <velmora/error.h>

#include <algorithm>
#include <ctime>
#include <thread>
#include <vector>

#include "common/cpu_relax.h"
#include "common/json_read.h"
#include "network/tcp/tcp_client.h"
#include "network/xservice/reply_text.h"

namespace velmora::internal {

namespace {

using Clock = std::chrono::steady_clock;

// A request on a local network has its reply within tens of microseconds; watching for it that
// long spares the sleep and the wake-up, which cost about as much again.
constexpr auto kSpin = std::chrono::microseconds(60);
// A request with others ahead of it on its link watches that long for each, up to this many.
constexpr std::size_t kSpinDepth = 4;

// Reply texts are copied into a buffer the waiting thread lends its ticket, so a thread making
// request after request allocates none once its buffer has grown.
std::vector<std::string>& bufferPool() {
  thread_local std::vector<std::string> pool;
  return pool;
}

std::string borrowBuffer() {
  auto& pool = bufferPool();
  if (pool.empty()) return {};
  std::string buffer = std::move(pool.back());
  pool.pop_back();
  return buffer;
}

void returnBuffer(std::string&& buffer) {
  auto& pool = bufferPool();
  // A buffer grown by a rare large reply is given back.
  if (buffer.capacity() > 64 * 1024 || pool.size() >= 4) return;
  buffer.clear();
  pool.push_back(std::move(buffer));
}

}  // namespace

// The process's permission to spin: a few waiters at once, at most half the cores, and only
// while the requests waiting in the process leave two cores to the threads that answer them and
// to those being woken; a spinner that finds more waiting stops. So many requests waiting
// together (on one link or on many) never starve those threads. The others sleep at once.
class SpinSlot {
 public:
  SpinSlot() noexcept {
    const int waitingNow = waiting().fetch_add(1, std::memory_order_relaxed) + 1;
    held_ = waitingNow <= limits().crowd && take();
  }
  ~SpinSlot() {
    release();
    waiting().fetch_sub(1, std::memory_order_relaxed);
  }
  SpinSlot(const SpinSlot&) = delete;
  SpinSlot& operator=(const SpinSlot&) = delete;

  bool held() const noexcept { return held_; }
  // Whether a spinner goes on: its time is not up and no crowd has gathered since it began.
  static bool keepSpinning(Clock::time_point end) noexcept {
    return Clock::now() < end && waiting().load(std::memory_order_relaxed) <= limits().crowd;
  }
  void release() noexcept {
    if (!held_) return;
    spinners().fetch_sub(1, std::memory_order_relaxed);
    held_ = false;
  }

 private:
  struct Limits {
    int slots;  // spinners at once
    int crowd;  // requests waiting, beyond which none spins
  };
  static const Limits& limits() noexcept {
    static const Limits fixed = [] {
      const int cores = static_cast<int>(std::thread::hardware_concurrency());
      const int slots = cores > 1 ? cores / 2 : 0;
      return Limits{slots, std::max(slots, cores - 2)};
    }();
    return fixed;
  }
  static std::atomic<int>& spinners() noexcept {
    static std::atomic<int> count{0};
    return count;
  }
  // Requests waiting in the process now.
  static std::atomic<int>& waiting() noexcept {
    static std::atomic<int> count{0};
    return count;
  }
  static bool take() noexcept {
    auto& count = spinners();
    int now = count.load(std::memory_order_relaxed);
    while (now < limits().slots) {
      if (count.compare_exchange_weak(now, now + 1, std::memory_order_relaxed)) return true;
    }
    return false;
  }

  bool held_ = false;
};

ReplyWaiters::Ticket::Ticket(ReplyWaiters& waiters, std::uint64_t id)
    : waiters_(waiters), id_(id), text_(borrowBuffer()) {
  std::lock_guard<std::mutex> lock(waiters_.mutex_);
  Ticket*& head = waiters_.buckets_[id_ % kBuckets];
  next_ = head;
  head = this;                   // a newer ticket for the same id is found first
  waiters_.count_.fetch_add(1);  // before this request's reader looks whether the reading is free
}

ReplyWaiters::Ticket::~Ticket() {
  if (reading()) stopReading();
  std::atomic<std::uint32_t>* words[2] = {nullptr, nullptr};
  int n = 0;
  bool passOn = false;
  {
    std::lock_guard<std::mutex> lock(waiters_.mutex_);
    // Called to read but leaving without: the call goes to another.
    passOn = settled_.load(std::memory_order_relaxed) == kCalled;
    if (queuedToWake_) {
      auto& queue = waiters_.toWake_;
      const auto at = std::find(queue.begin(), queue.end(), this);
      if (at != queue.end()) queue.erase(at);
    }
    if (owesWakes_) n = waiters_.takeTurn(*this, words);
    for (Ticket** at = &waiters_.buckets_[id_ % kBuckets]; *at != nullptr; at = &(*at)->next_) {
      if (*at == this) {
        *at = next_;
        waiters_.count_.fetch_sub(1, std::memory_order_relaxed);
        break;
      }
    }
  }
  for (int i = 0; i < n; ++i) wakeUp(words[i]);
  if (passOn && !waiters_.passReading(*this) && waiters_.reader_ != nullptr) waiters_.reader_->readOnNow();
  returnBuffer(std::move(text_));
}

bool ReplyWaiters::Ticket::readFromNow() noexcept {
  if (reading()) return true;
  if (waiters_.reader_ == nullptr || !waiters_.reader_->claimRead()) return false;
  // Set and cleared by this request's own thread only.
  waiters_.readingTicket_.store(this, std::memory_order_relaxed);
  return true;
}

bool ReplyWaiters::Ticket::settle(State state) {
  state_ = state;
  // Paired with `sleep`: either the waiter sees the outcome or this sees it sleeping.
  settled_.store(kSettled, std::memory_order_seq_cst);
  return sleeping_.load(std::memory_order_seq_cst);
}

// The address alone goes to the kernel, so a ticket gone meanwhile costs at most a spurious
// wake-up of whatever sleeps there next, which re-checks its word.
void ReplyWaiters::Ticket::wakeUp(std::atomic<std::uint32_t>* settled) noexcept {
  ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(settled), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

void ReplyWaiters::Ticket::sleep(Clock::time_point deadline) noexcept {
  sleeping_.store(true, std::memory_order_seq_cst);
  if (settled_.load(std::memory_order_seq_cst) == 0) {
    const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::min<Clock::duration>(left, std::chrono::hours(24)));
    timespec wait{};
    wait.tv_sec = static_cast<time_t>(ns.count() / 1'000'000'000);
    wait.tv_nsec = static_cast<long>(ns.count() % 1'000'000'000);
    // Returns when woken, when the word is no longer 0, at the timeout or on a signal; the
    // caller looks again in every case.
    ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&settled_), FUTEX_WAIT_PRIVATE, 0u, &wait, nullptr, 0);
  }
  // Cleared before the lock is taken: whoever hands this ticket a duty from now on sees it
  // awake, and a duty handed before is found below.
  sleeping_.store(false, std::memory_order_seq_cst);
  std::atomic<std::uint32_t>* words[2] = {nullptr, nullptr};
  int n = 0;
  {
    std::lock_guard<std::mutex> lock(waiters_.mutex_);
    if (owesWakes_) n = waiters_.takeTurn(*this, words);
  }
  for (int i = 0; i < n; ++i) wakeUp(words[i]);
}

std::error_code ReplyWaiters::Ticket::wait(Json::Value& reply, Clock::time_point deadline) {
  SpinSlot slot;
  const auto spinEnd = slot.held() ? std::min(deadline, Clock::now() + spinTime()) : Clock::time_point::min();
  TcpClient* reader = waiters_.reader_;
  // The reply cannot be here yet: what this takes is waited anyway.
  if (reader != nullptr) reader->deferTick();
  unsigned spins = 0;
  for (;;) {
    std::uint32_t word = settled_.load(std::memory_order_acquire);
    if (word == kCalled) {
      // Taken up here: the reading is claimed below if still free.
      settled_.compare_exchange_strong(word, 0, std::memory_order_acq_rel);
    }
    if (word == kSettled) {
      if (reading()) stopReading();  // others' replies must not wait for this one's parse
      std::unique_lock<std::mutex> lock(waiters_.mutex_);
      if (state_ == State::failed) return failure_;
      if (takeReply(reply, lock)) return makeErrorCode(0);
      if (state_ == State::failed) return failure_;
      continue;  // the text was no reply: wait on
    }
    if (readFromNow()) {
      readForReply(deadline, slot, spinEnd);
      if (settled_.load(std::memory_order_acquire) != kSettled && Clock::now() >= deadline) break;
      continue;
    }
    if (slot.held()) {
      // The clock is read now and then only: a spinning waiter is all about reacting fast.
      if ((++spins & 63) != 0 || SpinSlot::keepSpinning(spinEnd)) {
        cpuRelax();
        continue;
      }
      slot.release();
    }
    if (Clock::now() >= deadline) break;
    sleep(deadline);
  }
  // The deadline passed; a reply or failure that came meanwhile still counts.
  std::unique_lock<std::mutex> lock(waiters_.mutex_);
  if (state_ == State::failed) return failure_;
  if (takeReply(reply, lock)) return makeErrorCode(0);
  return state_ == State::failed ? failure_ : makeErrorCode(263);
}

Clock::duration ReplyWaiters::Ticket::spinTime() const noexcept {
  // Replies come in order: one behind others on its link waits about as many round trips more.
  const auto ahead = std::min<std::size_t>(waiters_.count_.load(std::memory_order_relaxed), kSpinDepth);
  return kSpin * static_cast<int>(std::max<std::size_t>(ahead, 1));
}

void ReplyWaiters::Ticket::readForReply(Clock::time_point deadline, SpinSlot& slot, Clock::time_point spinEnd) {
  TcpClient& client = *waiters_.reader_;
  // A waiter that may not spin has just sent: its reply cannot be there yet, so it waits for the
  // socket before the first read instead of asking it in vain.
  if (!slot.held() && settled_.load(std::memory_order_acquire) != kSettled) client.waitReadable(deadline);
  for (unsigned round = 1;; ++round) {
    // Others waiting on the link send meanwhile, and a read holds the socket's lock their sends
    // need: with them, the socket is looked at without the lock until something is there.
    const bool shared = waiters_.count_.load(std::memory_order_relaxed) > 1;
    const TcpClient::ReadStatus status = shared && !client.readable() ? TcpClient::ReadStatus::idle : client.read();
    if (settled_.load(std::memory_order_acquire) == kSettled || status != TcpClient::ReadStatus::idle) break;
    if (slot.held()) {
      if ((round & 7) != 0 || SpinSlot::keepSpinning(spinEnd)) {
        cpuRelax();
        continue;
      }
      slot.release();
    }
    if (Clock::now() >= deadline) break;
    client.waitReadable(deadline);
  }
  stopReading();
}

bool ReplyWaiters::Ticket::buildPicked(std::string_view text, Json::Value& out) const {
  return pick_ != nullptr && buildReplyValue(text, id_, pick_->form, pick_->key, out);
}

void ReplyWaiters::Ticket::stopReading() noexcept {
  TcpClient& client = *waiters_.reader_;
  waiters_.readingTicket_.store(nullptr, std::memory_order_relaxed);
  client.releaseRead();
  // This ticket is still counted. Loaded after the release: a waiter that came meanwhile and
  // found the reading taken went to sleep counting on being called, or on the I/O thread.
  if (waiters_.count_.load() > 1 && !waiters_.passReading(*this)) client.readOnNow();
}

bool ReplyWaiters::Ticket::takeReply(Json::Value& reply, std::unique_lock<std::mutex>& lock) {
  if (state_ != State::replied) return false;
  if (!isText_) {
    reply.swap(reply_);
    return true;
  }
  // The text is this request's alone once it has replied; it is parsed outside the lock.
  lock.unlock();
  Json::Value parsed;
  const char* why = nullptr;
  try {
    const std::string_view text(text_.data(), text_.size());
    if (buildPicked(text, parsed)) {
      reply.swap(parsed);
      picked_ = true;
      return true;  // the lock stays released, as below
    }
    // Most replies are plain objects, built without the full parse's machinery.
    if (!buildPlainObject(text, parsed)) {
      parsed = Json::Value();
      if (!messageReader().parse(text_.data(), text_.data() + text_.size(), &parsed, nullptr)) why = "not JSON";
    }
    if (why == nullptr && (!parsed.isObject() || parsed.size() < 2 || parsed.isMember("n") ||
                           !parsed["id"].isUInt64() || parsed["id"].asUInt64() != id_)) {
      why = "not a reply";
    }
  } catch (const std::exception&) {
    why = "not JSON";
  }
  if (why == nullptr) {
    reply.swap(parsed);
    return true;  // the lock stays released: nothing of the ticket changes any more
  }
  if (waiters_.dropNote_) waiters_.dropNote_(why, text_.size());
  lock.lock();
  isText_ = false;
  if (linkFailure_) {
    failure_ = linkFailure_;
    state_ = State::failed;
  } else {
    state_ = State::waiting;
    settled_.store(0, std::memory_order_relaxed);
  }
  return false;
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

int ReplyWaiters::takeTurn(Ticket& ticket, std::atomic<std::uint32_t>* words[2]) {
  ticket.owesWakes_ = false;
  int n = 0;
  while (n < 2 && !toWake_.empty()) {
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
