// The request form of every force-control operation: the "eci.fc." key and the controller's
// verdict in the reply.

#include <json/value.h>

#include <string>

#include "common/globals.h"
#include "common/reply_read.h"
#include "common/result_codes.h"
#include "force_control/force_control_impl.h"
#include "robot/operation_frame.h"

namespace velmora::internal {

void sendFcRequest(XService& link, const char* suffix, const Json::Value& value, std::error_code& ec,
                   std::optional<std::chrono::nanoseconds> timeout) {
  Json::Value reply;
  command(link, fcCommandPrefix + suffix, value, reply, ec, timeout);
  if (!ec) checkErrorReply(reply, ec);
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

}  // namespace velmora::internal
