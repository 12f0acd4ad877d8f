#pragma once
// The kinematics requests answered by an arm model's chain (arm_chain.h), in the shapes the
// identity model takes (model_identity.h):
//
//   "sys.calc.fk"        the flange pose of the joints, or with "tool_set" the tool's end in its
//                        reference frame; "elb" the elbow joint's angle (0 without one), "conf"
//                        the quarter turn each joint stands in
//   "sys.calc.ik"        the joints for the pose (of the tool's end in its reference frame with
//                        "tool_set"), searched from the arm's joints now, in the configuration
//                        "conf" gives when it comes; "redundant" holds the elbow joint
//   "utils.calc.all.ik"  that one solution, its "conf" as the forward request gives it
//
// A request of another shape is answered -1; a pose the arm cannot reach its refusal code.

#include <json/value.h>

#include <memory>

#include "velmora_sim/arm_chain.h"

namespace velmora_sim {

class ChainModel {
 public:
  explicit ChainModel(std::shared_ptr<const arm::ArmChain> chain) : chain_(std::move(chain)) {}

  Json::Value forward(const Json::Value& request) const;
  Json::Value inverse(const Json::Value& request, const arm::Joints& seed) const;
  Json::Value allInverse(const Json::Value& request, const arm::Joints& seed) const;

 private:
  std::shared_ptr<const arm::ArmChain> chain_;
};

/// A frame {"trans": [3], "rot": [3]} as a transform (identity when it is not one).
arm::Transform frameOf(const Json::Value& frame);

}  // namespace velmora_sim
