// `BaseRobot`'s tool and work-object tables: the lists of the current project and the write of
// one entry (project or global table). The list the controller gives is read with every kind
// checked; the record written is built from finite values only, because the JSON writer would
// put NaN as null and infinity as 1e+9999 into the controller's table.

#include "robot/tool_operations.h"

#include <velmora/base_robot.h>

#include <array>
#include <climits>
#include <string_view>

#include "common/json_read.h"
#include "common/rotation.h"
#include "common/value_checks.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kToolWobjFailure = -50501;

// Three numbers from an array of at least three; false, `out` untouched, for anything else.
// An element that is no number is refused in `status`.
bool readTriple(const Json::Value& list, std::array<double, 3>& out, internal::JsonReadStatus& status,
                std::string_view field) {
  if (!list.isArray() || list.size() < 3) return false;
  std::array<double, 3> values{};
  for (Json::ArrayIndex i = 0; i < 3; ++i) {
    if (!internal::readDouble(list[i], values[i], status, field)) return false;
  }
  out = values;
  return true;
}

// A member the entry's layout names as an object; null stands for an absent one.
const Json::Value& objectMember(const Json::Value& parent, std::string_view key, internal::JsonReadStatus& status) {
  const Json::Value& value = internal::member(parent, key);
  if (!value.isObject() && !value.isNull()) status.refuse(key, "object", internal::kindName(value));
  return value;
}

// One entry of the list: {"load": {"mass", "cog", "inertia"}, "coord": {"trans", "rot"},
// "held"}. Lists that are not arrays of three read as zeros; values are not converted.
bool readEntry(const Json::Value& entry, WorkToolInfo& info) {
  internal::JsonReadStatus status;
  if (!entry.isObject() && !entry.isNull()) return false;
  const Json::Value& load = objectMember(entry, "load", status);
  internal::readDouble(internal::member(load, "mass"), info.load.mass, status, "load.mass");
  readTriple(internal::member(load, "cog"), info.load.cog, status, "load.cog");
  readTriple(internal::member(load, "inertia"), info.load.inertia, status, "load.inertia");
  const Json::Value& coord = objectMember(entry, "coord", status);
  if (readTriple(internal::member(coord, "trans"), info.pos.trans, status, "coord.trans")) {
    readTriple(internal::member(coord, "rot"), info.pos.rpy, status, "coord.rot");
  }
  internal::readBool(internal::member(entry, "held"), info.robotHeld, status, "held");
  return status.ok();
}

Json::Value xyz(const std::array<double, 3>& v, double factor) {
  Json::Value out(Json::objectValue);
  out["x"] = v[0] * factor;
  out["y"] = v[1] * factor;
  out["z"] = v[2] * factor;
  return out;
}

Json::Value zeroOrientation() {
  Json::Value ori(Json::objectValue);
  ori["euler"]["a"] = 0;
  ori["euler"]["b"] = 0;
  ori["euler"]["c"] = 0;
  ori["quaternion"]["q1"] = 1;
  ori["quaternion"]["q2"] = 0;
  ori["quaternion"]["q3"] = 0;
  ori["quaternion"]["q4"] = 0;
  return ori;
}

bool listHolds(const Json::Value& names, const std::string& name) {
  if (!names.isArray()) return false;
  std::string text;
  for (const Json::Value& entry : names) {
    if (internal::readString(entry, text) && text == name) return true;
  }
  return false;
}

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The controller's record of a tool or work object: translations and the centre of gravity
// in millimetres, angles in degrees with the quaternion beside them, inertia × 1e6.
Json::Value workToolRecord(const WorkToolInfo& info, const std::string& kind, const internal::WorkToolName& scope) {
  Json::Value record(Json::objectValue);
  record["id"] = scope.id;
  record["name"] = info.name;
  record["identified"] = true;
  record["calibrated"] = true;
  record["description"] = info.alias;

  Json::Value& frame = record["frame"];
  frame["pos"] = xyz(info.pos.trans, 1000.0);
  Json::Value& euler = frame["ori"]["euler"];
  euler["a"] = info.pos.rpy[0] * 180.0 / kPi;
  euler["b"] = info.pos.rpy[1] * 180.0 / kPi;
  euler["c"] = info.pos.rpy[2] * 180.0 / kPi;
  const std::array<double, 4> q = internal::eulerToQuaternion(info.pos.rpy);
  Json::Value& quaternion = frame["ori"]["quaternion"];
  quaternion["q1"] = q[0];
  quaternion["q2"] = q[1];
  quaternion["q3"] = q[2];
  quaternion["q4"] = q[3];

  record["method"] = 3;
  record["pers"] = false;
  record["robhold"] = info.robotHeld;

  Json::Value& load = record["load"];
  load["mass"] = info.load.mass;
  Json::Value& moment = load["moment"];
  for (const double v : info.load.inertia) moment.append(v * 1000000.0);
  Json::Value& pose = load["pose"];
  if (info.robotHeld) {
    pose["pos"] = xyz(info.load.cog, 1000.0);
  } else {
    pose["pos"]["x"] = 0;
    pose["pos"]["y"] = 0;
    pose["pos"]["z"] = 0;
  }
  pose["ori"] = zeroOrientation();

  if (kind == "wobj") {
    record["mechanic"] = "robot";
    record["movable"] = true;
    record["related_frame"] = scope.global ? "g_user_0" : "userframe0";
    record["uf_id"] = -100;
  } else {
    Json::Value& envelope = record["envelope"];
    envelope["shape"] = 0;
    envelope["box_envelope"] = Json::Value(Json::arrayValue);
    for (int i = 0; i < 3; ++i) envelope["box_envelope"].append(0);
    envelope["sphere_envelope"] = 0;
  }
  return record;
}

}  // namespace

