#pragma once
// Delivery of event callbacks on library threads, each call with its own copy of the
// information, so the link's I/O thread never runs program code and never waits for it: it only
// queues. Up to `kMaxEventDeliveries` callbacks run at once, each on a detached delivery thread;
// a thread that finishes a call takes the next waiting delivery, and lingers briefly for more
// before it ends, so a flood does not cost a thread start per event. Deliveries start in the
// order they were queued.
//
// A robot hands each callback it installs to a channel; deliveries hold the channel, not the
// robot. Before the robot lets a callback go (it is replaced, removed, or the robot destroyed),
// it closes the channel: what still waits is dropped and the robot waits, bounded, for the
// calls under way, so the state a callback captures is not freed under it.

#include <velmora/event.h>

#include <chrono>
#include <cstddef>
#include <memory>

namespace velmora::internal {

/// Most callbacks running at once in the process: a notification flood from the network must
/// not use up the process's threads.
inline constexpr int kMaxEventDeliveries = 64;

/// Most deliveries waiting for a slot. When the queue is full the oldest waiting delivery
/// is dropped, so memory stays bounded and what is delivered stays the most recent.
inline constexpr std::size_t kMaxWaitingEventDeliveries = 1024;

/// How long closing a channel waits for its running callbacks; one still running past it is
/// said in the global log and left to finish on its own.
inline constexpr std::chrono::seconds kEventCallbackWait{5};

/// One callback a robot installed for one event. `calls` is fixed at construction: the I/O
/// thread reads it without a lock. The rest belongs to the delivery code.
class EventChannel {
 public:
  explicit EventChannel(EventCallback callback) : calls(static_cast<bool>(callback)), callback_(std::move(callback)) {}

  /// False for an empty callback: nothing is ever delivered.
  const bool calls;

 private:
  friend struct EventDeliveryAccess;
  EventCallback callback_;  // emptied once the channel is closed and no call runs
  bool closed_ = false;     // under the delivery lock, as is `running_`
  int running_ = 0;
};

/// Queues one call of the channel's callback with `info`; nothing for a null or closed channel
/// or an empty callback. Never blocks on a running callback. A dropped delivery (queue full, or
/// no thread could be started) is counted in a warning of the global log, one line a second at
/// most; drops still unsaid are said once their second has passed. What the callback throws is
/// caught and logged.
void deliverEvent(const std::shared_ptr<EventChannel>& channel, EventInfo info) noexcept;

/// Closes the `count` channels at `channels` (null entries skipped): no delivery of them is
/// queued any more, those waiting are dropped, and the call waits up to
/// `kEventCallbackWait` for their running callbacks to return, not for the caller's own when
/// it runs inside one of them. The callbacks of channels with none left running are destroyed
/// here. False, with a warning in the global log, when one still ran at the end of the wait.
bool closeEventChannels(const std::shared_ptr<EventChannel>* channels, std::size_t count) noexcept;

/// Deliveries not finished: callbacks running now plus those waiting for a slot.
int runningEventDeliveries() noexcept;

/// Deliveries waiting for a slot.
std::size_t waitingEventDeliveries() noexcept;

}  // namespace velmora::internal
