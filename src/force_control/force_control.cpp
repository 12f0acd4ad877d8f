// `BaseForceControl`: ownership, set-up, stiffness and desired values, end conditions and
// their wait.

#include <fmt/format.h>
#include <json/value.h>
#include <velmora/error.h>
#include <velmora/force_control.h>

#include <cmath>
#include <string>
#include <utility>

#include "common/formatters.h"
#include "common/globals.h"
#include "common/json_convert.h"
#include "common/value_checks.h"
#include "force_control/force_control_impl.h"
#include "network/xservice/link_settings.h"
#include "network/xservice/xservice.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

const char* frameName(FrameType type) noexcept {
  switch (type) {
    case FrameType::baseFrame:
      return "base";
    case FrameType::flange:
      return "flange";
    case FrameType::tool:
      return "tool";
    case FrameType::wobj:
      return "wobj";
    case FrameType::path:
      return "path";
    default:  // world, rail and any value outside the enumeration
      return "world";
  }
}

/// {"cmd": cmd, "param": {"values": the six, "inside": flag, "timeout": seconds}}.
Json::Value conditionCommand(const char* cmd, const std::array<double, 6>& values, bool isInside,
                             double timeout) {
  Json::Value command = internal::valuesCommand(cmd, values.data(), values.size());
  command["param"]["inside"] = isInside;
  command["param"]["timeout"] = timeout;
  return command;
}

/// How far a condition setter got.
enum class ConditionStep { overRange, refused, sent };

/// The common part of the three condition setters: the timeout's range, the request, and on
/// success the wait time lowered to ceil(timeout) + 5 s. `build` gives the request, or sets
/// `ec` for an argument that cannot travel. `wait` is the wait in force afterwards.
template <typename Build>
ConditionStep setCondition(BaseForceControl::Impl& fc, const char* name, double timeout,
                           std::chrono::nanoseconds& wait, std::error_code& ec, Build&& build) {
  wait = fc.conditionWait();
  if (!internal::inRange(timeout, 1.0, 600.0)) {
    internal::refuseOverRange(
        fc, fmt::format("uid: {} | {} timeout: {} over-range", logUid, name, timeout), ec);
    return ConditionStep::overRange;
  }
  const Json::Value request = build();
  if (ec) return ConditionStep::refused;
  internal::sendFcRequest(fc, "set", request, ec);
  if (!ec) {
    // The range check above keeps the conversion defined: 6 to 605 whole seconds.
    wait = fc.lowerConditionWait(
        std::chrono::seconds(static_cast<std::int64_t>(std::ceil(timeout)) + 5));
  }
  return ConditionStep::sent;
}

}  // namespace

BaseForceControl::BaseForceControl(std::shared_ptr<internal::XService> link)
    : impl_(std::make_unique<Impl>(std::move(link))) {
  if (!impl_->link) return;
  // What the controller does with it is its own; the outcome is dropped, so an unconnected
  // link still yields a usable object.
  std::error_code ignored;
  internal::guardReply(ignored, [&] {
    Json::Value reply;
    impl_->link->sendCommand("eci.fc.set_callback", Json::Value(0), reply, ignored,
                             internal::linkSettings().defaultRequestWait.load());
  });
}

// Copies and moves send nothing: only a new object from the robot announces itself.
BaseForceControl::BaseForceControl(const BaseForceControl& other)
    : impl_(other.impl_ ? std::make_unique<Impl>(*other.impl_) : nullptr) {}

BaseForceControl::BaseForceControl(BaseForceControl&& other) noexcept = default;

BaseForceControl& BaseForceControl::operator=(const BaseForceControl& other) {
  if (this != &other) impl_ = other.impl_ ? std::make_unique<Impl>(*other.impl_) : nullptr;
  return *this;
}

BaseForceControl& BaseForceControl::operator=(BaseForceControl&& other) noexcept = default;

BaseForceControl::~BaseForceControl() = default;

BaseForceControl::Impl* BaseForceControl::impl() const noexcept { return impl_.get(); }

void BaseForceControl::fcInit(FrameType type, std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](const Impl& fc) {
    const char* name = frameName(type);
    Json::Value request(Json::objectValue);
    request["frame"] = name;
    internal::sendFcRequest(fc, "init", request, ec);
    internal::logFcResult(fc, fmt::format("uid: {} | fcInit {} ({})", logUid, name, ec));
  });
}

void BaseForceControl::fcStart(std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](const Impl& fc) {
    internal::sendFcRequest(fc, "start", Json::Value(), ec);
    internal::logFcResult(fc, fmt::format("uid: {} | fcStart ({})", logUid, ec));
  });
}

void BaseForceControl::fcStop(std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](const Impl& fc) {
    internal::sendFcRequest(fc, "stop", Json::Value(), ec);
    internal::logFcResult(fc, fmt::format("uid: {} | fcStop ({})", logUid, ec));
  });
}

void BaseForceControl::setControlType(int type, std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](const Impl& fc) {
    if (type != 0 && type != 1) {
      internal::refuseOverRange(
          fc, fmt::format("uid: {} | setControlType type:{} over-range", logUid, type), ec);
      return;
    }
    Json::Value request(Json::objectValue);
    request["cmd"] = "control_type";
    request["param"]["type"] = type == 0 ? "joint" : "cart";
    internal::sendFcRequest(fc, "set", request, ec);
    internal::logFcResult(fc, fmt::format("uid: {} | setControlType {} ({})", logUid, type, ec));
  });
}

