// `BaseRobot`'s digital and analog I/O: reading inputs and outputs, setting outputs and
// simulated inputs. The controller names a signal by kind, board and port ("DO1_12"); reads
// ask for it under the group of its kind ("DO.DO1_12").

#include <velmora/base_robot.h>

#include <cmath>

#include "common/json_read.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

// What a set's -1 means, by key: the controller's one generic refusal names no reason.
constexpr int kOutputNotFoundCode = -14501;      // no such DO/AO, or it is a system I/O
constexpr int kInputSimulationOffCode = -10030;  // input simulation off, or no such DI

std::string signalName(const char* prefix, unsigned board, unsigned port) {
  return fmt::format("{}{}_{}", prefix, board, port);
}

// {name: null} under "device.io": the reply value, or `ec` from the link.
Json::Value querySignal(const BaseRobot::Impl& impl, const std::string& name, std::error_code& ec) {
  Json::Value param(Json::objectValue);
  param[name] = Json::Value();
  Json::Value reply;
  internal::get(*impl.service, "device.io", param, reply, ec);
  return reply;
}

bool readDigital(const BaseRobot::Impl& impl, const char* prefix, unsigned board, unsigned port, std::error_code& ec) {
  const std::string name = signalName(prefix, board, port);
  const Json::Value reply = querySignal(impl, name, ec);
  if (ec) return false;
  if (internal::isIntegerReply(reply)) {
    ec = makeErrorCode(reply.asInt());
    return false;
  }
  if (!reply.isObject()) {
    ec = makeErrorCode(internal::kUnreadableReplyCode);
    return false;
  }
  // A signal the controller left out reads as off; a value that is neither a flag nor a number
  // (a text such as "on") is not a state at all.
  const Json::Value& value = internal::member(reply, name);
  bool state = false;
  if (!value.isNull() && !(value.isBool() || value.isNumeric())) {
    ec = makeErrorCode(internal::kUnreadableReplyCode);
    return false;
  }
  internal::readBool(value, state);
  return state;
}

// The set operations share one rule: -1 is the key's own refusal; any other negative integer is
// the controller's code (a refusal such as -14010, "bound as system I/O", must not read as
// success); anything else, positive integers included, is success.
void takeSetReply(const Json::Value& reply, int codeForMinusOne, std::error_code& ec) {
  if (ec || !internal::isIntegerReply(reply)) return;
  const int code = reply.asInt();
  if (code == -1) {
    ec = makeErrorCode(codeForMinusOne);
  } else if (code < 0) {
    ec = makeErrorCode(code);
  }
}

void sendSet(const BaseRobot::Impl& impl, const char* key, const std::string& name, Json::Value value,
             int codeForMinusOne, std::error_code& ec) {
  Json::Value request(Json::objectValue);
  request["name"] = name;
  request["value"] = std::move(value);
  Json::Value reply;
  internal::command(*impl.service, key, request, reply, ec);
  takeSetReply(reply, codeForMinusOne, ec);
}

}  // namespace

bool BaseRobot::getDI(unsigned board, unsigned port, std::error_code& ec) noexcept {
  bool state = false;
  internal::runOperation(ec, [&] { state = readDigital(*impl_, "DI.DI", board, port, ec); });
  return !ec && state;
}

bool BaseRobot::getDO(unsigned board, unsigned port, std::error_code& ec) noexcept {
  bool state = false;
  internal::runOperation(ec, [&] { state = readDigital(*impl_, "DO.DO", board, port, ec); });
  return !ec && state;
}

double BaseRobot::getAI(unsigned board, unsigned port, std::error_code& ec) noexcept {
  double value = 0.0;
  internal::runOperation(ec, [&] {
    const std::string name = signalName("AI.AI", board, port);
    const Json::Value reply = querySignal(*impl_, name, ec);
    if (ec) return;
    if (internal::isIntegerReply(reply)) {
      ec = makeErrorCode(reply.asInt());
      return;
    }
    const Json::Value& signal = internal::member(reply, name);
    // Only a number is a reading; a flag or a text in its place is not.
    if (!signal.isNumeric()) {
      ec = makeErrorCode(internal::kUnreadableReplyCode);
      return;
    }
    value = signal.asDouble();
  });
  return ec ? 0.0 : value;
}

void BaseRobot::setDI(unsigned board, unsigned port, bool state, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setDI {}, {}, {}", logUid, board, port, state);
  internal::runOperation(ec, [&] {
    sendSet(*impl_, "device.io.simu.di", signalName("DI", board, port), Json::Value(state), kInputSimulationOffCode,
            ec);
  });
  internal::logEnd(*impl_, "uid: {} | setDI end, set DI{}_{} to {} ({})", logUid, board, port, state, ec);
}

void BaseRobot::setDO(unsigned board, unsigned port, bool state, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setDO {}, {}, {}", logUid, board, port, state);
  internal::runOperation(ec, [&] {
    sendSet(*impl_, "device.io.out.do", signalName("DO", board, port), Json::Value(state), kOutputNotFoundCode, ec);
  });
  internal::logEnd(*impl_, "uid: {} | setDO end, set DO{}_{} to {} ({})", logUid, board, port, state, ec);
}

void BaseRobot::setAO(unsigned board, unsigned port, double value, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setAO {}, {}, {}", logUid, board, port, value);
  // NaN and infinity have no JSON form: the request would carry null or a text.
  if (!std::isfinite(value)) {
    internal::refuse(*impl_, ec, internal::kArgumentInvalidCode, "uid: {} | setAO end, set AO{}_{} to {} ({})", logUid,
                     board, port, value, ec);
    return;
  }
  internal::runOperation(ec, [&] {
    sendSet(*impl_, "device.io.out.ao", signalName("AO", board, port), Json::Value(value), kOutputNotFoundCode, ec);
  });
  internal::logEnd(*impl_, "uid: {} | setAO end, set AO{}_{} to {} ({})", logUid, board, port, value, ec);
}

}  // namespace velmora
