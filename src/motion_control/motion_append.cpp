// Queuing and immediate sending of motion command lists.

#include <velmora/error.h>

#include <fmt/format.h>

#include <mutex>
#include <optional>
#include <string_view>

#include "common/formatters.h"
#include "common/globals.h"
#include "common/operation_log.h"
#include "motion_control/motion_control.h"
#include "motion_control/motion_encoding.h"

namespace velmora::internal {

std::atomic<std::uint32_t> cmdIdCounter{0};

namespace {

std::string commandLine(const MoveAbsJCommand& c) {
  return logLine("uid: {} | Process joints {}, s:{}, z:{}, js:{}", logUid, c.target.joints, c.speed, c.zone,
                 c.jointSpeed);
}

std::string commandLine(const MoveJCommand& c) {
  return logLine("uid: {} | Process posture {} {}, s:{}, z:{}, js:{}", logUid, c.target, c.targetOffset, c.speed,
                 c.zone, c.jointSpeed);
}

std::string commandLine(const MoveLCommand& c) {
  return logLine("uid: {} | Process posture {} {}, s:{}, z:{}, js:{}", logUid, c.target, c.targetOffset, c.speed,
                 c.zone, -1);
}

std::string commandLine(const MoveCCommand& c) {
  return logLine("uid: {} | Process circle {} {}, aux {} {}, s:{}, z:{}, rs:{}, {}", logUid, c.target, c.targetOffset,
                 c.aux, c.auxOffset, c.speed, c.zone, c.rotSpeed, -1);
}

std::string commandLine(const MoveSPCommand& c) {
  return logLine("uid: {} | Process spiral {} {}, r:{},rs:{},a:{},d:{}, s:{}, z:{}, rs:{}", logUid, c.target,
                 c.targetOffset, c.radius, c.radiusStep, c.angle, c.direction, c.speed, c.zone, c.rotSpeed);
}

template <typename T>
void logCommand(const MotionRuntime& runtime, const T& command) {
  runtime.log(spdlog::level::info, commandLine(command));
}

void logCommand(const MotionRuntime& runtime, const MoveCFCommand& command) {
  runtime.log(spdlog::level::info, commandLine(static_cast<const MoveCCommand&>(command)));
  runtime.log(spdlog::level::info,
              fmt::format("uid: {} | full circle: {}, {}", logUid, command.angle, rotTypeName(command.rotType)));
}

void logCommand(const MotionRuntime&, const MoveWaitCommand&) {}

// A request's text is built in a buffer of the appending thread: one sent at once is written
// from there, and only one that has to wait is copied, to its own size. A buffer grown by a rare
// large request is given back.
constexpr std::size_t kScratchKept = 64 * 1024;

std::string& commandScratch() {
  thread_local std::string text;
  return text;
}

}  // namespace

template <typename T>
Json::Value MotionControl<1>::_encode(const std::vector<T>& cmds) {
  Json::Value body = requestBody(cmds);
  for (const T& command : cmds) logCommand(*runtime_, command);
  return body;
}

void MotionControl<1>::_assignCmdID(std::string& id) {
  id += '#';
  id += std::to_string(cmdIdCounter.fetch_add(1));
}

// Sent at once on the calling thread when nothing is queued, no reset is out and the limit
// allows; queued otherwise, so nothing overtakes what waits.
void MotionControl<1>::_enqueueCommand(std::string_view key, const Json::Value& body, const std::string& cmdID,
                                       std::uint32_t places) {
  std::string& text = commandScratch();
  text.clear();
  appendCommandText(text, key, body, cmdID);
  MotionRuntime& runtime = *runtime_;
  std::optional<MotionRuntime::SendFailure> failure;
  {
    std::lock_guard<std::mutex> lock(runtime.commandMutex_);
    if (runtime.commandQueue_.empty() && runtime.placeFreeLocked()) {
      failure = runtime.sendLocked(text, cmdID, places);
    } else {
      // The sender is not woken: it waits only while the queue is empty or no place is free,
      // and this push found either commands queued already (its wait then hangs on a place
      // alone, which a push does not free) or no place free. What frees one wakes it.
      runtime.commandQueue_.push_back(
          QueuedCommand{std::string(text), places, static_cast<std::uint8_t>(cmdID.size())});
    }
  }
  if (text.capacity() > kScratchKept) std::string().swap(text);
  if (failure) runtime.reportSendFailure(*failure);
}

template <typename T>
void MotionControl<1>::appendCommand(const std::vector<T>& cmds, std::string& cmdID, std::error_code& ec) {
  using Traits = MotionCommandTraits<T>;
  ec = checkCommands(cmds);
  if (ec) return;
  const Json::Value body = _encode(cmds);
  std::string id = Traits::prefix;
  _assignCmdID(id);
  runtime_->log(spdlog::level::info, fmt::format("uid: {} | Append cmd {}", logUid, id));
  _enqueueCommand(Traits::key, body, id, Traits::countsInFlight ? static_cast<std::uint32_t>(cmds.size()) : 0);
  cmdID = std::move(id);
}

template <typename T>
void MotionControl<1>::executeCommand(const std::vector<T>& cmds, std::error_code& ec) {
  ec = checkCommands(cmds);
  if (ec) return;
  // The reply tells nothing the caller waits for; the callback is tagged so that teardown can
  // drop it while the link lives on.
  link_->sendCommandAsync(
      MotionCommandTraits<T>::key, _encode(cmds), [](const Json::Value&) {}, ec, this);
}

void MotionControl<1>::appendReplay(const Json::Value& params) {
  std::string id = kReplayPrefix;
  _assignCmdID(id);
  runtime_->log(spdlog::level::info, fmt::format("uid: {} | Push cmd replay, id {}", logUid, id));
  _enqueueCommand(kReplayKey, params, id, 1);
}

#define VELMORA_MOTION_COMMAND(T)                                                                       \
  template void MotionControl<1>::appendCommand(const std::vector<T>&, std::string&, std::error_code&); \
  template void MotionControl<1>::executeCommand(const std::vector<T>&, std::error_code&);

VELMORA_MOTION_COMMAND(MoveAbsJCommand)
VELMORA_MOTION_COMMAND(MoveJCommand)
VELMORA_MOTION_COMMAND(MoveLCommand)
VELMORA_MOTION_COMMAND(MoveCCommand)
VELMORA_MOTION_COMMAND(MoveCFCommand)
VELMORA_MOTION_COMMAND(MoveSPCommand)
#undef VELMORA_MOTION_COMMAND

template void MotionControl<1>::appendCommand(const std::vector<MoveWaitCommand>&, std::string&, std::error_code&);

}  // namespace velmora::internal
