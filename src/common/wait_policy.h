#pragma once
// How a request waits for its reply: watching for it on the processor, or asleep at once (in
// the socket when it reads the link itself, else on a word of its own).
//
// Watching spares a sleep and a wake-up, a few microseconds on each side, and costs the
// processor for as long as it lasts; on a busy machine it also takes a core from the threads
// that answer. So it pays only when the reply is due within about what a sleep costs (replies
// on the link came that fast lately) and cores stand idle. A request on a loopback or a local
// network waits several times that long and sleeps at once: one call, and no processor time
// until its reply is there.

#include <chrono>

namespace velmora::internal {

class SpinPermit {
 public:
  using Clock = std::chrono::steady_clock;

  /// What a sleep and its wake-up cost together, on the waiter's side and the waker's.
  static constexpr std::chrono::microseconds kSleepCost{5};

  /// Decides for a request whose link's replies took `typical` lately whether it watches, and
  /// until when (never beyond `deadline`).
  SpinPermit(Clock::duration typical, Clock::time_point deadline) noexcept;
  ~SpinPermit() { release(); }
  SpinPermit(const SpinPermit&) = delete;
  SpinPermit& operator=(const SpinPermit&) = delete;

  bool held() const noexcept { return held_; }
  /// Whether watching goes on: call now and then (it reads the clock).
  bool goOn() const noexcept { return Clock::now() < until_; }
  void release() noexcept;

 private:
  bool held_ = false;
  Clock::time_point until_{};
};

/// Cores with nothing to run now, as the system counts them (sampled at most every few
/// milliseconds for the whole process); 0 when unknown.
int idleCores() noexcept;

}  // namespace velmora::internal
