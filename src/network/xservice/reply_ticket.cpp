// A request waiting for its reply: registered by id, it reads the link itself while nobody else
// does, else sleeps on its word until the reader or the I/O thread hands its reply over.

#include <json/reader.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <velmora/error.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "common/cpu_relax.h"
#include "common/json_read.h"
#include "common/wait_policy.h"
#include "network/tcp/tcp_client.h"
#include "network/xservice/reply_text.h"
#include "network/xservice/reply_waiters.h"

namespace velmora::internal {

namespace {

using Clock = std::chrono::steady_clock;

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

ReplyWaiters::Ticket::Ticket(ReplyWaiters& waiters, std::uint64_t id)
    : waiters_(waiters), id_(id), start_(Clock::now()), text_(borrowBuffer()) {
  std::lock_guard<std::mutex> lock(waiters_.mutex_);
  Ticket*& head = waiters_.buckets_[id_ % kBuckets];
  next_ = head;
  head = this;                   // a newer ticket for the same id is found first
  waiters_.count_.fetch_add(1);  // before this request's reader looks whether the reading is free
}

ReplyWaiters::Ticket::~Ticket() {
  if (reading()) stopReading();
  std::atomic<std::uint32_t>* words[kWakesPerTurn] = {};
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
  if (passOn) waiters_.passReading(*this);
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
  std::atomic<std::uint32_t>* words[kWakesPerTurn] = {};
  int n = 0;
  {
    std::lock_guard<std::mutex> lock(waiters_.mutex_);
    if (owesWakes_) n = waiters_.takeTurn(*this, words);
  }
  for (int i = 0; i < n; ++i) wakeUp(words[i]);
}

std::error_code ReplyWaiters::Ticket::wait(Json::Value& reply, Clock::time_point deadline) {
  SpinPermit spin(waiters_.typicalRoundTrip(), deadline);
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
      if (takeReply(reply, lock)) {
        waiters_.noteRoundTrip(Clock::now() - start_);
        return makeErrorCode(0);
      }
      if (state_ == State::failed) return failure_;
      continue;  // the text was no reply: wait on
    }
    if (readFromNow()) {
      readForReply(deadline, spin);
      if (settled_.load(std::memory_order_acquire) != kSettled && Clock::now() >= deadline) break;
      continue;
    }
    if (spin.held()) {
      // The clock is read now and then only: a watching waiter is all about reacting fast.
      if ((++spins & 63) != 0 || spin.goOn()) {
        cpuRelax();
        continue;
      }
      spin.release();
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

void ReplyWaiters::Ticket::readForReply(Clock::time_point deadline, SpinPermit& spin) {
  TcpClient& client = *waiters_.reader_;
  for (unsigned round = 1;; ++round) {
    // Watching, it takes what is there; else it sleeps in the socket until bytes come: its own
    // reply, or another waiter's, handed over on the way.
    const TcpClient::ReadStatus status = client.read(spin.held() ? Clock::time_point{} : deadline);
    if (settled_.load(std::memory_order_acquire) == kSettled || status != TcpClient::ReadStatus::idle) break;
    if (spin.held()) {
      if ((round & 7) != 0 || spin.goOn()) {
        cpuRelax();
        continue;
      }
      spin.release();
    }
    if (Clock::now() >= deadline) break;
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
  // found the reading taken went to sleep counting on being called. When none waits, the
  // reading stays free for the next request to take: the I/O thread's read interest stays
  // parked (re-arming it for a moment costs two system calls a request).
  if (waiters_.count_.load() > 1) waiters_.passReading(*this);
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

}  // namespace velmora::internal
