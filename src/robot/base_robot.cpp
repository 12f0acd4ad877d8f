// `BaseRobot`: its life, disconnecting, the controller's information, the library's version
// and the connection handler.

#include <velmora/base_robot.h>
#include <velmora/version.h>

#include "common/json_convert.h"
#include "common/json_read.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr int kStopLevel2 = 2;

// A moving arm is paused before its links close: nobody would be left to stop it.
void stopIfMoving(BaseRobot& robot, BaseRobot::Impl& impl, std::error_code& ec) noexcept {
  const OperationState state = robot.operationState(ec);
  if (state != OperationState::moving || !impl.motionControl) return;
  try {
    impl.motionControl->stop(kStopLevel2, ec);
  } catch (...) {
    ec = makeErrorCode(internal::kReplyExceptionCode);
  }
}

}  // namespace

BaseRobot::BaseRobot() : impl_(std::make_unique<Impl>()) {}

BaseRobot::~BaseRobot() {
  // Bounded by two request waits: the state query here, and "eci.pub.stop" in ~Impl when the
  // stream runs. ~Impl also detaches the link's callbacks, which may outlive this robot in a
  // model or force-control object.
  if (impl_ && impl_->motionControl) {
    std::error_code ignored;
    stopIfMoving(*this, *impl_, ignored);
  }
}

BaseRobot::Impl& BaseRobot::impl() const noexcept { return *impl_; }

void BaseRobot::disconnectFromRobot(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | disconnectFromRobot", logUid);
  ec = makeErrorCode(0);
  stopIfMoving(*this, *impl_, ec);
  // Stops a running stream first ("eci.pub.stop"), so the controller never publishes to a
  // closed port; leaves the logging registry alone.
  impl_->disconnect();
  internal::logEnd(*impl_, "uid: {} | disconnectFromRobot end ({})", logUid, ec);
  // Flushed again for the end line: the robot's log is complete when this returns.
  try {
    if (const auto log = internal::robotLog(*impl_)) log->flush();
  } catch (...) {
  }
}

Info BaseRobot::robotInfo(std::error_code& ec) const noexcept {
  Info info;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, "sys.info", Json::Value(), reply, ec);
    if (ec) return;
    // An integer refusal or another kind carries no information.
    if (!reply.isObject()) {
      ec = makeErrorCode(internal::kUnreadableReplyCode);
      return;
    }
    internal::JsonReadStatus status;
    Info read = internal::jsonToInfo(reply, status);
    if (!status.ok()) {
      ec = makeErrorCode(internal::kReplyExceptionCode);
      return;
    }
    info = std::move(read);
  });
  if (ec) info = Info();
  return info;
}

std::string BaseRobot::sdkVersion() noexcept {
  try {
    return internal::sdkVersionInfo().shortString();
  } catch (...) {
    return {};
  }
}

void BaseRobot::setConnectionHandler(const std::function<void(bool)>& handler) noexcept {
  try {
    impl_->setUserConnectionHandler(handler);
  } catch (...) {
    // Only copying the handler can fail (memory); the previous one stays.
  }
}

}  // namespace velmora
