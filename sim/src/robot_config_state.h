#pragma once
// The tables behind `RobotConfig`, shared by its served keys (simulator thread) and its
// accessors (any thread) under one lock.

#include <json/value.h>

#include <map>
#include <mutex>
#include <string>

namespace velmora_sim::detail {

struct ConfigState {
  struct ProjectEntry {
    Json::Value entry;   // as "project.<kind>.info" lists it
    Json::Value record;  // as a client last wrote it; null for a preset entry
  };

  mutable std::mutex mutex;
  std::map<std::string, std::map<std::string, ProjectEntry>> project;  // kind -> name ->
  std::map<std::string, std::map<int, Json::Value>> global;            // kind -> id -> record
  std::map<std::string, Json::Value> registers;
  int flangeBoxType = 2;
  Json::Value extAxisData;
  Json::Value mechUnitData;
  Json::Value rail;
};

// Tools and work objects (robot_config_tools.cpp); the caller holds the lock.

/// An empty entry in the list's form, held by the robot or not.
Json::Value emptyToolEntry(bool held);
/// {kind: {name: entry}}.
Json::Value toolInfoReply(const ConfigState& state, const std::string& kind);
/// [names] in the table's order.
Json::Value toolNamesReply(const ConfigState& state, const std::string& kind);
/// "project.<kind>": 0 or -1.
int writeProjectTool(ConfigState& state, const std::string& kind, const Json::Value& payload);
/// "global.<kind>s.set.one": 0 or -1.
int writeGlobalTool(ConfigState& state, const std::string& kind, const Json::Value& payload);

}  // namespace velmora_sim::detail
