// `BaseRobot::setMotionControlMode`: which motion controller carries the robot's motion.
//
// Leaving real-time control comes first (the controller takes no other motion while in it),
// then the controller of the new mode is made ready. Motion control's start and stop are safe
// to call twice in a row and from inside its own callback (a worker stopping itself is left to
// end by itself), so a mode change from a moveExecution callback cannot end the program.

#include <velmora/base_robot.h>
#include <velmora/version.h>

#include <chrono>
#include <memory>
#include <thread>

#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

// The controller answers "eci.disable" with this when it is not in real-time control: already
// where the caller wants it.
constexpr int kNotInRealtimeCode = -259;
// The controller needs this long after "eci.enable" before it takes real-time commands.
constexpr std::chrono::milliseconds kRealtimeSettle{300};

bool knownMode(MotionControlMode mode) noexcept {
  const int value = static_cast<int>(mode);
  return value >= static_cast<int>(MotionControlMode::Idle) && value <= static_cast<int>(MotionControlMode::RtCommand);
}

// The code of an "eci.enable" or "eci.disable" reply; -260 for a reply that is not a code.
void takeEciReply(const Json::Value& reply, std::error_code& ec, bool leaving) {
  if (ec) return;
  int code = internal::replyCode(reply);
  if (leaving && code == kNotInRealtimeCode) code = 0;
  ec = makeErrorCode(code);
}

}  // namespace

void BaseRobot::setMotionControlMode(MotionControlMode mode, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setMotionControlMode {}", logUid, mode);
  internal::runOperation(ec, [&] {
    // Checked before anything is sent: an unknown mode must not take the arm out of real-time
    // control first.
    if (!knownMode(mode)) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    Impl& impl = *impl_;
    if (mode != MotionControlMode::RtCommand) {
      // The state query writes its own outcome into `ec`; a failure keeps the mode where it
      // was.
      if (operationState(ec) == OperationState::rtControlling) {
        Json::Value reply;
        internal::command(*impl.service, "eci.disable", Json::Value(), reply, ec);
        takeEciReply(reply, ec, true);
      }
    }
    // A refused switch keeps the mode in force, so it must keep that mode's queue threads as
    // they are: stopped ones would leave `moveAppend` queueing batches nobody sends, and started
    // ones would reset motion under real-time control.
    switch (mode) {
      case MotionControlMode::Idle:
      case MotionControlMode::NrtCommand:
        if (!impl.motionControl) impl.motionControl = std::make_unique<internal::MotionControl<1>>(impl.service);
        if (!ec) impl.motionControl->_startThreads();
        break;
      case MotionControlMode::NrtRLTask:
        if (!ec && impl.motionControl) impl.motionControl->_stopThreads();
        if (!impl.rlTaskControl) impl.rlTaskControl = std::make_unique<internal::MotionControl<2>>(impl.service);
        break;
      case MotionControlMode::RtCommand: {
        Json::Value value;
        value["protocol_version"] = "sdk" + internal::sdkVersionInfo().shortString();
        Json::Value reply;
        internal::command(*impl.service, "eci.enable", value, reply, ec);
        takeEciReply(reply, ec, false);
        if (!ec) {
          if (impl.motionControl) impl.motionControl->_stopThreads();
          std::this_thread::sleep_for(kRealtimeSettle);
        }
        break;
      }
    }
    if (!ec) impl.motionControlMode.store(mode);
  });
  internal::logEnd(*impl_, "uid: {} | setMotionControlMode end, mode: {} ({})", logUid, mode, ec);
}

}  // namespace velmora
