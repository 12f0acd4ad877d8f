// The simulated tool and work-object tables. A record is accepted only with exactly the
// members and kinds the controller expects, so a client that writes something else is told
// so (-1) and a test sees it.

#include <cmath>
#include <initializer_list>
#include <vector>

#include "robot_config_state.h"

namespace velmora_sim::detail {
namespace {

constexpr double kPi = 3.14159265358979323846;

bool number(const Json::Value& v) { return v.isNumeric(); }

// An object with exactly these members.
bool exactly(const Json::Value& v, std::initializer_list<const char*> names) {
  if (!v.isObject() || v.size() != names.size()) return false;
  for (const char* name : names) {
    if (!v.isMember(name)) return false;
  }
  return true;
}

bool numbersIn(const Json::Value& v, std::initializer_list<const char*> names) {
  if (!exactly(v, names)) return false;
  for (const char* name : names) {
    if (!number(v[name])) return false;
  }
  return true;
}

bool position(const Json::Value& v) { return numbersIn(v, {"x", "y", "z"}); }

bool orientation(const Json::Value& v) {
  return exactly(v, {"euler", "quaternion"}) && numbersIn(v["euler"], {"a", "b", "c"}) &&
         numbersIn(v["quaternion"], {"q1", "q2", "q3", "q4"});
}

bool validRecord(const Json::Value& r, const std::string& kind, bool edit) {
  if (!r.isObject()) return false;
  std::vector<const char*> names = {"id",    "name",   "identified", "calibrated", "description",
                                    "frame", "method", "pers",       "robhold",    "load"};
  if (kind == "wobj") {
    names.insert(names.end(), {"mechanic", "movable", "related_frame", "uf_id"});
  } else {
    names.push_back("envelope");
  }
  if (edit) names.push_back("old_name");
  if (r.size() != names.size()) return false;
  for (const char* name : names) {
    if (!r.isMember(name)) return false;
  }
  const Json::Value& load = r["load"];
  const bool common =
      r["id"].isInt() && r["name"].isString() && !r["name"].asString().empty() && r["identified"].isBool() &&
      r["calibrated"].isBool() && r["description"].isString() && r["method"].isInt() && r["pers"].isBool() &&
      r["robhold"].isBool() && exactly(r["frame"], {"pos", "ori"}) && position(r["frame"]["pos"]) &&
      orientation(r["frame"]["ori"]) && exactly(load, {"mass", "moment", "pose"}) && number(load["mass"]) &&
      load["moment"].isArray() && load["moment"].size() == 3 && number(load["moment"][0]) &&
      number(load["moment"][1]) && number(load["moment"][2]) && exactly(load["pose"], {"pos", "ori"}) &&
      position(load["pose"]["pos"]) && orientation(load["pose"]["ori"]);
  if (!common || (edit && !r["old_name"].isString())) return false;
  if (kind == "wobj") {
    return r["mechanic"].isString() && r["movable"].isBool() && r["related_frame"].isString() && r["uf_id"].isInt();
  }
  return r["envelope"].isObject();
}

Json::Value triple(const Json::Value& v, const char* a, const char* b, const char* c, double factor) {
  Json::Value out(Json::arrayValue);
  out.append(v[a].asDouble() * factor);
  out.append(v[b].asDouble() * factor);
  out.append(v[c].asDouble() * factor);
  return out;
}

// The list gives the entry back in the robot API's units.
Json::Value entryOf(const Json::Value& r) {
  Json::Value entry(Json::objectValue);
  const Json::Value& load = r["load"];
  entry["load"]["mass"] = load["mass"].asDouble();
  entry["load"]["cog"] = triple(load["pose"]["pos"], "x", "y", "z", 1e-3);
  Json::Value inertia(Json::arrayValue);
  for (const Json::Value& m : load["moment"]) inertia.append(m.asDouble() * 1e-6);
  entry["load"]["inertia"] = inertia;
  entry["coord"]["trans"] = triple(r["frame"]["pos"], "x", "y", "z", 1e-3);
  entry["coord"]["rot"] = triple(r["frame"]["ori"]["euler"], "a", "b", "c", kPi / 180.0);
  entry["held"] = r["robhold"].asBool();
  return entry;
}

}  // namespace

Json::Value emptyToolEntry(bool held) {
  Json::Value zeros(Json::arrayValue);
  for (int i = 0; i < 3; ++i) zeros.append(0.0);
  Json::Value entry(Json::objectValue);
  entry["load"]["mass"] = 0.0;
  entry["load"]["cog"] = zeros;
  entry["load"]["inertia"] = zeros;
  entry["coord"]["trans"] = zeros;
  entry["coord"]["rot"] = zeros;
  entry["held"] = held;
  return entry;
}

Json::Value toolInfoReply(const ConfigState& state, const std::string& kind) {
  Json::Value table(Json::objectValue);
  const auto it = state.project.find(kind);
  if (it != state.project.end()) {
    for (const auto& [name, stored] : it->second) table[name] = stored.entry;
  }
  Json::Value reply(Json::objectValue);
  reply[kind] = table;
  return reply;
}

Json::Value toolNamesReply(const ConfigState& state, const std::string& kind) {
  Json::Value names(Json::arrayValue);
  const auto it = state.project.find(kind);
  if (it != state.project.end()) {
    for (const auto& entry : it->second) names.append(entry.first);
  }
  return names;
}

int writeProjectTool(ConfigState& state, const std::string& kind, const Json::Value& payload) {
  if (!exactly(payload, {(kind + "s").c_str(), "operator"})) return -1;
  const Json::Value& records = payload[kind + "s"];
  const Json::Value& operation = payload["operator"];
  if (!records.isArray() || records.size() != 1 || !operation.isString()) return -1;
  const Json::Value& record = records[0];
  auto& table = state.project[kind];
  const std::string op = operation.asString();
  if (op == "add") {
    if (!validRecord(record, kind, false) || table.count(record["name"].asString()) != 0) {
      return -1;
    }
  } else if (op == "edit") {
    if (!validRecord(record, kind, true)) return -1;
    const std::string oldName = record["old_name"].asString();
    const std::string name = record["name"].asString();
    if (table.count(oldName) == 0 || (name != oldName && table.count(name) != 0)) return -1;
    table.erase(oldName);
  } else {
    return -1;
  }
  Json::Value stored = record;
  stored.removeMember("old_name");
  table[record["name"].asString()] = ConfigState::ProjectEntry{entryOf(stored), stored};
  return 0;
}

int writeGlobalTool(ConfigState& state, const std::string& kind, const Json::Value& payload) {
  if (!validRecord(payload, kind, false)) return -1;
  const int id = payload["id"].asInt();
  if (id < 0 || id > 15) return -1;
  state.global[kind][id] = payload;
  return 0;
}

}  // namespace velmora_sim::detail
