// `BaseRobot`'s jogging and online adjustment: jogs (through motion control, which records
// that the arm jogs so that `stop` ends the jog), the speed override, acceleration and jerk,
// and whether zones are ignored.

#include <velmora/base_robot.h>

#include <string>
#include <utility>

#include "common/json_read.h"
#include "common/value_checks.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr double kPercent = 100.0;

}  // namespace

void BaseRobot::startJog(JogOpt::Space space, double rate, double step, unsigned index, bool direction,
                         std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | startJog {}, {}%, {}, {}, {}", logUid, space, rate * kPercent, step, index, direction);
  bool ready = false;
  internal::runOperation(ec, [&] {
    ready = static_cast<bool>(impl_->motionControl);
    if (!ready) {
      ec = makeErrorCode(internal::kUninitializedCode);
      return;
    }
    // The rate and step checks (258, NaN included) are motion control's.
    impl_->motionControl->startJog(space, rate, step, index, direction, ec);
  });
  if (!ready) {
    internal::logEntry("uid: {} | startJog end ({})", logUid, ec);
    return;
  }
  internal::logEnd(*impl_, "uid: {} | startJog end, space: {}, rate: {}%, step: {}, index: {}, direction: {} ({})",
                   logUid, space, rate * kPercent, step, index, direction, ec);
}

void BaseRobot::startJogWithExt(JogOpt::Space space, double rate, double step, unsigned index, bool direction,
                                std::string name, std::error_code& ec, bool isExt) noexcept {
  internal::logEntry("uid: {} | startJogWithExt {}, {}%, {}, {},{} ,{}", logUid, space, rate * kPercent, step, index,
                     direction, name);
  bool ready = false;
  internal::runOperation(ec, [&] {
    ready = static_cast<bool>(impl_->motionControl);
    if (!ready) {
      ec = makeErrorCode(internal::kUninitializedCode);
      return;
    }
    impl_->motionControl->startJogWithExt(space, rate, step, index, direction, name, ec, isExt);
  });
  if (!ready) {
    internal::logEntry("uid: {} | startJogWithExt end ({})", logUid, ec);
    return;
  }
  internal::logEnd(*impl_,
                   "uid: {} | startJogWithExt end, space: {}, rate: {}%, step: {}, index: {}, direction: {} ,mech_unit "
                   "name:{} ({})",
                   logUid, space, rate * kPercent, step, index, direction, name, ec);
}

void BaseRobot::adjustSpeedOnline(double scale, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | adjustSpeedOnline {}", logUid, scale);
  bool refused = false;
  internal::runOperation(ec, [&] {
    // No range applies, but a scale that is not finite would reach the controller as null.
    refused = !internal::allFinite(scale);
    if (refused) {
      internal::refuse(*impl_, ec, internal::kArgumentInvalidCode, "uid: {} | adjustSpeedOnline invalid scale {} ({})",
                       logUid, scale, ec);
      return;
    }
    internal::commandForCode(*impl_->service, "move.override_rate", Json::Value(scale), ec);
  });
  if (refused) return;
  internal::logEnd(*impl_, "uid: {} | adjustSpeedOnline end, scale: {}% ({})", logUid, scale * kPercent, ec);
}

void BaseRobot::adjustAcceleration(double acc, double jerk, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | adjustAcceleration {}, {}", logUid, acc, jerk);
  bool refused = false;
  internal::runOperation(ec, [&] {
    refused = !internal::allFinite(acc, jerk);
    if (refused) {
      internal::refuse(*impl_, ec, internal::kArgumentInvalidCode,
                       "uid: {} | adjustAcceleration invalid acc {}, jerk {} ({})", logUid, acc, jerk, ec);
      return;
    }
    Json::Value value;
    value["acc"] = acc;
    value["jerk"] = jerk;
    internal::set(*impl_->service, "move.acc", value, ec);
  });
  if (refused) return;
  internal::logEnd(*impl_, "uid: {} | adjustAcceleration end, acc: {}, jerk: {} ({})", logUid, acc, jerk, ec);
}

void BaseRobot::getAcceleration(double& acc, double& jerk, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, "move.acc", Json::Value(), reply, ec);
    if (ec) return;
    if (internal::isIntegerReply(reply)) {
      ec = makeErrorCode(reply.asInt());
      return;
    }
    // Both values or neither: a reply of another shape (a text, an array, a member missing or
    // not a number) leaves the outputs as they were.
    const Json::Value& readAcc = internal::member(reply, "acc");
    const Json::Value& readJerk = internal::member(reply, "jerk");
    if (!readAcc.isNumeric() || !readJerk.isNumeric()) {
      ec = makeErrorCode(internal::kUnreadableReplyCode);
      return;
    }
    acc = readAcc.asDouble();
    jerk = readJerk.asDouble();
  });
}

void BaseRobot::setAutoIgnoreZone(bool enable, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setAutoIgnoreZone {}", logUid, enable);
  internal::runOperation(ec, [&] {
    // Only the link's codes: the controller's value is not examined.
    Json::Value reply;
    internal::command(*impl_->service, "move.ignore_zone", Json::Value(enable), reply, ec);
  });
  internal::logEnd(*impl_, "uid: {} | setAutoIgnoreZone end, ignore: {} ({})", logUid, enable, ec);
}

}  // namespace velmora
