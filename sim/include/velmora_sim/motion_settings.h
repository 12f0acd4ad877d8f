#pragma once
// The controller's motion settings, jogging, path checks and real-time switch, as a robot's
// motion operations see them. Served keys (a test's scripts and handlers come first); a value
// of the wrong shape is refused with -1 and changes nothing:
//
//   "move.default_speed", "move.default_zone"   s  number -> 0
//   "move.default_conf", "move.ignore_zone"     c  flag -> 0
//   "move.override_rate"                        c  number -> 0
//   (the default speed, the default zone, the forced configuration and the override also go to
//   the arm, when there is one)
//   "move.acc"                  s  {"acc": number, "jerk": number} -> 0;  g  {"acc", "jerk"}
//   "move.avoid_singularity"    c  flag -> 0;  g  the flag
//   "move.avoid_sing_wrist", "move.avoid_sing_joint_way"
//                               c  {"enable": flag, "threshold": number} -> 0;  g  "on" | "off"
//   "sys.completePostureLerp"   c  {"enable": flag} -> 0
//   "move.jog", "move.jog_with_ext"
//                               c  {"space", "rate", "step", "index", "direction"} (plus
//                                  "fixed_name", "is_ext") -> 0; the system state becomes
//                                  "joging" and the arm jogs (not for an external axis)
//   "move.stop"                 c  0; a jogging system state becomes "idle", the arm halts
//   "move.path.check"           c  {"point0": {..., "near": [joints]}, "point1" | "path", ...}
//                                  -> {"error": 0, "data": the "near" joints}; a check without
//                                  "near" -> {"error": -1, "data": {"msg": "no start joints"}}
//   "eci.enable"                c  {"protocol_version": text} -> 0, system state "rci"
//   "eci.disable"               c  0 and system state "idle" while it is "rci", else -259 (not
//                                  in real-time control)
//
// Accessors may be called from any thread.

#include <json/value.h>

#include <memory>

#include "velmora_sim/arm_state.h"
#include "velmora_sim/command_service.h"
#include "velmora_sim/controller_system.h"

namespace velmora_sim {

class MotionSettings {
 public:
  /// The values last accepted; null for a key never set.
  struct Values {
    Json::Value defaultSpeed;
    Json::Value defaultZone;
    Json::Value defaultConf;
    Json::Value ignoreZone;
    Json::Value overrideRate;
    Json::Value acc;  ///< {"acc", "jerk"}
    Json::Value avoidSingularity;
    Json::Value avoidWrist;     ///< {"enable", "threshold"}
    Json::Value avoidJointWay;  ///< {"enable", "threshold"}
    Json::Value completePostureLerp;
    Json::Value lastJog;  ///< the last accepted jog request
  };

  /// The system whose operation state jogging and the real-time switch change, and the arm the
  /// motion settings and jogs move (none: only the values are kept). Both must outlive the
  /// service's handlers.
  explicit MotionSettings(ControllerSystem& system, ArmState* arm = nullptr);
  ~MotionSettings();
  MotionSettings(const MotionSettings&) = delete;
  MotionSettings& operator=(const MotionSettings&) = delete;

  /// Serves the keys above on `service`.
  void install(CommandService& service);

  Values values() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
