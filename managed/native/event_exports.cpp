// Events and the connection handler of a robot, crossing into managed code through the
// process-wide entry points of the callback gate.

#include <velmora/base_robot.h>

#include <chrono>
#include <string>

#include "native/abi_records.h"
#include "native/callback_gate.h"
#include "native/robot_handle.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

// Runs on the robot's delivery thread. The callback holds only the robot's id and the event
// type, so it stays harmless after the robot or its managed object is gone.
void crossEvent(std::int64_t id, std::int32_t type, const EventInfo& info) noexcept {
  try {
    CallbackScope scope(id);
    if (!scope.open()) return;
    const vel_event_fn entry = eventEntry();
    if (entry == nullptr) return;
    const std::string blob = encoded(info);
    entry(id, type, reinterpret_cast<const std::uint8_t*>(blob.data()), static_cast<std::int32_t>(blob.size()));
  } catch (...) {
    // An event that cannot be encoded is dropped; the managed entry point never throws.
  }
}

void crossConnection(std::int64_t id, bool connected) noexcept {
  CallbackScope scope(id);
  if (!scope.open()) return;
  const vel_connection_fn entry = connectionEntry();
  if (entry != nullptr) entry(id, connected ? 1 : 0);
}

bool knownEvent(std::int32_t type) {
  return type >= static_cast<std::int32_t>(Event::moveExecution) &&
         type <= static_cast<std::int32_t>(Event::logReporter);
}

std::chrono::milliseconds timeoutOf(std::int32_t ms) { return std::chrono::milliseconds(ms > 0 ? ms : 0); }

}  // namespace

extern "C" {

int32_t vel_robot_watch_event(vel_robot* robot, int32_t type, vel_err* ec) noexcept {
  return abiCall([&] {
    const std::int64_t id = required(robot, "robot").id;
    reportCode(ec, [&](std::error_code& code) {
      EventCallback callback;
      if (knownEvent(type)) callback = [id, type](const EventInfo& info) { crossEvent(id, type, info); };
      // An unknown type is refused by the robot itself, with nothing watched.
      baseRobot(robot).setEventWatcher(static_cast<Event>(type), callback, code);
    });
  });
}

int32_t vel_robot_set_connection_handler(vel_robot* robot) noexcept {
  return abiCall([&] {
    const std::int64_t id = required(robot, "robot").id;
    baseRobot(robot).setConnectionHandler([id](bool connected) { crossConnection(id, connected); });
  });
}

int32_t vel_callbacks_shutdown(int32_t timeout_ms, uint8_t* drained) noexcept {
  return abiCall([&] {
    const bool done = closeGate(timeoutOf(timeout_ms));
    if (drained != nullptr) *drained = done ? 1 : 0;
  });
}

}  // extern "C"
