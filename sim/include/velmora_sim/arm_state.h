#pragma once
// The arm's joint state and the program run parameters, as the state queries read them.
// Served keys (a test's scripts and handlers for a key still come first):
//
//   "sys.rt.jnt_pos"     g  [the joint positions]   (radians)
//   "sys.rt.jnt_vel"     g  [the joint velocities]
//   "sys.rt.jnt_trq"     g  [the joint torques]
//   "project.run_param"  g  {"override": number, "loop_mode": flag}
//
// Until a test sets them, the arrays have one value per joint of the controller (its
// `ControllerInfo::jointCount` at the time of the request): position i is 0.1 * (i + 1),
// velocity i is 0.01 * (i + 1), torque i is 1.5 * (i + 1); the override is 1.0. Accessors may
// be called from any thread.

#include <functional>
#include <memory>
#include <vector>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

class ArmState {
 public:
  ArmState();
  ~ArmState();
  ArmState(const ArmState&) = delete;
  ArmState& operator=(const ArmState&) = delete;

  /// Serves the keys above on `service`; `jointCount` (called on the service's thread) sizes
  /// the default arrays.
  void install(CommandService& service, std::function<int()> jointCount);

  /// Fixed values (any length) instead of the defaults; an empty vector restores them.
  void setJointPositions(std::vector<double> values);
  void setJointVelocities(std::vector<double> values);
  void setJointTorques(std::vector<double> values);
  void setSpeedOverride(double value);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
