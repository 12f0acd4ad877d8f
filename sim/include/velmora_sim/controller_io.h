#pragma once
// The controller's I/O signals, with stored values. Served keys (a test's
// scripts and handlers for a key still come first):
//
//   "device.io"          g  null -> {"DI": {name: flag}, "DO": {...}, "AI": {name: number},
//                           "AO": {...}}, names in order; {"DI.DI0_3": null, ...} -> the same
//                           members with the signals' values, unknown signals left out; -1 for
//                           another parameter
//   "device.io.out.do"   c  {"name": "DO<board>_<port>", "value": flag} -> 0, -1 for an
//                           unknown output or a value of another kind
//   "device.io.out.ao"   c  {"name": "AO<board>_<port>", "value": number} -> 0, else -1
//   "device.io.simu.di"  c  {"name": "DI<board>_<port>", "value": flag} -> 0 while input
//                           simulation is on (`ControllerSystem`), else -1
//
// At start: inputs and outputs DI0_0..DI0_7, DO0_0..DO0_7 (off), AI0_0, AI0_1, AO0_0, AO0_1
// (0.0). Registers are the configuration tables' (robot_config.h). Accessors may be called
// from any thread.

#include <json/value.h>

#include <memory>
#include <string>

#include "velmora_sim/command_service.h"
#include "velmora_sim/controller_system.h"

namespace velmora_sim {

class ControllerIo {
 public:
  ControllerIo();
  ~ControllerIo();
  ControllerIo(const ControllerIo&) = delete;
  ControllerIo& operator=(const ControllerIo&) = delete;

  /// Serves the keys above on `service`; `system` tells whether input simulation is on and must
  /// outlive the service's handlers.
  void install(CommandService& service, const ControllerSystem& system);

  /// Signals by name ("DI0_3", "DO1_12", "AI0_0", "AO0_1"); setting an unknown one adds it.
  bool digital(const std::string& name) const;
  void setDigital(const std::string& name, bool state);
  double analog(const std::string& name) const;
  void setAnalog(const std::string& name, double value);
  /// Whether the signal exists.
  bool hasSignal(const std::string& name) const;

  /// The stored signals (opaque; shared with the served handlers).
  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
