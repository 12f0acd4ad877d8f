#pragma once
// A force controller behind the simulated controller: it checks each "eci.fc." request against
// the wire description, keeps what the accepted requests set, and answers. `axes` (5 to 7) is
// the length of every joint array.
//
//   "eci.fc.set_callback"  c  0                                                  -> 0
//   "eci.fc.init"          c  {"frame": "world"|"base"|"flange"|"tool"|"wobj"|"path"} -> 0
//   "eci.fc.start", "eci.fc.stop"  c  null                                       -> 0
//   "eci.fc.set"           c  {"cmd", "param"}                                   -> 0
//       control_type {"type": "joint"|"cart"}; load {"load": {"mass", "cog": [3], "inertia": [3]}};
//       cart_stiff, cart_force {"values": [6]}; cart_ns_stiff {"value"};
//       joint_stiff, joint_trq {"values": [axes]};
//       force_cond, torque_cond {"values": [6], "inside": flag, "timeout"};
//       posbox_cond as those plus "frame": {"trans": [3], "rot": [3]};
//       sine_overlay {"values": [integer, 4 numbers]};
//       lissajous_overlay {"values": [integer, 5 numbers]}
//   "eci.fc.monitor"       c  {"cmd", "param"}                                   -> 0
//       monitor {"enable": flag}; cart_vel_max, cart_ctrl_max_vel, cart_ctrl_max_wrench
//       {"values": [6]}; joint_vel_max, joint_momentum_max, joint_energy_max, jnt_ctrl_max_vel,
//       jnt_ctrl_max_torque, gain_value, friction {"values": [axes]}
//   "eci.fc.overlay"       c  {"cmd": "start"|"stop"|"pause"|"restart"}         -> 0
//   "eci.fc.cond"          c  {"cmd": "wait"} -> 0 once the conditions are met: at once unless
//                             `setConditionWait` says later or never (then no reply at all)
//   "eci.fc.end_torque.ref_world" | ".ref_flange" | ".ref_tcp"  g  null
//       -> {"joint": [axes], "external": [axes], "cart": {"force": [3], "torque": [3]}}
//          by default joint i = base + i, external i = base + 10 + i, force i = base + 20 + i,
//          torque i = base + 30 + i, with base 0 (world), 100 (flange), 200 (tcp)
//
// -1 answers a request of any other shape (an unknown "cmd", a missing or extra member, an
// array of another length, a value of another kind); nothing is kept then. Ranges are not
// checked: a client refuses those before sending.

#include <json/value.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

class ForceControlModel {
 public:
  /// `axes` from 5 to 7.
  explicit ForceControlModel(int axes);

  /// Answers the keys above on `service`; the state is shared with the handlers, so this
  /// object may go before the service. Scripted steps still come first.
  void install(CommandService& service) const;

  /// When "eci.fc.cond" is answered: `wait` after the request, or never with no value. Any
  /// thread.
  void setConditionWait(std::optional<std::chrono::milliseconds> wait);
  /// The reply to the end-torque request under `key` ("eci.fc.end_torque.ref_world" ...).
  void setEndTorque(const std::string& key, Json::Value reply);

  // What the accepted requests left (any thread).
  int callbacks() const;
  /// The frame of the last "init", "" before any.
  std::string frame() const;
  /// Between a "start" and a "stop".
  bool running() const;
  /// The "param" of the last accepted request with this "cmd" (null when none).
  Json::Value setting(const std::string& cmd) const;
  /// The last overlay command ("start", "stop", "pause", "restart"), "" before any.
  std::string overlay() const;

  /// The reply to one request of a key above; `install` also times the "eci.fc.cond" reply.
  Json::Value answer(const std::string& key, const Json::Value& request) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
