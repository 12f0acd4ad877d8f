// `BaseRobot`'s event watcher and stored event information, and state recovery.

#include <velmora/base_robot.h>

#include "robot/operation_frame.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

constexpr int kNotWatchedCode = 272;

bool knownEvent(Event type) noexcept {
  const int value = static_cast<int>(type);
  return value >= static_cast<int>(Event::moveExecution) && value <= static_cast<int>(Event::logReporter);
}

}  // namespace

void BaseRobot::setEventWatcher(Event type, const EventCallback& callback, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    // Not a silent success: the caller would wait for events that never come.
    if (!knownEvent(type)) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    impl_->setEventWatcher(type, callback, ec);
  });
}

EventInfo BaseRobot::queryEventInfo(Event type, std::error_code& ec) noexcept {
  EventInfo info;
  internal::runOperation(ec, [&] {
    if (!knownEvent(type)) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
    } else if (type == Event::moveExecution) {
      if (impl_->motionControl) {
        info = impl_->motionControl->executionInfo();
      } else {
        ec = makeErrorCode(internal::kUninitializedCode);
      }
    } else if (impl_->eventWatched(type)) {
      info = impl_->queryEventInfo(type);
    } else {
      ec = makeErrorCode(kNotWatchedCode);
    }
  });
  if (ec) info.clear();
  return info;
}

void BaseRobot::recoverState(int item, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    if (item != 1) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    // Only the link's codes: the controller's answer is not a verdict on the reset.
    Json::Value reply;
    internal::command(*impl_->service, "rsc.emer_stop.reset", Json::Value(), reply, ec);
  });
  internal::logRobotOnly(*impl_, spdlog::level::info, "recover state, item: {}, id: {}", item, ec);
}

}  // namespace velmora
