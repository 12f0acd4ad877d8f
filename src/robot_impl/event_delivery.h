#pragma once
// Delivery of event callbacks on library threads, each call with its own copy of the
// information, so the link's I/O thread never runs program code and never waits for it: it only
// queues. Up to `kMaxEventDeliveries` callbacks run at once, each on a detached delivery thread;
// a thread that finishes a call takes the next waiting delivery, and lingers briefly for more
// before it ends, so a flood does not cost a thread start per event. Deliveries start in the
// order they were queued. The threads touch no robot state and may outlive the robot.

#include <velmora/event.h>

#include <cstddef>

namespace velmora::internal {

/// Most callbacks running at once in the process: a notification flood from the network must
/// not use up the process's threads.
inline constexpr int kMaxEventDeliveries = 64;

/// Most deliveries waiting for a free slot. When the queue is full the oldest waiting delivery
/// is dropped, so memory stays bounded and what is delivered stays the most recent.
inline constexpr std::size_t kMaxWaitingEventDeliveries = 1024;

/// Queues one call of `callback` with `info`; nothing for an empty callback. Never blocks on a
/// running callback. A dropped delivery (queue full, or no thread could be started) is counted
/// in a warning of the global log, one line a second at most. What the callback throws is
/// caught and logged.
void deliverEvent(const EventCallback& callback, EventInfo info) noexcept;

/// Deliveries not finished: callbacks running now plus those waiting for a slot. 0 means no
/// callback copy is held any more.
int runningEventDeliveries() noexcept;

/// Deliveries waiting for a slot.
std::size_t waitingEventDeliveries() noexcept;

}  // namespace velmora::internal
