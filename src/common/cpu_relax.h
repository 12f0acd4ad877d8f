#pragma once
// For loops that watch a flag another thread sets: tells the processor the thread is waiting.

#include <chrono>

namespace velmora::internal {

inline void cpuRelax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Watches `busy` until it turns false or `limit` has passed; the clock is read every few turns.
template <class Busy>
void spinWhile(const Busy& busy, std::chrono::nanoseconds limit) noexcept {
  if (!busy()) return;
  const auto until = std::chrono::steady_clock::now() + limit;
  unsigned turns = 0;
  while (busy()) {
    if ((++turns & 15) == 0 && std::chrono::steady_clock::now() >= until) return;
    cpuRelax();
  }
}

}  // namespace velmora::internal
