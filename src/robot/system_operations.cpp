// `BaseRobot`'s system operations: power, modes, operation state, posture, servo alarm,
// I/O simulation, teach pendant, NTP.

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
  internal::runOperation(ec, [&] {
    internal::commandForCode(*impl_->service, on ? "sys.power.on" : "sys.power.off", Json::Value(), ec);
  });
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

std::array<double, 6> BaseRobot::posture(CoordinateType ct, std::error_code& ec) noexcept {
  std::array<double, 6> pose{};
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, ct == CoordinateType::flangeInBase ? "sys.posture.flan_in_base" : "sys.posture",
                  Json::Value(), reply, ec);
    if (ec) return;
    // Each triple is taken whole or not at all; the translation read stays when the rotation
    // cannot be read.
    if (!internal::readNumbers(internal::member(reply, "trans"), pose.data(), 3) ||
        !internal::readNumbers(internal::member(reply, "rot"), pose.data() + 3, 3)) {
      ec = makeErrorCode(internal::kUnreadableReplyCode);
    }
  });
  // Only a thrown read leaves the values in doubt.
  if (ec.value() == internal::kReplyExceptionCode) pose = {};
  return pose;
}

void BaseRobot::clearServoAlarm(std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] { internal::commandForCode(*impl_->service, "sys.servo.clear_alarm", Json::Value(), ec); });
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

}  // namespace velmora
