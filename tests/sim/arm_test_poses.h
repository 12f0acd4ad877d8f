#pragma once
// What the simulator's arm tests share: a pose as the motion commands carry it, and an arm by
// its class in the tests' names and messages.

#include <json/value.h>

#include <ostream>

#include "velmora_sim/arm_kinematics.h"
#include "velmora_sim/arm_model.h"

namespace velmora_sim::arm {

inline void PrintTo(const ArmModel& arm, std::ostream* out) { *out << arm.robotClass; }

/// {"trans": [3], "rot": [3], "elb"} of `pose`.
inline Json::Value poseJson(const Pose& pose) {
  Json::Value value(Json::objectValue);
  for (int i = 0; i < 3; ++i) {
    value["trans"].append(pose[i]);
    value["rot"].append(pose[3 + i]);
  }
  value["elb"] = pose[6];
  return value;
}

}  // namespace velmora_sim::arm
