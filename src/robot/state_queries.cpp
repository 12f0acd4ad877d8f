// The state queries: joint positions, velocities and torques, the posture (as six numbers or
// as a Cartesian position) and a whole snapshot, each one "g" request on the command link.
// They log nothing.

#include <velmora/robot_t.h>

#include <string>
#include <vector>

#include "common/json_convert.h"
#include "common/json_read.h"
#include "robot/operation_frame.h"
#include "robot/robot_instances.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

constexpr int kAxisMismatchCode = 261;

// Every element a number (or what the converters take for one); 257 otherwise.
std::vector<double> jointValues(const BaseRobot::Impl& impl, const char* key, std::error_code& ec) {
  std::vector<double> values;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl.service, key, Json::Value(), reply, ec);
    if (ec) return;
    if (internal::jsonToVector(reply, values) != 0) ec = makeErrorCode(internal::kUnreadableReplyCode);
  });
  if (ec) values.clear();
  return values;
}

// The signals of one group ("DI", "DO", "AI", "AO") in name order; a value of another kind is
// left out instead of read as off or zero.
template <typename Value, typename Read>
void appendSignals(const Json::Value& io, const char* group, Read read,
                   std::vector<std::pair<std::string, Value>>& out) {
  const Json::Value& signals = internal::member(io, group);
  if (!signals.isObject()) return;
  for (const std::string& name : signals.getMemberNames()) {
    const Json::Value& value = internal::member(signals, name);
    Value state{};
    if (read(value, state)) out.emplace_back(name, state);
  }
}

// The flange in the base frame; the end in the reference frame for any other value.
const char* postureKey(CoordinateType ct) {
  return ct == CoordinateType::flangeInBase ? "sys.posture.flan_in_base" : "sys.posture";
}

bool readFlagOrNumber(const Json::Value& value, bool& out) {
  return (value.isBool() || value.isNumeric()) && internal::readBool(value, out);
}

bool readNumber(const Json::Value& value, double& out) { return value.isNumeric() && internal::readDouble(value, out); }

}  // namespace

std::vector<double> BaseRobot::jointPos(std::error_code& ec) noexcept {
  return jointValues(*impl_, "sys.rt.jnt_pos", ec);
}

std::vector<double> BaseRobot::jointVel(std::error_code& ec) noexcept {
  return jointValues(*impl_, "sys.rt.jnt_vel", ec);
}

std::array<double, 6> BaseRobot::posture(CoordinateType ct, std::error_code& ec) noexcept {
  std::array<double, 6> pose{};
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, postureKey(ct), Json::Value(), reply, ec);
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

CartesianPosition BaseRobot::cartPosture(CoordinateType ct, std::error_code& ec) noexcept {
  CartesianPosition pose;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, postureKey(ct), Json::Value(), reply, ec);
    if (ec) return;
    if (internal::isIntegerReply(reply)) {
      ec = makeErrorCode(reply.asInt());
      return;
    }
    // Anything but a pose object (null included) carries no pose: reading it as zeros would
    // report the origin as the arm's posture.
    internal::JsonReadStatus status;
    CartesianPosition read = internal::jsonToCartesian(reply, status);
    if (!reply.isObject() || !status.ok()) {
      ec = makeErrorCode(internal::kUnreadableReplyCode);
      return;
    }
    pose = std::move(read);
  });
  return ec ? CartesianPosition() : pose;
}

template <int W, unsigned short N>
StateList Robot_T<W, N>::getStateList(std::error_code& ec) noexcept {
  StateList list;
  internal::runOperation(ec, [&] {
    Json::Value runParam(Json::objectValue);
    runParam["override"] = Json::Value();
    Json::Value reply;
    internal::getMany(*this->impl().service,
                      {"sys.rt.jnt_pos", "sys.posture", "device.io", "sys.mode", "project.run_param"},
                      {Json::Value(), Json::Value(), Json::Value(), Json::Value(), runParam}, reply, ec);
    if (ec) return;
    StateList read;
    read.joint_pos.assign(N, 0.0);
    if (internal::jsonToArray(internal::member(reply, "sys.rt.jnt_pos"), read.joint_pos.data(), N) != 0) {
      ec = makeErrorCode(kAxisMismatchCode);
      list.joint_pos.assign(N, 0.0);
      return;
    }
    // A posture that cannot be read is the zero pose, not a half-read one.
    internal::JsonReadStatus status;
    read.cart_pos = internal::jsonToCartesian(internal::member(reply, "sys.posture"), status);
    if (!status.ok()) read.cart_pos = CartesianPosition();
    const Json::Value& io = internal::member(reply, "device.io");
    appendSignals<bool>(io, "DI", readFlagOrNumber, read.digital_signals);
    appendSignals<bool>(io, "DO", readFlagOrNumber, read.digital_signals);
    appendSignals<double>(io, "AI", readNumber, read.analog_signals);
    appendSignals<double>(io, "AO", readNumber, read.analog_signals);
    const Json::Value& mode = internal::member(reply, "sys.mode");
    read.operation_mode = mode.isString() && mode.asString() == "auto" ? OperateMode::automatic : OperateMode::manual;
    readNumber(internal::member(internal::member(reply, "project.run_param"), "override"), read.speed_override);
    list = std::move(read);
  });
  if (ec && ec.value() != kAxisMismatchCode) return StateList();
  return list;
}

template <int W, unsigned short N>
std::array<double, N> Robot_T<W, N>::jointTorque(std::error_code& ec) noexcept {
  std::array<double, N> torques{};
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*this->impl().service, "sys.rt.jnt_trq", Json::Value(), reply, ec);
    if (ec) return;
    if (internal::jsonToArray(reply, torques.data(), N) != 0) ec = makeErrorCode(kAxisMismatchCode);
  });
  if (ec) torques = {};
  return torques;
}

#define VELMORA_INSTANTIATE(W, N)                                            \
  template StateList Robot_T<W, N>::getStateList(std::error_code&) noexcept; \
  template std::array<double, N> Robot_T<W, N>::jointTorque(std::error_code&) noexcept;
VELMORA_FOR_EACH_ROBOT_T(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