void BaseForceControl::setLoad(const Load& load, std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](const Impl& fc) {
    const bool finite = internal::allFinite(load);
    if (finite) {
      Json::Value request(Json::objectValue);
      request["cmd"] = "load";
      internal::loadToJson(request["param"]["load"], load);
      internal::sendFcRequest(fc, "set", request, ec);
    } else {
      ec = makeErrorCode(259);
    }
    internal::logFcResult(fc, fmt::format("uid: {} | setFcLoad {} ({})", logUid, load, ec),
                          !finite);
  });
}

void BaseForceControl::setCartesianStiffness(const std::array<double, 6>& stiffness,
                                             std::error_code& ec) noexcept {
  internal::setFcValues(impl_.get(), "cart_stiff", "setCartesianStiffness", stiffness.data(),
                        stiffness.size(), ec);
}

void BaseForceControl::setCartesianNullspaceStiffness(double stiffness,
                                                      std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](const Impl& fc) {
    const bool finite = internal::allFinite(stiffness);
    if (finite) {
      Json::Value request(Json::objectValue);
      request["cmd"] = "cart_ns_stiff";
      request["param"]["value"] = stiffness;
      internal::sendFcRequest(fc, "set", request, ec);
    } else {
      ec = makeErrorCode(259);
    }
    internal::logFcResult(fc,
                          fmt::format("uid: {} | setCartesianNullspaceStiffness {} ({})", logUid,
                                      stiffness, ec),
                          !finite);
  });
}

void BaseForceControl::setCartesianDesiredForce(const std::array<double, 6>& value,
                                                std::error_code& ec) noexcept {
  internal::setFcValues(impl_.get(), "cart_force", "setCartesianDesiredForce", value.data(),
                        value.size(), ec);
}

void BaseForceControl::setForceCondition(const std::array<double, 6>& range, bool isInside,
                                         double timeout, std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](Impl& fc) {
    std::chrono::nanoseconds wait{};
    const ConditionStep step = setCondition(fc, "setForceCondition", timeout, wait, ec, [&] {
      if (!internal::allFinite(range)) ec = makeErrorCode(259);
      return ec ? Json::Value() : conditionCommand("force_cond", range, isInside, timeout);
    });
    if (step == ConditionStep::overRange) return;
    internal::logFcResult(
        fc,
        fmt::format("uid: {} | setForceCondition range:{}, inside:{}, timeout:{}|{}ns ({})", logUid,
                    range, isInside, timeout, wait.count(), ec),
        step == ConditionStep::refused);
  });
}

void BaseForceControl::setTorqueCondition(const std::array<double, 6>& range, bool isInside,
                                          double timeout, std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](Impl& fc) {
    std::chrono::nanoseconds wait{};
    const ConditionStep step = setCondition(fc, "setTorqueCondition", timeout, wait, ec, [&] {
      if (!internal::allFinite(range)) ec = makeErrorCode(259);
      return ec ? Json::Value() : conditionCommand("torque_cond", range, isInside, timeout);
    });
    if (step == ConditionStep::overRange) return;
    internal::logFcResult(
        fc,
        fmt::format("uid: {} | setTorqueCondition range:{}, inside:{}, timeout:{}|{}ns ({})", logUid,
                    range, isInside, timeout, wait.count(), ec),
        step == ConditionStep::refused);
  });
}

void BaseForceControl::setPoseBoxCondition(const Frame& supervising_frame,
                                           const std::array<double, 6>& box, bool isInside,
                                           double timeout, std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](Impl& fc) {
    std::chrono::nanoseconds wait{};
    const ConditionStep step = setCondition(fc, "setPoseBoxCondition", timeout, wait, ec, [&] {
      // The request carries "trans" and "rot" only: a frame given as a matrix would arrive
      // as the zero frame.
      if (internal::isMatrixOnly(supervising_frame)) {
        ec = makeErrorCode(260);
      } else if (!internal::allFinite(box) || !internal::allFinite(supervising_frame)) {
        ec = makeErrorCode(259);
      }
      if (ec) return Json::Value();
      // The controller takes the box in thousandths of the caller's unit; the frame as given.
      std::array<double, 6> scaled{};
      for (std::size_t i = 0; i < box.size(); ++i) scaled[i] = box[i] * 1000.0;
      Json::Value request = conditionCommand("posbox_cond", scaled, isInside, timeout);
      internal::frameToJson(supervising_frame, request["param"]["frame"]);
      return request;
    });
    if (step == ConditionStep::overRange) return;
    internal::logFcResult(
        fc,
        fmt::format(
            "uid: {} | setPoseBoxCondition frame:{}, box:{}, inside:{}, timeout:{}|{}ns ({})",
            logUid, supervising_frame, box, isInside, timeout, wait.count(), ec),
        step == ConditionStep::refused);
  });
}

void BaseForceControl::waitCondition(std::error_code& ec) noexcept {
  internal::runFcOperation(impl_.get(), ec, [&](const Impl& fc) {
    internal::logFcResult(fc, fmt::format("uid: {} | Execute waitCondition", logUid));
    Json::Value request(Json::objectValue);
    request["cmd"] = "wait";
    internal::sendFcRequest(fc, "cond", request, fc.conditionWait(), ec);
    internal::logFcResult(fc, fmt::format("uid: {} | waitCondition finish ({})", logUid, ec));
  });
}

}  // namespace velmora
