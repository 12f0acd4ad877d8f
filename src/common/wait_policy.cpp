#include "common/wait_policy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace velmora::internal {

namespace {

using Clock = std::chrono::steady_clock;

// How long a sample of the idle cores stands.
constexpr auto kSampleAge = std::chrono::milliseconds(20);

std::atomic<int> spinners{0};
std::atomic<int> sampledIdle{0};
std::atomic<Clock::rep> sampledAt{0};

int cores() noexcept {
  static const int count = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  return count;
}

// The fourth field of the load line, "<runnable>/<threads>", counts what runs or waits for a
// core at this moment (this thread included).
int sampleIdle() noexcept {
  const int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[128];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return 0;
  text[n] = '\0';
  const char* at = text;
  for (int field = 0; field < 3 && at != nullptr; ++field) {
    at = std::strchr(at, ' ');
    if (at != nullptr) ++at;
  }
  if (at == nullptr) return 0;
  const long runnable = std::strtol(at, nullptr, 10);
  return std::max(0, cores() - static_cast<int>(runnable));
}

}  // namespace

int idleCores() noexcept {
  const auto now = Clock::now().time_since_epoch().count();
  auto last = sampledAt.load(std::memory_order_relaxed);
  const auto age = std::chrono::duration_cast<Clock::duration>(kSampleAge).count();
  // One thread samples; the others take the last sample meanwhile.
  if (now - last >= age && sampledAt.compare_exchange_strong(last, now, std::memory_order_relaxed)) {
    sampledIdle.store(sampleIdle(), std::memory_order_relaxed);
  }
  return sampledIdle.load(std::memory_order_relaxed);
}

SpinPermit::SpinPermit(Clock::duration typical, Clock::time_point deadline) noexcept {
  // A link without a measured reply yet, or a slow one, is waited asleep.
  if (typical <= Clock::duration::zero() || typical > kWorthWatching) return;
  // One core for the watcher and one for whoever answers: never more watchers than half the
  // cores that stand idle or watch already (the sample counts those as busy).
  int now = spinners.load(std::memory_order_relaxed);
  const int room = (idleCores() + now) / 2;
  do {
    if (now >= room) return;
  } while (!spinners.compare_exchange_weak(now, now + 1, std::memory_order_relaxed));
  held_ = true;
  // The usual spread of the round trips; a later reply is waited asleep.
  until_ = std::min(deadline, Clock::now() + typical + kWakeUp);
}

void SpinPermit::release() noexcept {
  if (!held_) return;
  held_ = false;
  spinners.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace velmora::internal
