#pragma once
// The controller's frames as a robot's frame operations see them. Served keys (a test's
// scripts and handlers for a key still come first):
//
//   "ix.coord.base_in_world"  g  {"trans": [3], "rot": [3]}
//                             s  the same shape (exactly) -> 0 and kept, else -1
//   "ix.coord.toolset"        g  {"load": {"mass", "cog": [3], "inertia": [3]}, "end": frame,
//                                 "ref": frame}, each frame with its "name"
//                             s  the same shape (exactly) -> 0 and kept, else -1
//   "sys.toolset.query"       c  {"tool": name, "wobj": name} -> {"data": tool set}: the tool's
//                                 load and frame as "load" and "end", the work object's frame as
//                                 "ref" (entries looked up as `install` is told); an unknown
//                                 name -> {"data": null, "error": text}
//   "utils.calibrate_frame"   c  {"type", "points", "held", "aux"} with the point count the
//                                 type needs -> {"data": the calibration (see
//                                 `setCalibration`)}; else {"data": null, "error": text}
//   "safety.soft_limit"       g  {"enable", "lower": [n], "upper": [n]} (7 joints at start)
//                             c  {"enable", "lower", "upper"}: empty arrays switch only the
//                                 flag, n pairs with lower <= upper replace the limits -> 0;
//                                 anything else -1
//   "cfg.get"                 c  {"type": "json", "key": "KINEMATICS.DH_PARAMS"[, "func": "std"]}
//                                 -> {"data": [nominal]}; "KINEMATICS.DH_PARAMS_ALL" ->
//                                 {"data": [all] or null}; other keys -1
//
// Accessors may be called from any thread; they share one lock with the served keys.

#include <json/value.h>

#include <functional>
#include <memory>
#include <string>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

class RobotFrames {
 public:
  /// A tool ("tool") or work object ("wobj") entry in the form the project's list gives it
  /// ({"load", "coord": {"trans", "rot"}, "held"}), null when unknown. Called on the simulator's
  /// thread without this object's lock.
  using EntryLookup = std::function<Json::Value(const std::string& kind, const std::string& name)>;

  /// Zero frames and load; soft limits off, 7 joints at ±3 rad; DH parameters of 7 joints.
  RobotFrames();
  ~RobotFrames();
  RobotFrames(const RobotFrames&) = delete;
  RobotFrames& operator=(const RobotFrames&) = delete;

  /// Serves the keys above on `service` as the controller's own answers.
  void install(CommandService& service, EntryLookup lookup);

  /// {"trans": [3], "rot": [3]}.
  Json::Value baseFrame() const;
  /// The active tool set as "ix.coord.toolset" gives it.
  Json::Value toolset() const;
  void setToolset(Json::Value toolset);
  /// Called with the tool set each time a request or `setToolset` changed it, without this
  /// object's lock.
  void onToolset(std::function<void(const Json::Value&)> changed);
  /// {"enable", "lower", "upper"}.
  Json::Value softLimit() const;
  void setSoftLimit(Json::Value softLimit);
  /// Called with the soft limits ({"enable", "lower", "upper"}) each time a request changed
  /// them, on the simulator's thread without this object's lock.
  void onSoftLimit(std::function<void(const Json::Value&)> changed);
  /// The parameter lists "cfg.get" answers; a null `all` stands for a controller without it.
  void setDhParameters(Json::Value nominal, Json::Value all);
  /// The "data" a valid calibration request is answered with.
  void setCalibration(Json::Value data);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
