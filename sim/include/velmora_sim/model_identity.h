#pragma once
// An "identity model" of an arm with 3 to 7 joints for the command service: forward and inverse
// kinematics that invert each other exactly, so a round trip through a client checks joint
// order, member names, elbow forms, configuration padding and tool-set placement without any
// arithmetic. Joint i goes to slot i of (trans x, y, z, rot r, p, y, elbow); slots past the
// joint count are 0.
//
//   "sys.calc.fk"        c  [N reals], or {"jnt_pos": [N], "tool_set": tool set}
//                           -> {"data": {"trans", "rot", "elb", "conf": [N integers]}}
//   "sys.calc.ik"        c  {"trans", "rot", "redundant": [elbow], "conf"?: [8],
//                            "external"?, "tool_set"?}              -> {"data": [N]}
//   "utils.calc.all.ik"  c  {"trans", "rot", "elb", "conf"?: [8], "external"?}
//                           -> {"data": {"result": [{"jnt": [N], "conf": [8]}]}}
//
// A request of any other shape (joint count, a missing or extra member, the other elbow form,
// a "conf" that is not 8 long, a tool set without "end", "ref" and "load") is answered -1.

#include <json/value.h>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

class IdentityModel {
 public:
  /// `axes` from 3 to 7.
  explicit IdentityModel(int axes);
  int axes() const noexcept { return axes_; }

  /// Answers the three keys in the command form on `service`; scripted steps still come first.
  void install(CommandService& service) const;

  Json::Value forward(const Json::Value& request) const;
  Json::Value inverse(const Json::Value& request) const;
  Json::Value allInverse(const Json::Value& request) const;

 private:
  int axes_;
};

}  // namespace velmora_sim
