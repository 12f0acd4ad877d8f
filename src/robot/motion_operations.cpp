// `BaseRobot`'s non-real-time motion: immediate and queued command lists, reset, start, stop,
// the defaults a command without its own value takes, and the in-flight limit. The queue, its
// threads and the JSON of each command kind are motion control's; these operations check
// that it exists (and, for appending, the motion-control mode), call it and log.

#include <velmora/base_robot.h>

#include <algorithm>
#include <cstdint>

#include "common/value_checks.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

// Motion control's stop takes a level it does not send; every caller passes stop2.
constexpr int kStopLevel2 = 2;
constexpr int kMinCacheSize = 1;
constexpr int kMaxCacheSize = 1000;

// The body of `executeCommand`: the list as one request outside the queue, then "move.continue".
// Without motion control it gives 255 and logs nothing, and a refused or unsent list logs
// nothing either: only a list that left is worth a line.
template <typename T>
void executeNow(BaseRobot::Impl& impl, const std::vector<T>& commands, std::error_code& ec) {
  if (!impl.motionControl) {
    ec = makeErrorCode(internal::kUninitializedCode);
    return;
  }
  if (!internal::fitsArm(commands, impl.armJoints)) {
    ec = makeErrorCode(internal::kArgumentInvalidCode);
    return;
  }
  impl.motionControl->executeCommand(commands, ec);
  if (ec) return;
  impl.motionControl->resume(ec);
  internal::logEnd(impl, "uid: {} | executeCommand ({})", logUid, ec);
}

// Queuing is open in Idle and NrtCommand only: in the other modes the sender is stopped and
// the controller takes no queued motion.
bool queueOpen(const BaseRobot::Impl& impl, std::error_code& ec) {
  if (!impl.motionControl) {
    ec = makeErrorCode(internal::kUninitializedCode);
    return false;
  }
  const MotionControlMode mode = impl.motionControlMode.load();
  if (mode != MotionControlMode::Idle && mode != MotionControlMode::NrtCommand) {
    ec = makeErrorCode(internal::kControlModeErrorCode);
    return false;
  }
  return true;
}

}  // namespace

template <class Command>
void BaseRobot::executeCommand(const std::vector<Command>& commands, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] { executeNow(*impl_, commands, ec); });
}

template <class Command>
void BaseRobot::moveAppend(const std::vector<Command>& commands, std::string& cmdID, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    if (!queueOpen(*impl_, ec)) return;
    if (!internal::fitsArm(commands, impl_->armJoints)) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    impl_->motionControl->appendCommand(commands, cmdID, ec);
  });
}

void BaseRobot::moveAppend(const MoveWaitCommand& command, std::string& cmdID, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    if (!queueOpen(*impl_, ec)) return;
    const std::vector<MoveWaitCommand> one{command};
    impl_->motionControl->appendCommand(one, cmdID, ec);
  });
}

#define VELMORA_MOTION_INSTANCES(T)                                                             \
  template void BaseRobot::executeCommand<T>(const std::vector<T>&, std::error_code&) noexcept; \
  template void BaseRobot::moveAppend<T>(const std::vector<T>&, std::string&, std::error_code&) noexcept;
VELMORA_MOTION_INSTANCES(MoveAbsJCommand)
VELMORA_MOTION_INSTANCES(MoveJCommand)
VELMORA_MOTION_INSTANCES(MoveLCommand)
VELMORA_MOTION_INSTANCES(MoveCCommand)
VELMORA_MOTION_INSTANCES(MoveCFCommand)
VELMORA_MOTION_INSTANCES(MoveSPCommand)
#undef VELMORA_MOTION_INSTANCES

void BaseRobot::moveReset(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | moveReset", logUid);
  bool ready = false;
  internal::runOperation(ec, [&] {
    ready = internal::requireMotionControl(*impl_, ec, "uid: {} | moveReset uninitialized({})");
    if (ready) impl_->motionControl->moveReset(true, ec);
  });
  if (ready) internal::logEnd(*impl_, "uid: {} | moveReset end ({})", logUid, ec);
}

void BaseRobot::moveStart(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | moveStart", logUid);
  bool ready = false;
  internal::runOperation(ec, [&] {
    ready = internal::requireMotionControl(*impl_, ec, "uid: {} | moveStart uninitialized ({})");
    if (ready) impl_->motionControl->moveStart(ec);
  });
  if (ready) internal::logEnd(*impl_, "uid: {} | moveStart end ({})", logUid, ec);
}

void BaseRobot::stop(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | stop", logUid);
  bool ready = false;
  internal::runOperation(ec, [&] {
    ready = internal::requireMotionControl(*impl_, ec, "uid: {} | stop uninitialized ({})");
    if (ready) impl_->motionControl->stop(kStopLevel2, ec);
  });
  if (ready) internal::logEnd(*impl_, "uid: {} | stop end ({})", logUid, ec);
}

void BaseRobot::setDefaultSpeed(double speed, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setDefaultSpeed {}", logUid, speed);
  bool ready = false;
  internal::runOperation(ec, [&] {
    ready = internal::requireMotionControl(*impl_, ec, "uid: {} | setDefaultSpeed uninitialized ({})");
    // Motion control refuses a speed that is not finite (259): it would reach the wire as null.
    if (ready) impl_->motionControl->setDefaultSpeed(speed, ec);
  });
  if (ready) internal::logEnd(*impl_, "uid: {} | setDefaultSpeed end, speed: {} ({})", logUid, speed, ec);
}

void BaseRobot::setDefaultZone(double zone, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setDefaultZone {}", logUid, zone);
  bool ready = false;
  internal::runOperation(ec, [&] {
    ready = internal::requireMotionControl(*impl_, ec, "uid: {} | setDefaultZone uninitialized ({})");
    if (ready) impl_->motionControl->setDefaultZone(zone, ec);
  });
  if (ready) internal::logEnd(*impl_, "uid: {} | setDefaultZone end, zone: {} ({})", logUid, zone, ec);
}

void BaseRobot::setDefaultConfOpt(bool forced, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setDefaultConfOpt {}", logUid, forced);
  internal::runOperation(ec, [&] {
    // Only the link's codes: the controller's value is not a verdict on the option.
    Json::Value reply;
    internal::command(*impl_->service, "move.default_conf", Json::Value(forced), reply, ec);
  });
  internal::logEnd(*impl_, "uid: {} | setDefaultConfOpt end, forced: {} ({})", logUid, forced, ec);
}

void BaseRobot::setMaxCacheSize(int number, std::error_code& ec) noexcept {
  ec = makeErrorCode(0);
  internal::logEntry("uid: {} | setMaxCacheSize {}", logUid, number);
  bool ready = false;
  internal::runOperation(ec, [&] {
    ready = internal::requireMotionControl(*impl_, ec, "uid: {} | setMaxCacheSize uninitialized ({})");
    if (!ready) return;
    // Motion control wakes a sender held at the old limit when the new one is higher.
    const int limit = std::clamp(number, kMinCacheSize, kMaxCacheSize);
    impl_->motionControl->setMaxCacheSize(static_cast<std::uint32_t>(limit));
  });
  if (ready) internal::logEnd(*impl_, "uid: {} | setMaxCacheSize end ({})", logUid, ec);
}

}  // namespace velmora
