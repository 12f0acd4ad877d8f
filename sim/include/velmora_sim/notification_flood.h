#pragma once
// A controller that floods its clients with notifications at a steady rate, for load tests of a
// client's notification path while its requests keep flowing.

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

class NotificationFlood {
 public:
  /// Starts at once: every open connection of `service` gets {"id":<n>,"n":topics} `perSecond`
  /// times a second, in batches about a millisecond apart, until `stop` or destruction.
  /// Connections that open later get the flood from then on.
  NotificationFlood(CommandService& service, Json::Value topics, int perSecond);
  ~NotificationFlood();
  NotificationFlood(const NotificationFlood&) = delete;
  NotificationFlood& operator=(const NotificationFlood&) = delete;

  /// Ends the flood and waits for its thread. Idempotent.
  void stop();
  /// Notifications handed to open connections so far (each connection counted).
  std::uint64_t sent() const noexcept { return sent_.load(); }

 private:
  void run(Json::Value topics, int perSecond);

  CommandService& service_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint64_t> sent_{0};
  std::thread thread_;
};

}  // namespace velmora_sim
