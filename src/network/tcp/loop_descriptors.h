#pragma once
// The descriptors of a client's event loop (an epoll set holding a wake eventfd and a tick
// timerfd), kept from clients that ended for the next ones: a program that makes and drops
// robots, or a robot that makes a fresh client per connection, spares five system calls a
// client.

namespace velmora::internal {

struct LoopDescriptors {
  int epoll = -1;
  int wake = -1;
  int tick = -1;
};

/// A set a client ended with, its wake drained and its tick disarmed; false when none is kept.
bool takeLoopDescriptors(LoopDescriptors& out) noexcept;
/// Gives back a complete set (its epoll set holding nothing but the wake and the tick); it is
/// drained and kept, or closed when enough are kept already.
void returnLoopDescriptors(const LoopDescriptors& set) noexcept;

}  // namespace velmora::internal
