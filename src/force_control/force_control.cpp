// `BaseForceControl`: ownership, set-up, and the stiffness and desired values (the ones per
// joint too, which `ForceControl_T<N>` only sizes).

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <json/value.h>
#include <velmora/error.h>
#include <velmora/force_control.h>

#include <string>
#include <utility>

#include "common/formatters.h"
#include "common/globals.h"
#include "common/json_convert.h"
#include "common/result_codes.h"
#include "common/value_checks.h"
#include "force_control/force_control_impl.h"
#include "robot/operation_frame.h"

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

}  // namespace

// Without a link there is nothing to announce to or ask: the object holds no state, and every
// operation gives 255 as on one moved from.
BaseForceControl::BaseForceControl(std::shared_ptr<internal::XService> link)
    : impl_(link ? std::make_unique<Impl>(std::move(link)) : nullptr) {
  // What the controller does with it is its own; the outcome is dropped, so an unconnected
  // link still yields a usable object.
  std::error_code ignored;
  internal::runOperation(impl_.get(), ignored, [&](const Impl& fc) {
    Json::Value reply;
    internal::command(*fc.link, "eci.fc.set_callback", Json::Value(0), reply, ignored);
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
  internal::runOperation(impl_.get(), ec, [&](const Impl& fc) {
    const char* name = frameName(type);
    Json::Value request(Json::objectValue);
    request["frame"] = name;
    internal::sendFcRequest(*fc.link, "init", request, ec);
    internal::logBoth(*fc.link, spdlog::level::info, "uid: {} | fcInit {} ({})", logUid, name, ec);
  });
}

void BaseForceControl::fcStart(std::error_code& ec) noexcept {
  internal::runOperation(impl_.get(), ec, [&](const Impl& fc) {
    internal::sendFcRequest(*fc.link, "start", Json::Value(), ec);
    internal::logBoth(*fc.link, spdlog::level::info, "uid: {} | fcStart ({})", logUid, ec);
  });
}

void BaseForceControl::fcStop(std::error_code& ec) noexcept {
  internal::runOperation(impl_.get(), ec, [&](const Impl& fc) {
    internal::sendFcRequest(*fc.link, "stop", Json::Value(), ec);
    internal::logBoth(*fc.link, spdlog::level::info, "uid: {} | fcStop ({})", logUid, ec);
  });
}

void BaseForceControl::setControlType(int type, std::error_code& ec) noexcept {
  internal::runOperation(impl_.get(), ec, [&](const Impl& fc) {
    if (type != 0 && type != 1) {
      internal::refuse(*fc.link, ec, internal::kParameterExceedCode, "uid: {} | setControlType type:{} over-range",
                       logUid, type);
      return;
    }
    Json::Value request(Json::objectValue);
    request["cmd"] = "control_type";
    request["param"]["type"] = type == 0 ? "joint" : "cart";
    internal::sendFcRequest(*fc.link, "set", request, ec);
    internal::logBoth(*fc.link, spdlog::level::info, "uid: {} | setControlType {} ({})", logUid, type, ec);
  });
}

void BaseForceControl::setLoad(const Load& load, std::error_code& ec) noexcept {
  internal::runOperation(impl_.get(), ec, [&](const Impl& fc) {
    const bool finite = internal::allFinite(load);
    if (finite) {
      Json::Value request(Json::objectValue);
      request["cmd"] = "load";
      internal::loadToJson(request["param"]["load"], load);
      internal::sendFcRequest(*fc.link, "set", request, ec);
    } else {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
    }
    internal::logBoth(*fc.link, internal::resultLevel(!finite), "uid: {} | setFcLoad {} ({})", logUid, load, ec);
  });
}

namespace internal {

void setFcValues(BaseForceControl::Impl* fc, const char* cmd, const char* name, const double* values, std::size_t count,
                 std::error_code& ec) noexcept {
  runOperation(fc, ec, [&](const BaseForceControl::Impl& impl) {
    // jsoncpp writes NaN as null and infinity as 1e+9999: the controller would take some other
    // value than the caller gave.
    bool finite = true;
    for (std::size_t i = 0; i < count; ++i) finite = finite && allFinite(values[i]);
    if (finite) {
      sendFcRequest(*impl.link, "set", valuesCommand(cmd, values, count), ec);
    } else {
      ec = makeErrorCode(kArgumentInvalidCode);
    }
    logBoth(*impl.link, resultLevel(!finite), "uid: {} | {} [{}] ({})", logUid, name,
            fmt::join(values, values + count, ", "), ec.value());
  });
}

}  // namespace internal

void BaseForceControl::setCartesianStiffness(const std::array<double, 6>& stiffness, std::error_code& ec) noexcept {
  internal::setFcValues(impl_.get(), "cart_stiff", "setCartesianStiffness", stiffness.data(), stiffness.size(), ec);
}

void BaseForceControl::setCartesianNullspaceStiffness(double stiffness, std::error_code& ec) noexcept {
  internal::runOperation(impl_.get(), ec, [&](const Impl& fc) {
    const bool finite = internal::allFinite(stiffness);
    if (finite) {
      Json::Value request(Json::objectValue);
      request["cmd"] = "cart_ns_stiff";
      request["param"]["value"] = stiffness;
      internal::sendFcRequest(*fc.link, "set", request, ec);
    } else {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
    }
    internal::logBoth(*fc.link, internal::resultLevel(!finite), "uid: {} | setCartesianNullspaceStiffness {} ({})",
                      logUid, stiffness, ec);
  });
}

void BaseForceControl::setCartesianDesiredForce(const std::array<double, 6>& value, std::error_code& ec) noexcept {
  internal::setFcValues(impl_.get(), "cart_force", "setCartesianDesiredForce", value.data(), value.size(), ec);
}

}  // namespace velmora
