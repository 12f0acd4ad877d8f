#include "velmora_sim/notification_flood.h"

#include <algorithm>
#include <string>
#include <utility>

#include "velmora_sim/wire.h"

namespace velmora_sim {

namespace {

// Ids of flood notifications start high, clear of the service's own notification ids.
constexpr std::uint64_t kFirstId = 1'000'000'000;
// A client that stopped reading must not make one batch a burst of seconds of backlog.
constexpr std::int64_t kMaxBatch = 1000;

}  // namespace

NotificationFlood::NotificationFlood(CommandService& service, Json::Value topics, int perSecond)
    : service_(service),
      thread_([this, topics = std::move(topics), perSecond]() mutable { run(std::move(topics), perSecond); }) {}

NotificationFlood::~NotificationFlood() { stop(); }

void NotificationFlood::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
}

void NotificationFlood::run(Json::Value topics, int perSecond) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  std::uint64_t id = kFirstId;
  std::int64_t due = 0;
  std::string batch;
  while (!stopping_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    const std::int64_t target = elapsed * perSecond / 1'000'000;
    const std::int64_t count = std::min(target - due, kMaxBatch);
    if (count <= 0) continue;
    due = target;
    batch.clear();
    for (std::int64_t i = 0; i < count; ++i) {
      Json::Value message(Json::objectValue);
      message["id"] = Json::UInt64(id++);
      message["n"] = topics;
      batch += frame(message);
    }
    try {
      const int connections = service_.broadcastRaw(batch);
      sent_ += static_cast<std::uint64_t>(connections) * static_cast<std::uint64_t>(count);
    } catch (...) {
      // The simulator is shutting down under the flood.
      return;
    }
  }
}

}  // namespace velmora_sim
