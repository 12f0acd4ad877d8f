// `BaseRobot`'s operations on the controller as a whole: operate mode, reboot and shutdown.

#include <velmora/base_robot.h>

#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;

void BaseRobot::setOperateMode(OperateMode mode, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setOperateMode {}", logUid, internal::enumName(mode));
  internal::runOperation(ec, [&] {
    // The request's code when it failed, else the controller's answer.
    const int code = impl_->setOperateMode(mode, ec);
    ec = internal::makeErrorCode(code);
  });
  internal::logEnd(*impl_, "uid: {} | setOperationMode end, switch to {} ({})", logUid, internal::enumName(mode), ec);
}

void BaseRobot::rebootSystem(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | rebootSystem", logUid);
  internal::runOperation(ec, [&] { impl_->rebootOrShutdown(0, ec); });
  internal::logEnd(*impl_, "uid: {} | rebootSystem({})", logUid, ec);
}

void BaseRobot::shutdownSystem(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | shutdownSystem", logUid);
  internal::runOperation(ec, [&] { impl_->rebootOrShutdown(1, ec); });
  internal::logEnd(*impl_, "uid: {} | shutdownSystem({})", logUid, ec);
}

}  // namespace velmora
