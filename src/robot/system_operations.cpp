// `BaseRobot`'s system operations: power, operate mode, operation state, servo alarm, I/O
// simulation, teach pendant, NTP, reboot and shutdown.

#include <velmora/base_robot.h>

#include <string_view>

#include "common/json_convert.h"
#include "common/json_read.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr std::chrono::seconds kNtpSyncWait{12};

// The controller's state name reduced to a name of the table: what precedes the first "/"
// (a program's mode follows it), then, for a name not in the table, what precedes the first
// "ing" (the controller appends it to a state in progress).
OperationState parseOperationState(std::string name) {
  if (const auto slash = name.find('/'); slash != std::string::npos) name.resize(slash);
  if (name.size() >= 3) {
    const auto ing = name.find("ing");
    if (ing != std::string::npos && BaseRobot::Impl::operationStateNames().count(name) == 0) {
      name.resize(ing);
    }
  }
  return static_cast<OperationState>(BaseRobot::Impl::stateNameToOperationState(name));
}

}  // namespace

PowerState BaseRobot::powerState(std::error_code& ec) const noexcept {
  PowerState state = PowerState::unknown;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, "sys.power", Json::Value(), reply, ec);
    std::string name;
    // Any other reply is an unknown state, the code unchanged.
    if (ec || !internal::readText(reply, name)) return;
    if (name == "on") state = PowerState::on;
    if (name == "off") state = PowerState::off;
    if (name == "estop") state = PowerState::estop;
    if (name == "gstop") state = PowerState::gstop;
  });
  return ec ? PowerState::unknown : state;
}

void BaseRobot::setPowerState(bool on, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setPowerState {}", logUid, on);
  internal::runOperation(
      ec, [&] { internal::commandForCode(*impl_->service, on ? "sys.power.on" : "sys.power.off", Json::Value(), ec); });
  internal::logEnd(*impl_, "uid: {} | setPowerState end, switch motor {} ({})", logUid, on, ec);
}

OperateMode BaseRobot::operateMode(std::error_code& ec) const noexcept {
  OperateMode mode = OperateMode::unknown;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, "sys.mode", Json::Value(), reply, ec);
    std::string name;
    if (ec || !internal::readText(reply, name)) return;
    if (name == "auto") mode = OperateMode::automatic;
    if (name == "manual") mode = OperateMode::manual;
  });
  return ec ? OperateMode::unknown : mode;
}

void BaseRobot::setOperateMode(OperateMode mode, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setOperateMode {}", logUid, internal::enumName(mode));
  internal::runOperation(ec, [&] {
    // The request's code when it failed, else the controller's answer.
    const int code = impl_->setOperateMode(mode, ec);
    ec = internal::makeErrorCode(code);
  });
  internal::logEnd(*impl_, "uid: {} | setOperationMode end, switch to {} ({})", logUid, internal::enumName(mode), ec);
}

int BaseRobot::Impl::setOperateMode(OperateMode mode, std::error_code& ec) {
  const Json::Value value(mode == OperateMode::automatic ? "auto" : "manual");
  Json::Value reply;
  internal::command(*service, "sys.mode.switch", value, reply, ec);
  if (ec) return ec.value();
  const int result = internal::replyCode(reply);
  if (result == internal::kReplyExceptionCode) ec = makeErrorCode(result);
  return result;
}

OperationState BaseRobot::operationState(std::error_code& ec) const noexcept {
  OperationState state = OperationState::unknown;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, "sys.state", Json::Value(), reply, ec);
    std::string name;
    // A reply that is no name at all is a state outside the table, as an unknown name is:
    // callers such as disconnecting and the mode switch go on with their own work.
    if (ec || !internal::readString(reply, name)) return;
    state = parseOperationState(std::move(name));
  });
  return ec ? OperationState::unknown : state;
}

void BaseRobot::clearServoAlarm(std::error_code& ec) noexcept {
  internal::runOperation(
      ec, [&] { internal::commandForCode(*impl_->service, "sys.servo.clear_alarm", Json::Value(), ec); });
}

void BaseRobot::setSimulationMode(bool state, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    internal::commandForCode(*impl_->service, state ? "device.io.simu.on" : "device.io.simu.off", Json::Value(), ec);
  });
}

void BaseRobot::setTeachPendantMode(bool enable, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    Json::Value value;
    value["with"] = enable;
    internal::commandForCode(*impl_->service, "sys.set_teach_pendant", value, ec);
  });
  internal::logEnd(*impl_, "uid: {} | setTeachPendantMode, enable: {} ({})", logUid, enable, ec);
}

void BaseRobot::configNtp(const std::string& server, std::error_code& ec) noexcept {
  std::string text;
  internal::runOperation(ec, [&] {
    Json::Value value;
    value["server"] = server;
    Json::Value reply;
    internal::command(*impl_->service, "sys.ntp.config", value, reply, ec);
    internal::parseErrorReply(reply, ec, text);
  });
  internal::logRobotOnly(*impl_, spdlog::level::info, "configNtp {} ({}{})", server, ec, text);
}

void BaseRobot::syncTimeWithServer(std::error_code& ec) noexcept {
  std::string text;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::command(*impl_->service, "sys.ntp.sync", Json::Value(), reply, ec, kNtpSyncWait);
    internal::parseErrorReply(reply, ec, text);
  });
  internal::logRobotOnly(*impl_, spdlog::level::info, "syncTimeWithServer ({}{})", ec, text);
}

void BaseRobot::rebootSystem(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | rebootSystem", logUid);
  internal::runOperation(ec, [&] { impl_->rebootOrShutdown(0, ec); });
  internal::logEnd(*impl_, "uid: {} | rebootSystem({})", logUid, ec);
}

void BaseRobot::shutdownSystem(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | shutdownSystem", logUid);
  internal::runOperation(ec, [&] { impl_->rebootOrShutdown(1, ec); });
  internal::logEnd(*impl_, "uid: {} | shutdownSystem({})", logUid, ec);
}

void BaseRobot::Impl::rebootOrShutdown(int option, std::error_code& ec) {
  Json::Value value;
  if (option == 1) value["option"] = "shutdown";
  internal::commandForCode(*service, "utils.reboot", value, ec);
}

}  // namespace velmora
