#pragma once
// A collaborative arm's extras as the controller keeps them. Served keys (a test's scripts
// and handlers for a key still come first):
//
//   "sys.drag", "eci.drag"        c  {"enable": true, "type": 0..2, "space": 0..1, "quick": flag}
//                                    or {"enable": false, "type", "space"} -> 0, else -1
//   "safety.collision_detection"  c  {"enable": true, "sensitivity": [numbers], "action":
//                                    {"behaviour": "stop1" | "pause" | "fcimpedstop",
//                                    "fallback": number (not with fcimpedstop)}, "compliance":
//                                    number (with fcimpedstop only)} -> 0, -1 while it is on;
//                                    {"enable": false} -> 0; else -1
//   "utils.calibrate_force_sensor" c null (all axes) or {"index": 0..joints-1} -> 0, else -1
//   "device.io.keypad"            g  [7 flags]
//   "device.io.flangebox"         s  {"vout": "off" | "reserve" | "12v" | "24v"[, "mode":
//                                    "rs485" | "ai"]} -> 0, else -1
//   "eci.rci.cfg"                 s  {"protocol_version": text} -> 0, else -1
//
// Accessors may be called from any thread; they share one lock with the served keys.

#include <json/value.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

class CobotExtras {
 public:
  CobotExtras();
  ~CobotExtras();
  CobotExtras(const CobotExtras&) = delete;
  CobotExtras& operator=(const CobotExtras&) = delete;

  /// Serves the keys above on `service`; `jointCount` (asked at each request, on the
  /// simulator's thread) bounds the force sensor's axis index.
  void install(CommandService& service, std::function<int()> jointCount);

  /// The last accepted drag request (null before the first).
  Json::Value drag() const;
  bool collisionDetection() const;
  /// The last accepted enabling request (null before the first).
  Json::Value collisionSettings() const;
  /// Every accepted calibration: -1 for all axes, else the axis.
  std::vector<int> calibrations() const;
  void setKeys(const std::array<bool, 7>& keys);
  /// The last accepted "vout" and "mode" ("" until set).
  std::string vout() const;
  std::string boardMode() const;
  std::string protocolVersion() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
