// The operation frame shared by every force-control operation, and the condition wait time.

#include <fmt/format.h>
#include <json/value.h>
#include <spdlog/common.h>

#include <algorithm>
#include <string>

#include "common/globals.h"
#include "common/operation_log.h"
#include "common/value_checks.h"
#include "force_control/force_control_impl.h"
#include "network/xservice/link_settings.h"
#include "network/xservice/xservice.h"

namespace velmora {

std::chrono::nanoseconds BaseForceControl::Impl::lowerConditionWait(
    std::chrono::nanoseconds candidate) noexcept {
  // A compare-exchange loop rather than a plain store: two setters racing must leave the
  // shorter wait, whichever stores last.
  std::int64_t current = conditionWaitNs.load();
  while (candidate.count() < current &&
         !conditionWaitNs.compare_exchange_weak(current, candidate.count())) {
  }
  return std::chrono::nanoseconds(std::min(current, candidate.count()));
}

namespace internal {

void refuseOverRange(const BaseForceControl::Impl& fc, const std::string& line,
                     std::error_code& ec) noexcept {
  ec = makeErrorCode(258);
  logOperation(fc.link->logger(), spdlog::level::err, line);
}

void sendFcRequest(const BaseForceControl::Impl& fc, const char* suffix, const Json::Value& value,
                   std::error_code& ec) {
  sendFcRequest(fc, suffix, value, linkSettings().defaultRequestWait.load(), ec);
}

void sendFcRequest(const BaseForceControl::Impl& fc, const char* suffix, const Json::Value& value,
                   std::chrono::nanoseconds timeout, std::error_code& ec) {
  Json::Value reply;
  fc.link->sendCommand(fcCommandPrefix + suffix, value, reply, ec, timeout);
  if (!ec) checkErrorReply(reply, ec);
}

void logFcResult(const BaseForceControl::Impl& fc, const std::string& line, bool refused) noexcept {
  logOperation(fc.link->logger(), refused ? spdlog::level::err : spdlog::level::info, line);
}

void checkErrorReply(const Json::Value& reply, std::error_code& ec) noexcept {
  if (isIntegerReply(reply)) {
    ec = makeErrorCode(reply.asInt());
  } else if (reply.isObject() && reply.isMember("error")) {
    const Json::Value& code = reply["error"];
    // A code that is a text, a fraction or too wide for an int cannot be read as the
    // controller's verdict: reported, never thrown.
    ec = makeErrorCode(isIntegerReply(code) ? code.asInt() : kUnreadableReplyCode);
  }
}

Json::Value valuesCommand(const char* cmd, const double* values, std::size_t count) {
  Json::Value command(Json::objectValue);
  command["cmd"] = cmd;
  Json::Value& list = command["param"]["values"] = Json::Value(Json::arrayValue);
  for (std::size_t i = 0; i < count; ++i) list.append(values[i]);
  return command;
}

void setFcValues(BaseForceControl::Impl* fc, const char* cmd, const char* name,
                 const double* values, std::size_t count, std::error_code& ec) noexcept {
  runFcOperation(fc, ec, [&](const BaseForceControl::Impl& f) {
    // jsoncpp writes NaN as null and infinity as 1e+9999: the controller would take some other
    // value than the caller gave.
    bool finite = true;
    for (std::size_t i = 0; i < count; ++i) finite = finite && allFinite(values[i]);
    if (finite) {
      sendFcRequest(f, "set", valuesCommand(cmd, values, count), ec);
    } else {
      ec = makeErrorCode(259);
    }
    logFcResult(f,
                fmt::format("uid: {} | {} [{}] ({})", logUid, name,
                            fmt::join(values, values + count, ", "), ec.value()),
                !finite);
  });
}

}  // namespace internal
}  // namespace velmora
