#pragma once
// The controller's system state as a robot's system operations see it. Served keys (a test's
// scripts and handlers for a key still come first):
//
//   "sys.power"                 g  "on" | "off" (off at start)
//   "sys.power.on", ".off"      c  null -> 0, switches the power
//   "sys.mode"                  g  "manual" | "auto" (manual at start)
//   "sys.state"                 g  the state name ("idle" at start); "idleing" (moving) while
//                                  the state is "idle" and the linked arm works through its
//                                  queue
//   "sys.servo.clear_alarm"     c  0
//   "device.io.simu.on", ".off" c  0, switches input simulation
//   "sys.set_teach_pendant"     c  {"with": flag} -> 0, else -1
//   "sys.ntp.config"            c  {"server": text} -> 0, else -1
//   "sys.ntp.sync"              c  0
//   "user_log.query"            c  {"limit", "offset", "order", "filter": {"level": [...]}} ->
//                                  {"data": {"logs": [{"err_code", "time", "content",
//                                  "repair"}]}}: the kept entries of those levels, newest
//                                  first, from "offset" on, at most "limit"; -1 for a query
//                                  without a numeric limit
//   "rsc.emer_stop.reset"       c  0
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

/// One entry of the controller's log.
struct ControllerLogEntry {
  int errorCode = 0;
  std::string time;
  std::string content;
  std::string repair;
  std::string level = "info";  ///< "info", "warning" or "error"
};

class ControllerSystem {
 public:
  ControllerSystem();
  ~ControllerSystem();
  ControllerSystem(const ControllerSystem&) = delete;
  ControllerSystem& operator=(const ControllerSystem&) = delete;

  /// Serves the keys above on `service` as the controller's own answers.
  void install(CommandService& service);

  bool powered() const;
  void setPowered(bool on);
  std::string operateMode() const;
  void setOperateMode(std::string mode);
  std::string state() const;
  void setState(std::string name);
  /// The arm whose motion "sys.state" reports and whose flange `setPosture` places (the
  /// posture keys are the arm's, see arm_state.h). Called once, before serving.
  void linkArm(std::function<bool()> moving, std::function<void(const std::array<double, 6>&)> place);
  /// Called when "sys.power.off" switches the power off, before its reply, without this
  /// object's lock.
  void onPowerOff(std::function<void()> stop);
  /// Puts the linked arm's flange at x, y, z, rx, ry, rz; nothing without an arm.
  void setPosture(const std::array<double, 6>& pose);
  bool inputSimulation() const;
  /// Entries oldest first; a query answers newest first.
  void setLog(std::vector<ControllerLogEntry> entries);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
