#pragma once
// Requests of one link waiting for their replies by id. Each waiter sleeps on a word of its own,
// so a reply wakes only its own request, and the waker never makes it queue for a lock on
// waking; a lost link fails every waiter at once. A waiter whose link lets callers read reads
// the socket itself while nobody else does, asleep in the socket's receive call, so a lone
// request's reply goes from the socket to it without waking any other thread. Once its reply is
// in, it calls another waiter to read on, so replies keep going straight to waiting callers
// rather than through the link's I/O thread.
//
// The waits and hand-offs, each explained where it is made (reply_ticket.cpp, reply_waiters.cpp):
// - the reader sleeps in the socket; the others sleep on their words (or watch briefly, see
//   wait_policy.h);
// - a reply read for another waiter is handed over as text and wakes that waiter alone;
// - many replies handed over at once are woken in a tree: each woken waiter wakes four more;
// - a reader whose reply is in calls one waiter still waiting to read on; with none waiting,
//   the reading stays free for the next request, the I/O thread's interest parked;
// - a lost link fails and wakes every waiter at once.

#include <json/value.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace velmora::internal {

class TcpClient;
class SpinPermit;

class ReplyWaiters {
 public:
  /// The one value a request wants of its reply: the member `key` of the object `form`.
  struct Pick {
    std::string_view form;
    std::string_view key;
  };

  /// One waiting request, registered for its id from construction to destruction. Register
  /// before sending, so that no reply can arrive before anyone waits for it.
  class Ticket {
   public:
    Ticket(ReplyWaiters& waiters, std::uint64_t id);
    ~Ticket();
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

    /// Takes the reading of the link now, if nobody reads it, so that the reply, once sent
    /// for, finds this request reading rather than waking another thread. Call right before
    /// sending; `wait` reads on (and the destructor lets go when nothing was sent).
    /// True when this request holds the reading (already, or from now).
    bool readFromNow() noexcept;
    // This request's thread holds the link's reading.
    bool reading() const noexcept { return waiters_.readingTicket_.load(std::memory_order_relaxed) == this; }
    // The value `pick_` names, built from `text` when it is this request's plain reply.
    bool buildPicked(std::string_view text, Json::Value& out) const;
    // Gives the link's reading back; with others waiting, the I/O thread reads on at once.
    void stopReading() noexcept;

    /// Asks `wait` for the value `pick` names rather than the whole reply, where the reply can
    /// give it without being built whole; `picked` then tells. `pick` must outlive the wait.
    void pickOnly(const Pick* pick) noexcept { pick_ = pick; }
    /// After a successful `wait`: `reply` is the picked value, not the whole reply.
    bool picked() const noexcept { return picked_; }

    /// Waits until the reply arrives (0, `reply` filled), the link fails (its code, 256 for a
    /// lost link) or the deadline passes (263). A reply that is already there wins over a
    /// failure that came after it.
    std::error_code wait(Json::Value& reply, std::chrono::steady_clock::time_point deadline);

   private:
    friend class ReplyWaiters;
    enum class State { waiting, replied, failed };
    static constexpr std::uint32_t kSettled = 1;
    static constexpr std::uint32_t kCalled = 2;
    // Under the lock: the outcome; true when the waiter sleeps and must be woken (by
    // `wakeUp`, best after the lock is released: the waiter then does not queue for it).
    bool settle(State state);
    static void wakeUp(std::atomic<std::uint32_t>* settled) noexcept;
    // Sleeps until settled, woken or the deadline; then wakes its share of others.
    void sleep(std::chrono::steady_clock::time_point deadline) noexcept;
    // Reads the link while this request waits and nobody else reads; returns when the reply is
    // here, the deadline has passed or reading must be left to the I/O thread.
    void readForReply(std::chrono::steady_clock::time_point deadline, SpinPermit& spin);
    // Under the lock: the reply as a value, parsing its text here (with the lock released, and
    // left so when it succeeds) when it came as text; false when the text is no reply after all
    // (it is dropped, as the receive path would).
    bool takeReply(Json::Value& reply, std::unique_lock<std::mutex>& lock);

    ReplyWaiters& waiters_;
    std::uint64_t id_;
    std::chrono::steady_clock::time_point start_;  // about when the request left
    Ticket* next_ = nullptr;                       // in its bucket
    State state_ = State::waiting;
    // kSettled once state_ left waiting, kCalled while called to take up the reading; read
    // without the lock.
    std::atomic<std::uint32_t> settled_{0};
    std::atomic<bool> sleeping_{false};  // the waiter sleeps on settled_
    bool owesWakes_ = false;             // under the lock: woken to wake others in turn
    bool queuedToWake_ = false;          // under the lock: in `toWake_`
    Json::Value reply_;                  // a reply handed over parsed
    std::string text_;                   // a reply handed over as text, parsed by the waiter
    bool isText_ = false;
    const Pick* pick_ = nullptr;
    bool picked_ = false;
    std::error_code failure_;
    std::error_code linkFailure_;  // a failure that came after the reply, kept for a bad reply
  };

