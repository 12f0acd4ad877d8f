#pragma once
// How a request waits for its reply: watching for it on the processor, or asleep at once (in
// the socket when it reads the link itself, else on a word of its own).
//
// Watching spares a sleep and its wake-up: on a loopback or a local network that is a good part
// of the round trip (a sleeping thread is woken on a core that first has to come out of idle).
// It costs the processor for as long as it lasts, though, and on a busy machine it takes a core
// from the very threads that answer. So a request watches only while cores stand idle, and only
// as long as its link's replies took lately and a wake-up more; a link slower than a few
// wake-ups (a distant controller) is always waited asleep, and so is every request once the
// machine is busy: then the wait is one call that costs nothing until the reply is there.

#include <chrono>

namespace velmora::internal {

class SpinPermit {
 public:
  using Clock = std::chrono::steady_clock;

  /// About what waking a sleeping thread adds to a round trip.
  static constexpr std::chrono::microseconds kWakeUp{15};
  /// Replies slower than this are waited asleep: watching would cost far more than it saves.
  static constexpr std::chrono::microseconds kWorthWatching{4 * kWakeUp};

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
