#include "motion_control/motion_encoding.h"

#include <velmora/error.h>

#include <chrono>

#include "common/json_convert.h"
#include "common/value_checks.h"
#include "network/xservice/json_text.h"

namespace velmora::internal {

namespace {

constexpr double kNotGiven = -1.0;

using OffsetType = CartesianPosition::Offset::Type;

bool offsetIsSent(const CartesianPosition::Offset& offset) noexcept {
  return offset.type == OffsetType::offs || offset.type == OffsetType::relTool;
}

// A pose goes out as trans/rot only; a frame given as a matrix alone would become the zero pose.
bool sendsMatrixOnly(const CartesianPosition& pose, const CartesianPosition::Offset& offset) noexcept {
  return isMatrixOnly(pose) || (offsetIsSent(offset) && isMatrixOnly(offset.frame));
}

bool matrixOnly(const MoveAbsJCommand&) noexcept { return false; }
bool matrixOnly(const MoveJCommand& c) noexcept { return sendsMatrixOnly(c.target, c.targetOffset); }
bool matrixOnly(const MoveLCommand& c) noexcept { return sendsMatrixOnly(c.target, c.targetOffset); }
bool matrixOnly(const MoveCCommand& c) noexcept {
  return sendsMatrixOnly(c.target, c.targetOffset) || sendsMatrixOnly(c.aux, c.auxOffset);
}
bool matrixOnly(const MoveSPCommand& c) noexcept { return sendsMatrixOnly(c.target, c.targetOffset); }
bool matrixOnly(const MoveWaitCommand&) noexcept { return false; }

}  // namespace

Json::Value moveCommandToJson(const Json::Value& point, double speed, double zone, double jointSpeed, double rotSpeed,
                              const std::string& custom) {
  Json::Value result;
  result["point"] = point;
  if (!(speed == kNotGiven && zone == kNotGiven && jointSpeed == kNotGiven && rotSpeed == kNotGiven)) {
    Json::Value traj;
    if (speed != kNotGiven) traj["speed"] = speed / 1000.0;
    if (zone != kNotGiven) traj["zone"] = zone / 1000.0;
    if (jointSpeed >= 0.0) traj["jnt_speed"] = jointSpeed;
    if (rotSpeed >= 0.0) traj["rot_speed"] = rotSpeed;
    result["traj"] = std::move(traj);
  }
  if (!custom.empty()) result["custom"] = custom;
  return result;
}

Json::Value cartesianWithOffsetToJson(const CartesianPosition& pose, const CartesianPosition::Offset& offset) {
  Json::Value result = cartesianToJson(pose, false);
  if (!offsetIsSent(offset)) return result;
  Json::Value& out = result["offset"];
  out["type"] = offset.type == OffsetType::offs ? "offs" : "reltool";
  frameToJson(offset.frame, out);
  return result;
}

const char* rotTypeName(MoveCFCommand::RotType type) noexcept {
  switch (type) {
    case MoveCFCommand::RotType::rotAxis:
      return "rot_axis";
    case MoveCFCommand::RotType::fixedAxis:
      return "fixed_axis";
    default:
      return "const_pose";
  }
}

Json::Value commandToJson(const MoveAbsJCommand& command) {
  Json::Value point(Json::arrayValue);
  for (double v : command.target.joints) point.append(v);
  for (double v : command.target.external) point.append(v);
  return moveCommandToJson(point, command.speed, command.zone, command.jointSpeed, kNotGiven, command.customInfo);
}

Json::Value commandToJson(const MoveJCommand& command) {
  return moveCommandToJson(cartesianWithOffsetToJson(command.target, command.targetOffset), command.speed, command.zone,
                           command.jointSpeed, kNotGiven, command.customInfo);
}

Json::Value commandToJson(const MoveLCommand& command) {
  return moveCommandToJson(cartesianWithOffsetToJson(command.target, command.targetOffset), command.speed, command.zone,
                           kNotGiven, command.rotSpeed, command.customInfo);
}

Json::Value moveCToJson(const MoveCCommand& command) {
  Json::Value body = moveCommandToJson(cartesianWithOffsetToJson(command.target, command.targetOffset), command.speed,
                                       command.zone, kNotGiven, command.rotSpeed, command.customInfo);
  body["aux"] = cartesianWithOffsetToJson(command.aux, command.auxOffset);
  return body;
}

Json::Value commandToJson(const MoveCCommand& command) { return moveCToJson(command); }

Json::Value commandToJson(const MoveCFCommand& command) {
  Json::Value body = moveCToJson(command);
  Json::Value& circle = body["circle"];
  circle["angle"] = command.angle;
  circle["rot_type"] = rotTypeName(command.rotType);
  return body;
}

Json::Value moveSPToJson(const MoveSPCommand& command) {
  Json::Value body = moveCommandToJson(cartesianWithOffsetToJson(command.target, command.targetOffset), command.speed,
                                       command.zone, kNotGiven, command.rotSpeed, command.customInfo);
  Json::Value& spiral = body["spiral"];
  spiral["radius"] = command.radius;
  spiral["step"] = command.radiusStep;
  spiral["angle"] = command.angle;
  spiral["dir"] = command.direction;
  return body;
}

Json::Value commandToJson(const MoveSPCommand& command) { return moveSPToJson(command); }

template <typename T>
Json::Value requestBody(const std::vector<T>& commands) {
  if (commands.size() == 1) return commandToJson(commands.front());
  Json::Value body;
  Json::Value& path = body["path"] = Json::Value(Json::arrayValue);
  for (const T& command : commands) path.append(commandToJson(command));
  return body;
}

Json::Value requestBody(const std::vector<MoveWaitCommand>& commands) {
  Json::Value body;
  const auto ms =
      commands.empty() ? 0 : std::chrono::duration_cast<std::chrono::milliseconds>(commands.front().duration).count();
  body["time"] = static_cast<double>(ms) / 1000.0;
  return body;
}

void appendCommandText(std::string& out, std::string_view key, const Json::Value& body, std::string_view cmdID) {
  out += "{\"c\":{";
  appendJsonString(out, key);
  out.push_back(':');
  appendJson(out, body);
  out += "},\"id\":";
  appendJsonString(out, cmdID);
  out += "}\r";
}

template <typename T>
std::error_code checkCommands(const std::vector<T>& commands) noexcept {
  if (commands.empty() || commands.size() > kMaxCommandsPerRequest) return makeErrorCode(259);
  for (const T& command : commands) {
    if (!allFinite(command)) return makeErrorCode(259);
    if (matrixOnly(command)) return makeErrorCode(260);
  }
  return makeErrorCode(0);
}

template Json::Value requestBody(const std::vector<MoveAbsJCommand>&);
template Json::Value requestBody(const std::vector<MoveJCommand>&);
template Json::Value requestBody(const std::vector<MoveLCommand>&);
template Json::Value requestBody(const std::vector<MoveCCommand>&);
template Json::Value requestBody(const std::vector<MoveCFCommand>&);
template Json::Value requestBody(const std::vector<MoveSPCommand>&);

template std::error_code checkCommands(const std::vector<MoveAbsJCommand>&) noexcept;
template std::error_code checkCommands(const std::vector<MoveJCommand>&) noexcept;
template std::error_code checkCommands(const std::vector<MoveLCommand>&) noexcept;
template std::error_code checkCommands(const std::vector<MoveCCommand>&) noexcept;
template std::error_code checkCommands(const std::vector<MoveCFCommand>&) noexcept;
template std::error_code checkCommands(const std::vector<MoveSPCommand>&) noexcept;
template std::error_code checkCommands(const std::vector<MoveWaitCommand>&) noexcept;

}  // namespace velmora::internal