  ReplyWaiters() = default;
  ReplyWaiters(const ReplyWaiters&) = delete;
  ReplyWaiters& operator=(const ReplyWaiters&) = delete;

  /// Lets waiting requests read `client` themselves (set before any request waits).
  void setReader(TcpClient* client) noexcept { reader_ = client; }
  /// Told about a reply text that turned out not to parse (why, its size). Set before use.
  void setDropNote(std::function<void(const char*, std::size_t)> note) { dropNote_ = std::move(note); }

  /// Hands a reply to the request waiting for `id`; false (and `message` untouched) when no
  /// request waits for it any more.
  bool deliver(std::uint64_t id, Json::Value& message);
  /// The same with the reply's text (no carriage return), which the waiting thread parses.
  bool deliverText(std::uint64_t id, std::string_view text);

  /// For a message a waiting request's thread read (no carriage return): when that request
  /// waits alone and this is its plain reply, settles it with the value it picks, built here in
  /// one pass. False otherwise, and the message goes the usual way.
  bool takeOwnReply(std::string_view text);

  /// How many replies `takeOwnReply` has settled so far.
  std::uint64_t ownReplies() const noexcept { return ownReplies_.load(std::memory_order_relaxed); }

  /// Fails every waiting request with `code` and wakes them all (a lost link).
  void failAll(const std::error_code& code);

  /// Requests waiting now.
  std::size_t size() const;

  /// Takes `roundTrip` (a connection's handshake) as the first measure of the link, when there
  /// is none yet.
  void seedRoundTrip(std::chrono::steady_clock::duration roundTrip) noexcept {
    std::chrono::steady_clock::rep none = 0;
    typical_.compare_exchange_strong(none, roundTrip.count(), std::memory_order_relaxed);
  }
  /// How long replies on this link took lately (zero before the first).
  std::chrono::steady_clock::duration typicalRoundTrip() const noexcept {
    return std::chrono::steady_clock::duration(typical_.load(std::memory_order_relaxed));
  }

 private:
  static constexpr std::size_t kBuckets = 256;  // ids are consecutive, so they spread evenly
  // How many each woken request wakes in turn. Wide and shallow: on a busy machine each level
  // waits for its wakers to be given a core, so a burst of 60 replies is woken in four levels
  // rather than six; the reader itself still wakes only the first.
  static constexpr int kWakesPerTurn = 4;
  Ticket* find(std::uint64_t id) const noexcept;
  // A reply came `took` after its request left.
  void noteRoundTrip(std::chrono::steady_clock::duration took) noexcept;
  // Under the lock, for a ticket just settled while its waiter sleeps: the word to wake now,
  // or null when a request woken earlier will wake it.
  std::atomic<std::uint32_t>* wakeOrQueue(Ticket& ticket);
  // Under the lock: settles `ticket` with `value` (taken by swap) as its reply; the word to wake
  // after the lock, as `wakeOrQueue` gives it.
  std::atomic<std::uint32_t>* handOver(Ticket& ticket, Json::Value& value);
  // Under the lock: `ticket` was woken to wake others; takes up to `kWakesPerTurn` sleeping
  // ones off the queue into `words`, hands them the same duty, and returns how many.
  int takeTurn(Ticket& ticket, std::atomic<std::uint32_t>* words[kWakesPerTurn]);
  // `from` gave up the link's reading while others wait: calls one request still waiting to
  // take it up, waking it if it sleeps. False when none waits.
  bool passReading(const Ticket& from);

  mutable std::mutex mutex_;
  std::array<Ticket*, kBuckets> buckets_{};
  std::atomic<std::size_t> count_{0};  // changed under the lock, read without it
  // Replies handed to sleeping requests while others are being woken: each woken request wakes
  // `kWakesPerTurn` more, so the reader wakes one per batch instead of the whole crowd in turn.
  std::vector<Ticket*> toWake_;
  int wakers_ = 0;  // woken requests that have not yet taken their turn
  TcpClient* reader_ = nullptr;
  std::atomic<Ticket*> readingTicket_{nullptr};  // the request whose thread reads the link now
  std::atomic<std::uint64_t> ownReplies_{0};
  // A running mean of the round trips (steady clock ticks), an eighth of each new one. Writers
  // may race; the mean only steers how to wait.
  std::atomic<std::chrono::steady_clock::rep> typical_{0};
  std::function<void(const char*, std::size_t)> dropNote_;
};

}  // namespace velmora::internal
