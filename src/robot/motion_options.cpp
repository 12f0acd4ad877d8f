// Per-arm motion options: singularity avoidance (the industrial 6-axis arm has all three
// methods, the 6-axis collaborative arm all but jointWay) and complete posture interpolation
// on the 5-axis collaborative arm.

#include <velmora/robots.h>

#include <string>

#include "common/value_checks.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr double kPi = 3.141592653589793;

// "move." and the method's key; null for a method the arm does not have.
const char* avoidanceKey(AvoidSingularityMethod method, bool hasJointWay) noexcept {
  switch (method) {
    case AvoidSingularityMethod::lockAxis4:
      return "move.avoid_singularity";
    case AvoidSingularityMethod::wrist:
      return "move.avoid_sing_wrist";
    case AvoidSingularityMethod::jointWay:
      return hasJointWay ? "move.avoid_sing_joint_way" : nullptr;
  }
  return nullptr;
}

void setAvoidance(BaseRobot::Impl& impl, bool hasJointWay, AvoidSingularityMethod method, bool enable, double limit,
                  std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setAvoidSingularity {}, {}, {}", logUid, method, enable, limit);
  bool refused = false;
  internal::runOperation(ec, [&] {
    const char* key = avoidanceKey(method, hasJointWay);
    refused = key == nullptr;
    if (refused) {
      internal::refuse(impl, ec, internal::kArgumentInvalidCode,
                       "uid: {} | setAvoidSingularity unsupported method {} ({})", logUid, method, ec);
      return;
    }
    Json::Value value(enable);
    if (method != AvoidSingularityMethod::lockAxis4) {
      // lockAxis4 sends the flag alone; the others send the limit, which would reach the
      // controller as null when it is not finite.
      refused = !internal::allFinite(limit);
      if (refused) {
        internal::refuse(impl, ec, internal::kArgumentInvalidCode,
                         "uid: {} | setAvoidSingularity invalid limit {} ({})", logUid, limit, ec);
        return;
      }
      value = Json::Value(Json::objectValue);
      value["enable"] = enable;
      // The wrist limit is given in radians and sent in degrees.
      value["threshold"] = method == AvoidSingularityMethod::wrist ? limit * 180.0 / kPi : limit;
    }
    Json::Value reply;
    internal::command(*impl.service, key, value, reply, ec);
    if (ec) return;
    ec = makeErrorCode(internal::isIntegerReply(reply) ? reply.asInt() : internal::kReplyExceptionCode);
  });
  if (refused) return;
  internal::logEnd(impl, "uid: {} | setAvoidSingularity end, method: {}, enable: {}, threshold: {} ({})", logUid,
                   method, enable, limit, ec);
}

bool getAvoidance(BaseRobot::Impl& impl, bool hasJointWay, AvoidSingularityMethod method,
                  std::error_code& ec) noexcept {
  bool on = false;
  internal::runOperation(ec, [&] {
    const char* key = avoidanceKey(method, hasJointWay);
    if (key == nullptr) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    Json::Value reply;
    internal::get(*impl.service, key, Json::Value(), reply, ec);
    if (ec) return;
    if (internal::isIntegerReply(reply)) {
      ec = makeErrorCode(reply.asInt());
    } else if (reply.isBool()) {
      on = reply.asBool();
    } else if (reply.isString() && (reply.asString() == "on" || reply.asString() == "off")) {
      on = reply.asString() == "on";
    } else {
      ec = makeErrorCode(internal::kReplyExceptionCode);
    }
  });
  return ec ? false : on;
}

}  // namespace

bool StandardRobot::getAvoidSingularity(AvoidSingularityMethod method, std::error_code& ec) noexcept {
  return getAvoidance(impl(), true, method, ec);
}

void StandardRobot::setAvoidSingularity(AvoidSingularityMethod method, bool enable, double limit,
                                        std::error_code& ec) noexcept {
  setAvoidance(impl(), true, method, enable, limit, ec);
}

bool OstraRobot::getAvoidSingularity(AvoidSingularityMethod method, std::error_code& ec) noexcept {
  return getAvoidance(impl(), false, method, ec);
}

void OstraRobot::setAvoidSingularity(AvoidSingularityMethod method, bool enable, double limit,
                                     std::error_code& ec) noexcept {
  setAvoidance(impl(), false, method, enable, limit, ec);
}

void OstraLiteRobot::enableCompletePostureLerp(bool enable, std::error_code& ec) noexcept {
  BaseRobot::Impl& robot = impl();
  internal::runOperation(ec, [&] {
    Json::Value value;
    value["enable"] = enable;
    internal::commandForCode(*robot.service, "sys.completePostureLerp", value, ec);
  });
  internal::logRobotOnly(robot, spdlog::level::info, "enableCompletePostureLerp, enable: {}, ({})", enable, ec);
}

}  // namespace velmora
