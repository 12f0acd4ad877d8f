#pragma once
// The controller's configuration tables: tools and work objects (project and global),
// registers, the tool-end board type, external axes, mechanical units and
// the rail. Served keys (a test's scripts and handlers for a key still come first):
//
//   "project.tool.info", "project.wobj.info"  g  {kind: {name: {"load": {"mass", "cog",
//                                                 "inertia"}, "coord": {"trans", "rot"},
//                                                 "held"}}}, in metres, radians and kg·m²
//   "project.tools", "project.wobjs"          g  [names]
//   "project.tool", "project.wobj"            c  {"<kind>s": [record], "operator": "add" |
//                                                 "edit"}: adds a new name, or replaces the
//                                                 entry "old_name" of the record; 0, or -1 for a
//                                                 malformed record, an added name that exists or
//                                                 an edited one that does not
//   "global.tools.set.one", "global.wobjs.set.one"  c  record with "id" 0 to 15; 0 or -1
//   "register.values"   g  {name: null, ...} -> {name: value, ...}; "name.#i" names element i
//                          of an array register; -1 when one name is unknown
//   "register.write"    c  {"name", "bias", "value"} (element `bias` of an array, or a scalar
//                          at bias 0) or {"name", "value": [...], "type": "array"}; 0 or -1
//   "utils.reboot"      c  null or {"option": "shutdown"} -> 0, else -1
//   "flangebox_support_rs485_param"  g  the board type (2 unless set)
//   "ext_axis.get_axis_info", "ext_axis.get_mechanical_unit_info"  c  {"data": {...}}
//   "rail_param"        g  the rail object; s {key: value, ...} merges members that exist with
//                          a value of the same kind, else -1 and nothing changes
//   "rail.set_rail_frame"  c  {"trans": [3], "rot": [3]} becomes "base_frame"; 0 or -1
//
// A record is what the library writes: "id", "name", "identified", "calibrated",
// "description", "frame" {"pos" {x,y,z} mm, "ori" {"euler" {a,b,c} degrees, "quaternion"
// {q1..q4}}}, "method", "pers", "robhold", "load" {"mass", "moment" [3] × 1e6, "pose" {"pos",
// "ori"}}, and "mechanic", "movable", "related_frame", "uf_id" for a work object or
// "envelope" for a tool. The list gives the entries back in the units of the robot API.
//
// Accessors may be called from any thread; they share one lock with the served keys.

#include <json/value.h>

#include <memory>
#include <string>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

namespace detail {
struct ConfigState;
}

class RobotConfig {
 public:
  /// Project tool "tool0" (robot-held) and work object "wobj0", zero frames and loads; a few
  /// registers; default external axis "axis1", unit "u1" and rail parameters.
  RobotConfig();
  ~RobotConfig();
  RobotConfig(const RobotConfig&) = delete;
  RobotConfig& operator=(const RobotConfig&) = delete;

  /// Serves the keys above on `service` as the controller's own answers.
  void install(CommandService& service);

  /// The record last written for a project entry (`kind` "tool" or "wobj"); null when absent
  /// or never written by a client.
  Json::Value projectRecord(const std::string& kind, const std::string& name) const;
  /// The entry as the list gives it; null when absent.
  Json::Value projectEntry(const std::string& kind, const std::string& name) const;
  /// The record written for global entry `id`; null when none.
  Json::Value globalRecord(const std::string& kind, int id) const;

  void setRegister(const std::string& name, Json::Value value);
  /// Null when no such register.
  Json::Value registerValue(const std::string& name) const;

  void setFlangeBoxType(int type);
  int flangeBoxType() const;

  /// The objects served under "data".
  void setExtAxisData(Json::Value data);
  void setMechUnitData(Json::Value data);

  Json::Value railParameters() const;
  void setRailParameters(Json::Value parameters);

 private:
  std::shared_ptr<detail::ConfigState> state_;
};

}  // namespace velmora_sim
