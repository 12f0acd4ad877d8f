#pragma once
// Crossing of robot callbacks into managed code. Native code never holds a managed delegate of a
// robot: it holds two process-wide entry points (set once by the managed side) and calls them
// with the robot's id, and the managed side looks the robot's current callbacks up by that id.
// A replaced or collected delegate is therefore never called.
//
// The gate: the managed runtime must never be entered once it shuts down, so every crossing
// counts itself in flight and the managed side closes the gate (waiting for those in flight) at
// process exit. A robot destroyed from inside one of its own callbacks is handed to a deleting
// thread, since its destructor joins the thread the callback runs on.

#include <chrono>
#include <cstdint>
#include <functional>

#include "native/velmora_c.h"

namespace velmora::internal {

/// One crossing into managed code: in flight from construction to destruction, with this
/// thread marked as running a callback of `robotId`. `open()` is false once the gate closed or
/// no entry points were set; nothing may cross then.
///
/// The managed runtime takes a native thread that calls in for one of its own and, at exit,
/// waits for it to end; the library's pooled threads park for seconds, or for a robot's whole
/// life. So a thread the crossing attached to the runtime is detached from it again when the
/// crossing ends, and a program ends as soon as its Main returns.
class CallbackScope {
 public:
  explicit CallbackScope(std::int64_t robotId) noexcept;
  ~CallbackScope();
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;

  bool open() const noexcept { return open_; }

 private:
  bool open_ = false;
  bool attached_ = false;  // the thread belonged to the runtime before the crossing
  std::int64_t previous_ = 0;
};

/// The entry points set by vel_set_callbacks; null until then.
vel_event_fn eventEntry() noexcept;
vel_connection_fn connectionEntry() noexcept;

/// True on a thread running a callback of `robotId` (and not of another robot nested inside).
bool insideCallbackOf(std::int64_t robotId) noexcept;

/// Runs `deletion` on the deleting thread (started on first use, joined at unload).
void deferDeletion(std::function<void()> deletion);

/// Closes the gate and waits up to `timeout` for the crossings in flight; true when none is
/// left.
bool closeGate(std::chrono::milliseconds timeout) noexcept;

/// Waits up to `timeout` until no crossing is in flight and no deferred deletion is pending.
bool waitIdle(std::chrono::milliseconds timeout) noexcept;

}  // namespace velmora::internal
