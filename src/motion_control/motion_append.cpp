// Queuing and immediate sending of motion command lists.

#include <velmora/error.h>

#include <fmt/format.h>

#include <mutex>
#include <optional>

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
void MotionControl<1>::_enqueueCommand(QueuedCommand command) {
  MotionRuntime& runtime = *runtime_;
  std::optional<MotionRuntime::SendFailure> failure;
  {
    std::lock_guard<std::mutex> lock(runtime.commandMutex_);
    if (runtime.commandQueue_.empty() && runtime.placeFreeLocked()) {
      failure = runtime.sendLocked(command);
    } else {
      runtime.commandQueue_.push_back(std::move(command));
      runtime.commandCv_.notify_all();
    }
  }
  if (failure) runtime.reportSendFailure(*failure);
}

template <typename T>
void MotionControl<1>::appendCommand(const std::vector<T>& cmds, std::string& cmdID, std::error_code& ec) {
  using Traits = MotionCommandTraits<T>;
  ec = checkCommands(cmds);
  if (ec) return;
  QueuedCommand queued;
  queued.request[Traits::key] = _encode(cmds);
  queued.cmdID = Traits::prefix;
  _assignCmdID(queued.cmdID);
  queued.count = static_cast<int>(cmds.size());
  queued.countsInFlight = Traits::countsInFlight;
  runtime_->log(spdlog::level::info, fmt::format("uid: {} | Append cmd {}", logUid, queued.cmdID));
  std::string id = queued.cmdID;
  _enqueueCommand(std::move(queued));
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
  QueuedCommand queued;
  queued.cmdID = kReplayPrefix;
  _assignCmdID(queued.cmdID);
  queued.request[kReplayKey] = params;
  queued.count = 1;
  queued.countsInFlight = true;
  runtime_->log(spdlog::level::info, fmt::format("uid: {} | Push cmd replay, id {}", logUid, queued.cmdID));
  _enqueueCommand(std::move(queued));
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
