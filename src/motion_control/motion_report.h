#pragma once
// What a motion message from the controller says, read without trusting its shape. Two kinds
// matter: the reply to a queued request ({"c": {key: code}, "id": "<cmdID>"}) and the last-error
// report ({"n": {"move.last_error_with_setting": {"error": E, "data": {"id", "point", "msg"}}}}).
// Anything else, and any report holding a value of the wrong kind, is ignored.

#include <json/value.h>

#include <string>
#include <system_error>
#include <vector>

namespace velmora::internal {

/// The controller topic of execution reports.
constexpr const char* kLastErrorTopic = "move.last_error_with_setting";

/// A JSON number with an integral value in the 32-bit range (flags and null are not numbers).
bool integerResult(const Json::Value& value, int& out) noexcept;
/// A request's result read as a code: integers as they are, null as 0, any other kind -260
/// ("protocol mismatch").
int resultCode(const Json::Value& result) noexcept;

/// Splits "<id>*<custom>" at the first "*": `customInfo` gets the text after it and `id` keeps
/// the text before it; both stay unchanged when `id` holds no "*".
void splitCustomInfo(std::string& id, std::string& customInfo);

struct MotionReply {
  std::string cmdID;       ///< the reply's text id without its custom part
  std::string customInfo;  ///< the text after the first "*" of the id
  /// Refusals among the reply's results (-20 to -3), in member order; others are not errors.
  std::vector<int> refusals;
};

struct MotionReport {
  std::string cmdID;       ///< without its custom part
  std::string customInfo;  ///< the text after the first "*" of the reported id
  bool hasHash = false;    ///< the id names a queued request
  int point = 0;           ///< the waypoint index
  bool finished = false;   ///< "msg" contains "finish"
  bool stop = false;       ///< "error" -1 or -257: motion stopped, reported as no error
  std::error_code error;   ///< in the library's category; -32 - E for inverse-kinematics failures
  std::string remark;      ///< text of the code after the colon of a finish message
  /// Whether the callback hears of it.
  bool notifies() const noexcept { return finished || error.value() != 0 || !remark.empty(); }
};

struct MotionMessage {
  enum class Kind { ignored, reply, report };
  Kind kind = Kind::ignored;
  MotionReply reply;
  MotionReport report;
};

/// Never throws but for memory exhaustion; the texts of codes are in the current language.
MotionMessage interpretMotionMessage(const Json::Value& message);

}  // namespace velmora::internal
