#pragma once
// For loops that watch a flag another thread sets: tells the processor the thread is waiting.

namespace velmora::internal {

inline void cpuRelax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace velmora::internal
