// End conditions of a force-controlled motion and the wait for one of them: each setter lowers
// the wait of `waitCondition` to its own timeout plus a margin, never raises it.

#include <fmt/format.h>
#include <json/value.h>
#include <velmora/error.h>
#include <velmora/force_control.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>

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

std::chrono::nanoseconds BaseForceControl::Impl::lowerConditionWait(std::chrono::nanoseconds candidate) noexcept {
  // A compare-exchange loop rather than a plain store: two setters racing must leave the
  // shorter wait, whichever stores last.
  std::int64_t current = conditionWaitNs.load();
  while (candidate.count() < current && !conditionWaitNs.compare_exchange_weak(current, candidate.count())) {
  }
  return std::chrono::nanoseconds(std::min(current, candidate.count()));
}

namespace {

/// {"cmd": cmd, "param": {"values": the six, "inside": flag, "timeout": seconds}}.
Json::Value conditionCommand(const char* cmd, const std::array<double, 6>& values, bool isInside, double timeout) {
  Json::Value command = internal::valuesCommand(cmd, values.data(), values.size());
  command["param"]["inside"] = isInside;
  command["param"]["timeout"] = timeout;
  return command;
}

/// The whole of a condition setter: the timeout's range (258, nothing sent, no result line),
/// the request `build` gives, or the code it sets for an argument that cannot travel (nothing
/// sent, the line at error level), and on success the wait lowered to ceil(timeout) + 5 s.
/// `build` also gives the arguments as the result line prints them.
template <typename Build>
void setCondition(BaseForceControl::Impl* impl, const char* name, bool isInside, double timeout, std::error_code& ec,
                  Build&& build) noexcept {
  internal::runOperation(impl, ec, [&](BaseForceControl::Impl& fc) {
    std::chrono::nanoseconds wait = fc.conditionWait();
    if (!internal::inRange(timeout, 1.0, 600.0)) {
      internal::refuse(*fc.link, ec, internal::kParameterExceedCode, "uid: {} | {} timeout: {} over-range", logUid,
                       name, timeout);
      return;
    }
    std::string arguments;
    const Json::Value request = build(arguments);
    const bool refused = static_cast<bool>(ec);
    if (!refused) {
      internal::sendFcRequest(*fc.link, "set", request, ec);
      if (!ec) {
        // The range check above keeps the conversion defined: 6 to 605 whole seconds.
        wait = fc.lowerConditionWait(std::chrono::seconds(static_cast<std::int64_t>(std::ceil(timeout)) + 5));
      }
    }
    internal::logBoth(*fc.link, internal::resultLevel(refused), "uid: {} | {} {}, inside:{}, timeout:{}|{}ns ({})",
                      logUid, name, arguments, isInside, timeout, wait.count(), ec);
  });
}

/// The request of a condition on six measured values, force or torque.
Json::Value rangeCondition(const char* cmd, const std::array<double, 6>& range, bool isInside, double timeout,
                           std::string& arguments, std::error_code& ec) {
  arguments = fmt::format("range:{}", range);
  if (!internal::allFinite(range)) {
    ec = makeErrorCode(internal::kArgumentInvalidCode);
    return Json::Value();
  }
  return conditionCommand(cmd, range, isInside, timeout);
}

}  // namespace

void BaseForceControl::setForceCondition(const std::array<double, 6>& range, bool isInside, double timeout,
                                         std::error_code& ec) noexcept {
  setCondition(impl_.get(), "setForceCondition", isInside, timeout, ec, [&](std::string& arguments) {
    return rangeCondition("force_cond", range, isInside, timeout, arguments, ec);
  });
}

void BaseForceControl::setTorqueCondition(const std::array<double, 6>& range, bool isInside, double timeout,
                                          std::error_code& ec) noexcept {
  setCondition(impl_.get(), "setTorqueCondition", isInside, timeout, ec, [&](std::string& arguments) {
    return rangeCondition("torque_cond", range, isInside, timeout, arguments, ec);
  });
}

void BaseForceControl::setPoseBoxCondition(const Frame& supervising_frame, const std::array<double, 6>& box,
                                           bool isInside, double timeout, std::error_code& ec) noexcept {
  setCondition(impl_.get(), "setPoseBoxCondition", isInside, timeout, ec, [&](std::string& arguments) {
    arguments = fmt::format("frame:{}, box:{}", supervising_frame, box);
    // The request carries "trans" and "rot" only: a frame given as a matrix would arrive as
    // the zero frame.
    if (internal::isMatrixOnly(supervising_frame)) {
      ec = makeErrorCode(internal::kInvalidTransformationCode);
    } else if (!internal::allFinite(box) || !internal::allFinite(supervising_frame)) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
    }
    if (ec) return Json::Value();
    // The controller takes the box in thousandths of the caller's unit; the frame as given.
    std::array<double, 6> scaled{};
    for (std::size_t i = 0; i < box.size(); ++i) scaled[i] = box[i] * 1000.0;
    Json::Value request = conditionCommand("posbox_cond", scaled, isInside, timeout);
    internal::frameToJson(supervising_frame, request["param"]["frame"]);
    return request;
  });
}

void BaseForceControl::waitCondition(std::error_code& ec) noexcept {
  internal::runOperation(impl_.get(), ec, [&](const Impl& fc) {
    internal::logBoth(*fc.link, spdlog::level::info, "uid: {} | Execute waitCondition", logUid);
    Json::Value request(Json::objectValue);
    request["cmd"] = "wait";
    internal::sendFcRequest(*fc.link, "cond", request, ec, fc.conditionWait());
    internal::logBoth(*fc.link, spdlog::level::info, "uid: {} | waitCondition finish ({})", logUid, ec);
  });
}

}  // namespace velmora
