// `BaseCobot`'s hand-guiding (drag), keypad, tool-end board supply and mode, and the
// controller's real-time client setting.

#include <velmora/cobot.h>
#include <velmora/version.h>

#include <mutex>
#include <string>
#include <utility>

#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

// The space and type that `disableDrag` sends must come from one `enableDrag`: two threads
// enabling at once could otherwise leave one's space beside the other's type, a pair neither
// asked for (joint space with translation only, which the controller refuses). The lock is
// held only around the two stores or the two loads, never across a request.
std::mutex dragMemoryMutex;

void rememberDrag(BaseRobot::Impl& impl, int space, int type) {
  std::lock_guard<std::mutex> lock(dragMemoryMutex);
  impl.dragSpace = space;
  impl.dragType = type;
}

std::pair<int, int> rememberedDrag(const BaseRobot::Impl& impl) {
  std::lock_guard<std::mutex> lock(dragMemoryMutex);
  return {impl.dragSpace.load(), impl.dragType.load()};
}

/// The command key of a drag request: the real-time one while the controller is under
/// real-time control. The state query's code is overwritten by the drag request's.
bool realTimeDrag(const BaseRobot& robot, std::error_code& ec) {
  return robot.operationState(ec) == OperationState::rtControlling;
}

const char* voutText(FlangeboxOpt::Vout opt) noexcept {
  switch (opt) {
    case FlangeboxOpt::Vout::reserve:
      return "reserve";
    case FlangeboxOpt::Vout::supply12v:
      return "12v";
    case FlangeboxOpt::Vout::supply24v:
      return "24v";
    default:
      return "off";  // off, and any value outside the enumeration
  }
}

}  // namespace

void BaseCobot::enableDrag(DragParameter::Space space, DragParameter::Type type, std::error_code& ec,
                           bool enable_drag_button) noexcept {
  internal::logEntry("uid: {} | enableDrag {}, {}", logUid, space, type);
  auto& robotImpl = impl();
  if (space == DragParameter::Space::jointSpace && type != DragParameter::Type::freely) {
    internal::refuse(robotImpl, ec, internal::kArgumentInvalidCode,
                     "uid: {} | enableDrag not freely in joint space ({})", logUid, ec);
    return;
  }
  bool rt = false;
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["enable"] = true;
    request["type"] = static_cast<int>(type);
    request["space"] = static_cast<int>(space);
    request["quick"] = enable_drag_button;
    rt = realTimeDrag(*this, ec);
    Json::Value reply;
    internal::command(*robotImpl.service, rt ? "eci.drag" : "sys.drag", request, reply, ec);
    rememberDrag(robotImpl, static_cast<int>(space), static_cast<int>(type));
    internal::takeReplyCode(reply, ec);
  });
  internal::logEnd(robotImpl, "uid: {} | enableDrag end, rt:{} ({})", logUid, rt, ec);
}

void BaseCobot::disableDrag(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | disableDrag", logUid);
  auto& robotImpl = impl();
  bool rt = false;
  internal::runOperation(ec, [&] {
    const auto [space, type] = rememberedDrag(robotImpl);
    Json::Value request(Json::objectValue);
    request["enable"] = false;
    request["type"] = type;
    request["space"] = space;
    rt = realTimeDrag(*this, ec);
    internal::commandForCode(*robotImpl.service, rt ? "eci.drag" : "sys.drag", request, ec);
  });
  internal::logEnd(robotImpl, "uid: {} | disableDrag end, rt:{} ({})", logUid, rt, ec);
}

KeyPadState BaseCobot::getKeypadState(std::error_code& ec) noexcept {
  KeyPadState state;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl().service, "device.io.keypad", Json::Value(), reply, ec);
    // An integer answer is the controller refusing (a board without a keypad): its code. Any
    // other shape means no keys pressed, the code unchanged; so does a key whose value is not a
    // flag (all seven or none).
    if (!ec && internal::isIntegerReply(reply)) ec = makeErrorCode(reply.asInt());
    if (ec || !reply.isArray() || reply.size() != 7) return;
    bool keys[7] = {};
    for (Json::ArrayIndex i = 0; i < 7; ++i) {
      const Json::Value& key = reply[i];
      if (!key.isBool() && !key.isIntegral()) return;
      keys[i] = key.asBool();
    }
    state = KeyPadState{keys[0], keys[1], keys[2], keys[3], keys[4], keys[5], keys[6]};
  });
  return ec ? KeyPadState{} : state;
}

void BaseCobot::setFlangeboxVout(FlangeboxOpt::Vout opt, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setFlangeboxVout {}", logUid, opt);
  const char* vout = voutText(opt);
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["vout"] = vout;
    internal::set(*impl().service, "device.io.flangebox", request, ec);
  });
  internal::logEnd(impl(), "uid: {} | setFlangeboxVout end, opt: {} ({})", logUid, vout, ec);
}

void BaseCobot::setFlangeboxRS485(FlangeboxOpt::Vout opt, bool if_rs485, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setFlangeboxRTU {} {}", logUid, opt, if_rs485);
  const char* vout = voutText(opt);
  // A cleared flag asks for the board's analog input mode; sending "rs485" for it would
  // switch the board into the mode the caller asked to leave.
  const char* mode = if_rs485 ? "rs485" : "ai";
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["vout"] = vout;
    request["mode"] = mode;
    internal::set(*impl().service, "device.io.flangebox", request, ec);
  });
  internal::logEnd(impl(), "uid: {} | setFlangeboxRTU end, opt: {}, {} ({})", logUid, vout, mode, ec);
}

void BaseCobot::useRciClient(bool use, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | useRciClient {}", logUid, use);
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    // Without the controller's own client, the library names itself and its version as the
    // real-time channel's user.
    request["protocol_version"] = use ? std::string() : "sdk" + internal::sdkVersionInfo().shortString();
    internal::set(*impl().service, "eci.rci.cfg", request, ec);
  });
  internal::logEnd(impl(), "uid: {} | useRciClient end, use: {} ({})", logUid, use, ec);
}

}  // namespace velmora
