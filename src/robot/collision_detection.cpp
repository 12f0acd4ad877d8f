// Collision detection of the collaborative arms and of the industrial 6-axis arm, and the
// collaborative arms' force-sensor calibration.

#include <velmora/cobot.h>
#include <velmora/robots.h>

#include <algorithm>
#include <array>

#include "common/value_checks.h"
#include "robot/operation_frame.h"
#include "robot/robot_instances.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr const char* kCollisionKey = "safety.collision_detection";
/// The controller's answer when detection is already on.
constexpr int kAlreadyOnReply = -1;
constexpr int kDuplicateOperationCode = 264;

template <std::size_t N>
Json::Value sensitivityValue(const std::array<double, N>& sensitivity) {
  Json::Value list(Json::arrayValue);
  for (const double s : sensitivity) list.append(s);
  return list;
}

/// Sends an enabling request; -1 means detection is on already.
void enableCollision(const BaseRobot::Impl& impl, const Json::Value& request, std::error_code& ec) {
  internal::commandForCode(*impl.service, kCollisionKey, request, ec);
  if (ec.value() == kAlreadyOnReply) ec = makeErrorCode(kDuplicateOperationCode);
}

/// The body both classes share: the controller's code passes unchanged, -1 included.
void disableCollision(const BaseRobot::Impl& impl, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | disableCollisionDetection", logUid);
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["enable"] = false;
    internal::commandForCode(*impl.service, kCollisionKey, request, ec);
  });
  internal::logEnd(impl, "uid: {} | disableCollisionDetection end ({})", logUid, ec);
}

}  // namespace

template <unsigned short N>
void Cobot<N>::enableCollisionDetection(const std::array<double, N>& sensitivity, StopLevel behaviour,
                                        double fallback_compliance, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | enableCollisionDetection {}, {}, {}", logUid, sensitivity, behaviour,
                     fallback_compliance);
  const auto& robotImpl = this->impl();
  // JSON has no number for them: the controller would read null.
  if (!internal::allFinite(sensitivity, fallback_compliance)) {
    internal::refuse(robotImpl, ec, internal::kArgumentInvalidCode,
                     "uid: {} | enableCollisionDetection argument invalid ({})", logUid, ec);
    return;
  }
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["enable"] = true;
    request["sensitivity"] = sensitivityValue(sensitivity);
    Json::Value& action = request["action"];
    switch (behaviour) {
      case StopLevel::stop2:
        action["behaviour"] = "pause";
        action["fallback"] = fallback_compliance;
        break;
      case StopLevel::suppleStop:
        action["behaviour"] = "fcimpedstop";
        request["compliance"] = std::min(fallback_compliance, 1.0);
        break;
      default:  // stop0, stop1 and any value outside the enumeration
        action["behaviour"] = "stop1";
        action["fallback"] = fallback_compliance;
        break;
    }
    enableCollision(robotImpl, request, ec);
  });
  internal::logEnd(robotImpl,
                   "uid: {} | enableCollisionDetection end, sensitivity: {}, behaviour: {}, fallback: {} ({})", logUid,
                   sensitivity, behaviour, fallback_compliance, ec);
}

template <unsigned short N>
void Cobot<N>::calibrateForceSensor(bool all_axes, int axis_index, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | calibrateForceSensor {}, {}", logUid, all_axes, axis_index);
  const auto& robotImpl = this->impl();
  if (!all_axes && (axis_index < 0 || axis_index >= static_cast<int>(N))) {
    internal::refuse(robotImpl, ec, internal::kParameterExceedCode,
                     "uid: {} | calibrateForceSensor index:{} over-range | ({})", logUid, axis_index, ec);
    return;
  }
  internal::runOperation(ec, [&] {
    Json::Value request;
    if (!all_axes) request["index"] = axis_index;
    internal::commandForCode(*robotImpl.service, "utils.calibrate_force_sensor", request, ec);
  });
  internal::logEnd(robotImpl, "uid: {} | calibrateForceSensor end {}, {}, ({})", logUid, all_axes, axis_index, ec);
}

#define VELMORA_INSTANTIATE(N)                                                                      \
  template void Cobot<N>::enableCollisionDetection(const std::array<double, N>&, StopLevel, double, \
                                                   std::error_code&) noexcept;                      \
  template void Cobot<N>::calibrateForceSensor(bool, int, std::error_code&) noexcept;
VELMORA_FOR_EACH_COBOT(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

void BaseCobot::disableCollisionDetection(std::error_code& ec) noexcept { disableCollision(impl(), ec); }

void StandardRobot::enableCollisionDetection(const std::array<double, 6>& sensitivity, double fallback,
                                             std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | enableCollisionDetection {}, {}", logUid, sensitivity, fallback);
  if (!internal::allFinite(sensitivity, fallback)) {
    internal::refuse(impl(), ec, internal::kArgumentInvalidCode,
                     "uid: {} | enableCollisionDetection argument invalid ({})", logUid, ec);
    return;
  }
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["enable"] = true;
    request["action"]["behaviour"] = "stop1";
    request["action"]["fallback"] = fallback;
    request["sensitivity"] = sensitivityValue(sensitivity);
    enableCollision(impl(), request, ec);
  });
  internal::logEnd(impl(), "uid: {} | enableCollisionDetection end, sensitivity: {}, fallback: {} ({})", logUid,
                   sensitivity, fallback, ec);
}

void StandardRobot::disableCollisionDetection(std::error_code& ec) noexcept { disableCollision(impl(), ec); }

}  // namespace velmora
