#pragma once
// Delivery of event callbacks: each on a detached thread of its own, with its own copy of the
// information, so the link's I/O thread never runs program code and a slow callback delays
// nothing. The threads touch no robot state and may outlive the robot.

#include <velmora/event.h>

namespace velmora::internal {

/// Most delivery threads running at once in the process. A notification flood from the
/// network must not use up the process's threads: beyond this, deliveries are dropped.
inline constexpr int kMaxEventDeliveries = 64;

/// Calls `callback` once with `info` on a new detached thread. Nothing for an empty callback.
/// Dropped, with a warning in the global log, when `kMaxEventDeliveries` threads run or a
/// thread cannot be started. What the callback throws is caught and logged.
void deliverEvent(const EventCallback& callback, EventInfo info) noexcept;

/// Delivery threads running now.
int runningEventDeliveries() noexcept;

}  // namespace velmora::internal
