#include "network/tcp/loop_descriptors.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <mutex>

namespace velmora::internal {

namespace {

// Enough for the links of a few robots reconnected at once; more are closed.
constexpr std::size_t kKept = 16;

struct Kept {
  std::mutex mutex;
  std::array<LoopDescriptors, kKept> sets{};
  std::size_t count = 0;
};

Kept& kept() {
  static Kept* const pool = new Kept;  // never destroyed: clients may end during exit
  return *pool;
}

void closeAll(const LoopDescriptors& set) noexcept {
  if (set.wake >= 0) ::close(set.wake);
  if (set.tick >= 0) ::close(set.tick);
  if (set.epoll >= 0) ::close(set.epoll);
}

}  // namespace

bool takeLoopDescriptors(LoopDescriptors& out) noexcept {
  Kept& pool = kept();
  std::lock_guard<std::mutex> lock(pool.mutex);
  if (pool.count == 0) return false;
  out = pool.sets[--pool.count];
  return true;
}

void returnLoopDescriptors(const LoopDescriptors& set) noexcept {
  if (set.epoll < 0 || set.wake < 0 || set.tick < 0) {
    closeAll(set);
    return;
  }
  // A pending wake or tick would wake the next client's loop for nothing.
  const itimerspec off{};
  std::uint64_t count = 0;
  const bool clean = ::timerfd_settime(set.tick, 0, &off, nullptr) == 0;
  [[maybe_unused]] const ssize_t woke = ::read(set.wake, &count, sizeof count);
  [[maybe_unused]] const ssize_t ticked = ::read(set.tick, &count, sizeof count);
  Kept& pool = kept();
  {
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (clean && pool.count < kKept) {
      pool.sets[pool.count++] = set;
      return;
    }
  }
  closeAll(set);
}

}  // namespace velmora::internal