bool internal::readWorkToolList(const Json::Value& reply, const std::string& kind, std::vector<WorkToolInfo>& list,
                                std::error_code& ec) {
  // A bare code is the controller refusing the read, not an empty project.
  if (takeIntegerReply(reply, ec, 0)) {
    if (!ec) list.clear();
    return !ec;
  }
  const Json::Value& table = member(reply, kind);
  if (!table.isObject() && !table.isNull()) {
    ec = makeErrorCode(kReplyExceptionCode);
    return false;
  }
  std::vector<WorkToolInfo> entries;
  entries.reserve(table.size());
  for (auto it = table.begin(); it != table.end(); ++it) {
    WorkToolInfo info;
    if (!readEntry(*it, info)) {
      ec = makeErrorCode(kReplyExceptionCode);
      return false;
    }
    info.name = it.name();
    entries.push_back(std::move(info));
  }
  list = std::move(entries);
  return true;
}

internal::WorkToolName internal::parseWorkToolName(const std::string& name, const std::string& kind) {
  WorkToolName scope;
  const std::string prefix = "g_" + kind + "_";
  if (name.compare(0, prefix.size(), prefix) != 0) return scope;
  const std::string_view rest = std::string_view(name).substr(prefix.size());
  // The id is what the standard decimal conversion makes of the rest (white space, a sign,
  // digits, anything after); only a rest of digits alone can name a global entry.
  std::size_t i = 0;
  while (i < rest.size() && isCSpace(rest[i])) ++i;
  bool negative = false;
  if (i < rest.size() && (rest[i] == '+' || rest[i] == '-')) negative = rest[i++] == '-';
  const std::size_t firstDigit = i;
  long long value = 0;
  for (; i < rest.size() && isDigit(rest[i]); ++i) {
    if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (rest[i] - '0');
  }
  if (i == firstDigit) return scope;
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return scope;
  scope.id = static_cast<int>(value);
  scope.global = firstDigit == 0 && i == rest.size() && value <= 15;
  return scope;
}

std::vector<WorkToolInfo> BaseRobot::Impl::workToolsInfo(const std::string& kind, std::error_code& ec) {
  std::vector<WorkToolInfo> result;
  Json::Value reply;
  internal::get(*service, "project." + kind + ".info", Json::Value(), reply, ec);
  if (!ec) internal::readWorkToolList(reply, kind, result, ec);
  return result;
}

void BaseRobot::Impl::setWorkToolInfo(const WorkToolInfo& toolInfo, const std::string& kind, std::error_code& ec) {
  ec = makeErrorCode(0);
  if (!internal::allFinite(toolInfo.pos.trans, toolInfo.pos.rpy, toolInfo.load)) {
    ec = makeErrorCode(internal::kArgumentInvalidCode);
    return;
  }
  const internal::WorkToolName scope = internal::parseWorkToolName(toolInfo.name, kind);
  Json::Value record = workToolRecord(toolInfo, kind, scope);
  Json::Value reply;
  if (scope.global) {
    internal::command(*service, "global." + kind + "s.set.one", record, reply, ec);
  } else {
    // Whether to add or edit depends on the list: without it, an existing entry would be
    // added a second time, so a failed read writes nothing.
    Json::Value names;
    internal::get(*service, "project." + kind + "s", Json::Value(), names, ec);
    if (ec) return;
    if (internal::takeIntegerReply(names, ec, 0) && ec) return;
    const bool known = listHolds(names, toolInfo.name);
    if (known) record["old_name"] = toolInfo.name;
    Json::Value body(Json::objectValue);
    body[kind + "s"].append(std::move(record));
    body["operator"] = known ? "edit" : "add";
    internal::command(*service, "project." + kind, body, reply, ec);
  }
  if (ec || !internal::isIntegerReply(reply)) return;
  const int code = reply.asInt();
  ec = makeErrorCode(code == -1 ? kToolWobjFailure : code);
}

std::vector<WorkToolInfo> BaseRobot::toolsInfo(std::error_code& ec) noexcept {
  std::vector<WorkToolInfo> list;
  internal::runOperation(ec, [&] { list = impl_->workToolsInfo("tool", ec); });
  if (ec) list.clear();
  return list;
}

std::vector<WorkToolInfo> BaseRobot::wobjsInfo(std::error_code& ec) noexcept {
  std::vector<WorkToolInfo> list;
  internal::runOperation(ec, [&] { list = impl_->workToolsInfo("wobj", ec); });
  if (ec) list.clear();
  return list;
}

void BaseRobot::setToolInfo(const WorkToolInfo& info, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] { impl_->setWorkToolInfo(info, "tool", ec); });
  internal::logRobotOnly(*impl_, spdlog::level::info, "setToolInfo name {} {} {} ({})", info.name, info.pos, info.load,
                         ec);
}

void BaseRobot::setWobjInfo(const WorkToolInfo& info, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] { impl_->setWorkToolInfo(info, "wobj", ec); });
  internal::logRobotOnly(*impl_, spdlog::level::info, "setWobjInfo name {} {} {} ({})", info.name, info.pos, info.load,
                         ec);
}

}  // namespace velmora
