#include "robot/operation_frame.h"

#include "common/json_convert.h"
#include "common/json_read.h"

namespace velmora::internal {

bool requireMotionControl(const BaseRobot::Impl& impl, std::error_code& ec,
                          fmt::format_string<const LogUid&, const std::error_code&> line) noexcept {
  if (impl.motionControl) return true;
  ec = makeErrorCode(kUninitializedCode);
  logBoth(impl, spdlog::level::err, line, logUid, ec);
  return false;
}

bool requireRlTaskControl(const BaseRobot::Impl& impl, std::error_code& ec,
                          fmt::format_string<const LogUid&, std::string_view, const std::error_code&> line) noexcept {
  if (impl.rlTaskControl) return true;
  ec = makeErrorCode(kControlModeErrorCode);
  logBoth(impl, spdlog::level::err, line, logUid, enumName(impl.motionControlMode.load()), ec);
  return false;
}

void command(XService& link, const std::string& key, const Json::Value& value, Json::Value& reply, std::error_code& ec,
             std::optional<std::chrono::nanoseconds> timeout) {
  link.sendCommand(key, value, reply, ec, timeout.value_or(link.requestWait()));
}

void get(XService& link, const std::string& key, const Json::Value& param, Json::Value& reply, std::error_code& ec) {
  link.getValue(key, param, reply, ec);
}

void set(XService& link, const std::string& key, const Json::Value& value, std::error_code& ec) {
  link.setValue(key, value, ec);
}

void commandForCode(XService& link, const std::string& key, const Json::Value& value, std::error_code& ec,
                    std::optional<std::chrono::nanoseconds> timeout) {
  Json::Value reply;
  link.sendCommand(key, value, reply, ec, timeout.value_or(link.requestWait()));
  takeReplyCode(reply, ec);
}

void set(XService& link, const std::string& key, const Json::Value& value, int& answer, std::error_code& ec) {
  answer = link.setValueRaw(key, value, ec);
}

void getMany(XService& link, const std::vector<std::string>& keys, const std::vector<Json::Value>& params,
             Json::Value& reply, std::error_code& ec) {
  link.getValues(keys, params, reply, ec);
}

int replyCode(const Json::Value& reply) noexcept {
  if (reply.isNull()) return 0;
  if (isIntegerReply(reply)) return reply.asInt();
  return kReplyExceptionCode;
}

void takeReplyCode(const Json::Value& reply, std::error_code& ec) noexcept {
  if (!ec) ec = makeErrorCode(replyCode(reply));
}

bool readText(const Json::Value& reply, std::string& out) {
  if (!reply.isString()) return false;
  out = reply.asString();
  return true;
}

bool readNumbers(const Json::Value& array, double* out, std::size_t n) {
  return jsonToArray(array, out, static_cast<unsigned>(n)) == 0;
}

}  // namespace velmora::internal
