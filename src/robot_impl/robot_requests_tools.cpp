// The project's and the global tool and work-object tables. The list the controller gives is
// read with every kind checked; the record written is built from finite values only, because
// the JSON writer would put NaN as null and infinity as 1e+9999 into the controller's table.

#include <velmora/error.h>

#include <array>
#include <climits>
#include <string_view>

#include "common/json_read.h"
#include "common/reply_read.h"
#include "common/rotation.h"
#include "common/value_checks.h"
#include "network/xservice/link_settings.h"
#include "network/xservice/xservice.h"
#include "robot_impl/robot_requests.h"

namespace velmora::internal {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kToolWobjFailure = -50501;

// Three numbers from an array of at least three; false, `out` untouched, for anything else.
// An element that is no number is refused in `status`.
bool readTriple(const Json::Value& list, std::array<double, 3>& out, JsonReadStatus& status,
                std::string_view field) {
  if (!list.isArray() || list.size() < 3) return false;
  std::array<double, 3> values{};
  for (Json::ArrayIndex i = 0; i < 3; ++i) {
    if (!readDouble(list[i], values[i], status, field)) return false;
  }
  out = values;
  return true;
}

// A member the entry's layout names as an object; null stands for an absent one.
const Json::Value& objectMember(const Json::Value& parent, std::string_view key,
                                JsonReadStatus& status) {
  const Json::Value& value = member(parent, key);
  if (!value.isObject() && !value.isNull()) status.refuse(key, "object", kindName(value));
  return value;
}

// One entry of the list: {"load": {"mass", "cog", "inertia"}, "coord": {"trans", "rot"},
// "held"}. Lists that are not arrays of three read as zeros; values are not converted.
bool readEntry(const Json::Value& entry, WorkToolInfo& info) {
  JsonReadStatus status;
  if (!entry.isObject() && !entry.isNull()) return false;
  const Json::Value& load = objectMember(entry, "load", status);
  readDouble(member(load, "mass"), info.load.mass, status, "load.mass");
  readTriple(member(load, "cog"), info.load.cog, status, "load.cog");
  readTriple(member(load, "inertia"), info.load.inertia, status, "load.inertia");
  const Json::Value& coord = objectMember(entry, "coord", status);
  if (readTriple(member(coord, "trans"), info.pos.trans, status, "coord.trans")) {
    readTriple(member(coord, "rot"), info.pos.rpy, status, "coord.rot");
  }
  readBool(member(entry, "held"), info.robotHeld, status, "held");
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
    if (readString(entry, text) && text == name) return true;
  }
  return false;
}

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool readWorkToolList(const Json::Value& reply, const std::string& kind,
                      std::vector<WorkToolInfo>& list, std::error_code& ec) {
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

std::vector<WorkToolInfo> workToolsInfo(XService& link, const std::string& kind,
                                        std::error_code& ec) noexcept {
  std::vector<WorkToolInfo> result;
  guardReply(ec, [&] {
    Json::Value reply;
    link.getValue("project." + kind + ".info", reply, ec);
    if (!ec) readWorkToolList(reply, kind, result, ec);
  });
  if (ec) result.clear();
  return result;
}

WorkToolName parseWorkToolName(const std::string& name, const std::string& kind) {
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

Json::Value workToolRecord(const WorkToolInfo& info, const std::string& kind,
                           const WorkToolName& scope) {
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
  const std::array<double, 4> q = eulerToQuaternion(info.pos.rpy);
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

void setWorkToolInfo(XService& link, const WorkToolInfo& info, const std::string& kind,
                     std::error_code& ec) noexcept {
  ec = makeErrorCode(0);
  if (!allFinite(info.pos.trans, info.pos.rpy, info.load)) {
    ec = makeErrorCode(259);
    return;
  }
  guardReply(ec, [&] {
    const WorkToolName scope = parseWorkToolName(info.name, kind);
    Json::Value record = workToolRecord(info, kind, scope);
    const auto wait = linkSettings().defaultRequestWait.load();
    Json::Value reply;
    if (scope.global) {
      link.sendCommand("global." + kind + "s.set.one", record, reply, ec, wait);
    } else {
      // Whether to add or edit depends on the list: without it, an existing entry would be
      // added a second time, so a failed read writes nothing.
      Json::Value names;
      link.getValue("project." + kind + "s", names, ec);
      if (ec) return;
      if (takeIntegerReply(names, ec, 0) && ec) return;
      const bool known = listHolds(names, info.name);
      if (known) record["old_name"] = info.name;
      Json::Value body(Json::objectValue);
      body[kind + "s"].append(std::move(record));
      body["operator"] = known ? "edit" : "add";
      link.sendCommand("project." + kind, body, reply, ec, wait);
    }
    if (ec || !isIntegerReply(reply)) return;
    const int code = reply.asInt();
    ec = makeErrorCode(code == -1 ? kToolWobjFailure : code);
  });
}

}  // namespace velmora::internal
