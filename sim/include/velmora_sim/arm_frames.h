#pragma once
// An arm model's kinematics through the tool and the work object the program has set: a pose is
// the tool's end in the work object's frame, so that flange * tool = wobj * pose. Motion, the
// posture and the state stream all read the arm through it; with both frames the identity it is
// the chain itself.
//
// For the arms whose pose space is smaller than a pose (arm_model.h) the flange is placed where
// the target's whole orientation puts it: a tool offset off the flange's z axis then lands the
// tool's end on the target only where the arm takes that orientation.

#include <memory>

#include "velmora_sim/arm_chain.h"

namespace velmora_sim::arm {

/// The tool's end in the work object, from the flange in the base; and back.
Transform endOf(const Transform& flange, const Transform& tool, const Transform& wobj);
Transform flangeOf(const Transform& end, const Transform& tool, const Transform& wobj);

class FramedChain final : public Kinematics {
 public:
  FramedChain(std::shared_ptr<const ArmChain> chain, const Transform& tool, const Transform& wobj);

  Pose forward(const Joints& joints) const override;
  int inverse(const Pose& pose, const Joints& seed, Joints& out) const override;
  int inverseIn(const Pose& pose, const Joints& seed, const Conf& conf, Joints& out) const override;
  int admits(const Joints& joints) const override { return chain_->admits(joints); }

 private:
  std::shared_ptr<const ArmChain> chain_;
  Transform tool_;
  Transform wobj_;
};

}  // namespace velmora_sim::arm
