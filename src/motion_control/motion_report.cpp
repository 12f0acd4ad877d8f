#include "motion_control/motion_report.h"

#include <velmora/error.h>

#include <cctype>
#include <cstdint>
#include <limits>
#include <optional>

#include "common/json_read.h"

namespace velmora::internal {

namespace {

std::optional<int> integerNumber(const Json::Value& value) noexcept {
  int out = 0;
  if (integerResult(value, out)) return out;
  return std::nullopt;
}

// The integer a text starts with, as the standard decimal conversion reads it (leading white
// space and a sign allowed); nothing when there is none or it leaves the 32-bit range.
std::optional<int> leadingInteger(const std::string& text, std::size_t from) noexcept {
  std::size_t i = from;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t digits = i;
  std::int64_t value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = value * 10 + (text[i++] - '0');
    if (value > std::int64_t{std::numeric_limits<int>::max()} + 1) return std::nullopt;
  }
  if (i == digits) return std::nullopt;
  if (negative) value = -value;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(value);
}

int clampToInt(std::int64_t value) noexcept {
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(value);
}

bool readReply(const Json::Value& message, MotionReply& out) {
  const Json::Value& results = member(message, "c");
  if (!results.isObject()) return false;
  readString(member(message, "id"), out.cmdID);
  splitCustomInfo(out.cmdID, out.customInfo);
  for (auto it = results.begin(); it != results.end(); ++it) {
    const auto code = integerNumber(*it);
    // The controller's refusals of a queued request: -3 and -16 to -20.
    if (code && *code >= -20 && *code <= -3) out.refusals.push_back(*code);
  }
  return true;
}

bool readReport(const Json::Value& message, MotionReport& out) {
  const Json::Value& body = member(member(message, "n"), kLastErrorTopic);
  if (!body.isObject()) return false;
  const Json::Value& data = member(body, "data");
  if (!data.isNull() && !data.isObject()) return false;
  int reported = 0;
  std::string id;
  std::string text;
  int point = 0;
  if (hasMember(body, "error") && !integerNumber(member(body, "error")).has_value()) return false;
  if (hasMember(body, "error")) reported = *integerNumber(member(body, "error"));
  if (!readString(member(data, "id"), id) || !readString(member(data, "msg"), text)) return false;
  const Json::Value& pointValue = member(data, "point");
  if (!pointValue.isNull()) {
    const auto p = integerNumber(pointValue);
    if (!p) return false;
    point = *p;
  }

  int code = 0;
  if (reported == -1 || reported == -257) {
    out.stop = true;
  } else {
    code = reported;
  }
  out.hasHash = id.find('#') != std::string::npos;
  splitCustomInfo(id, out.customInfo);
  out.cmdID = std::move(id);
  out.point = point;
  out.finished = text.find("finish") != std::string::npos;
  if (out.finished) {
    const auto colon = text.find(':');
    if (colon != std::string::npos) {
      if (const auto remark = leadingInteger(text, colon + 1)) out.remark = apiErrorCategory().message(*remark);
    }
  }
  // Inverse-kinematics failures are reported as -32 - n for the controller's n.
  if (text.find("ik") != std::string::npos) code = clampToInt(std::int64_t{reported} - 32);
  out.error = makeErrorCode(code);
  return true;
}

}  // namespace

bool integerResult(const Json::Value& value, int& out) noexcept {
  switch (value.type()) {
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
      return readInt(value, out);
    default:
      return false;
  }
}

int resultCode(const Json::Value& result) noexcept {
  int code = 0;
  if (result.isNull() || integerResult(result, code)) return code;
  return -260;
}

void splitCustomInfo(std::string& id, std::string& customInfo) {
  const auto star = id.find('*');
  if (star == std::string::npos) return;
  customInfo = id.substr(star + 1);
  id.erase(star);
}

MotionMessage interpretMotionMessage(const Json::Value& message) {
  MotionMessage out;
  if (!message.isObject()) return out;
  if (member(message, "c").isObject()) {
    if (readReply(message, out.reply)) out.kind = MotionMessage::Kind::reply;
    return out;
  }
  if (readReport(message, out.report)) out.kind = MotionMessage::Kind::report;
  return out;
}

}  // namespace velmora::internal
