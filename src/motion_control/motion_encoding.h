#pragma once
// The controller's JSON of the non-real-time motion commands. Pure functions over the command
// values: no state, no logging, no link.
//
// One request carries 1 to 100 commands of one type: a single command travels as its bare body,
// several as {"path": [body, ...]} in list order. Speed and zone go to the controller divided by
// 1000.0 and are left out when exactly -1.0; a joint or rotation speed is written only when it is
// 0 or more; every other number is written unchanged.

#include <velmora/commands.h>
#include <velmora/types.h>

#include <json/value.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace velmora::internal {

/// Most commands one request may carry.
constexpr std::size_t kMaxCommandsPerRequest = 100;

/// Request key, id prefix and in-flight accounting of each command type.
template <typename T>
struct MotionCommandTraits;

template <>
struct MotionCommandTraits<MoveAbsJCommand> {
  static constexpr const char* key = "move.j";
  static constexpr const char* prefix = "absj";
  static constexpr bool countsInFlight = true;
};
template <>
struct MotionCommandTraits<MoveJCommand> {
  static constexpr const char* key = "move.jc";
  static constexpr const char* prefix = "j";
  static constexpr bool countsInFlight = true;
};
template <>
struct MotionCommandTraits<MoveLCommand> {
  static constexpr const char* key = "move.l";
  static constexpr const char* prefix = "l";
  static constexpr bool countsInFlight = true;
};
template <>
struct MotionCommandTraits<MoveCCommand> {
  static constexpr const char* key = "move.c";
  static constexpr const char* prefix = "c";
  static constexpr bool countsInFlight = true;
};
template <>
struct MotionCommandTraits<MoveCFCommand> {
  static constexpr const char* key = "move.cf";
  static constexpr const char* prefix = "cf";
  static constexpr bool countsInFlight = true;
};
template <>
struct MotionCommandTraits<MoveSPCommand> {
  static constexpr const char* key = "move.sp";
  static constexpr const char* prefix = "sp";
  static constexpr bool countsInFlight = true;
};
template <>
struct MotionCommandTraits<MoveWaitCommand> {
  static constexpr const char* key = "move.wait";
  static constexpr const char* prefix = "wait";
  // A wait moves nothing, so it takes no place under the in-flight limit.
  static constexpr bool countsInFlight = false;
};

/// Key and id prefix of a recorded path's replay.
constexpr const char* kReplayKey = "move.replay";
constexpr const char* kReplayPrefix = "path";

/// {"point": point, "traj": {...}, "custom": text}; "traj" is absent when all four speeds are
/// exactly -1.0 and null when it is present but none of them was written.
Json::Value moveCommandToJson(const Json::Value& point, double speed, double zone, double jointSpeed, double rotSpeed,
                              const std::string& custom);

/// The pose in its "elb" form, with "offset": {"type": "offs"|"reltool", "trans", "rot"} when the
/// offset is of one of those two types.
Json::Value cartesianWithOffsetToJson(const CartesianPosition& pose, const CartesianPosition::Offset& offset);

/// Bodies of one command each.
Json::Value moveCToJson(const MoveCCommand& command);
Json::Value moveSPToJson(const MoveSPCommand& command);
Json::Value commandToJson(const MoveAbsJCommand& command);
Json::Value commandToJson(const MoveJCommand& command);
Json::Value commandToJson(const MoveLCommand& command);
Json::Value commandToJson(const MoveCCommand& command);
Json::Value commandToJson(const MoveCFCommand& command);
Json::Value commandToJson(const MoveSPCommand& command);

/// "rot_axis", "fixed_axis", or "const_pose" for every other value.
const char* rotTypeName(MoveCFCommand::RotType type) noexcept;

/// The body of a whole list: the bare body of a single command, {"path": [...]} otherwise.
template <typename T>
Json::Value requestBody(const std::vector<T>& commands);
/// {"time": seconds}: the first wait's whole milliseconds / 1000.0; the rest are not read.
Json::Value requestBody(const std::vector<MoveWaitCommand>& commands);

/// Bytes a command request's text ends with after its text id.
constexpr std::size_t kCommandTextTail = 3;

/// Appends the framed request of a command with a text id: {"c":{key:body},"id":"<cmdID>"} and
/// the carriage return. The id goes out as it is (prefix, '#', digits need no escape), so the
/// text ends with it and `kCommandTextTail` bytes.
void appendCommandText(std::string& out, std::string_view key, const Json::Value& body, std::string_view cmdID);

/// Whether a list may be sent: 259 when it is empty, longer than 100 or holds a number that is
/// not finite (JSON would carry it as null or 1e+9999, which the controller reads as another
/// target), 260 when a pose it would send exists only as a matrix (it would go out as the zero
/// pose); 0 otherwise. The first offending command decides.
template <typename T>
std::error_code checkCommands(const std::vector<T>& commands) noexcept;

}  // namespace velmora::internal
