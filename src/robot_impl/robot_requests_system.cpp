// Registers, the controller's reboot and shutdown, its operate mode and the tool-end board
// type. Each reply is judged by its kind before it is read, so a controller answering a text
// where a code belongs gives -260 instead of an exception out of a noexcept operation.

#include <velmora/error.h>

#include "common/globals.h"
#include "common/json_read.h"
#include "common/logging.h"
#include "common/reply_read.h"
#include "network/xservice/link_settings.h"
#include "network/xservice/xservice.h"
#include "robot_impl/robot_requests.h"

namespace velmora::internal {
namespace {

constexpr int kReadRegisterFailed = -17001;

// The code a command's reply carries: its integer, 0 for null (a reply with no value), and
// -260 for any other kind.
int replyCode(const Json::Value& reply) noexcept {
  if (reply.isNull()) return 0;
  if (isIntegerReply(reply)) return reply.asInt();
  return kReplyExceptionCode;
}

}  // namespace

bool readRegisterReply(const Json::Value& reply, const std::string& key, Json::Value& values,
                       std::error_code& ec) {
  values = Json::Value();
  if (isIntegerReply(reply)) {
    const int code = reply.asInt();
    ec = makeErrorCode(code == -1 ? kReadRegisterFailed : code);
    return false;
  }
  const Json::Value& found = member(reply, key);
  if (found.isNull()) {
    ec = makeErrorCode(kReplyExceptionCode);
    return false;
  }
  values = found;
  return true;
}

void queryRegisterValues(XService& link, Json::Value& values, const std::string& key,
                         std::error_code& ec) noexcept {
  values = Json::Value();
  guardReply(ec, [&] {
    Json::Value question(Json::objectValue);
    question[key] = Json::Value();
    Json::Value reply;
    link.getValue("register.values", question, reply, ec);
    if (!ec) readRegisterReply(reply, key, values, ec);
  });
  if (ec) values = Json::Value();
}

void rebootOrShutdown(XService& link, int option, std::error_code& ec) noexcept {
  guardReply(ec, [&] {
    Json::Value value;
    if (option == 1) value["option"] = "shutdown";
    Json::Value reply;
    link.sendCommand("utils.reboot", value, reply, ec, linkSettings().defaultRequestWait.load());
    if (!ec) ec = makeErrorCode(replyCode(reply));
  });
}

int setOperateMode(XService& link, OperateMode mode, std::error_code& ec) noexcept {
  int result = 0;
  guardReply(ec, [&] {
    const Json::Value value(mode == OperateMode::automatic ? "auto" : "manual");
    Json::Value reply;
    link.sendCommand("sys.mode.switch", value, reply, ec, linkSettings().defaultRequestWait.load());
    if (ec) return;
    result = replyCode(reply);
    if (result == kReplyExceptionCode) ec = makeErrorCode(result);
  });
  return ec ? ec.value() : result;
}

int queryFlangeBoxType(XService& link, bool& known) noexcept {
  known = false;
  int type = 0;
  std::error_code ec;
  guardReply(ec, [&] {
    Json::Value reply;
    link.getValue("flangebox_support_rs485_param", reply, ec);
    // Only an integer is a board type; anything else is a failed read, asked again next time.
    if (!ec && isIntegerReply(reply)) {
      type = reply.asInt();
      known = true;
    }
    globalLogger()->debug("uid: {}| GetFlangeBoxType: {}", logUid, type);
  });
  return known ? type : 0;
}

}  // namespace velmora::internal
