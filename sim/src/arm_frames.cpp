#include "velmora_sim/arm_frames.h"

#include <utility>

namespace velmora_sim::arm {

Transform endOf(const Transform& flange, const Transform& tool, const Transform& wobj) {
  return wobj.inverse() * flange * tool;
}

Transform flangeOf(const Transform& end, const Transform& tool, const Transform& wobj) {
  return wobj * end * tool.inverse();
}

FramedChain::FramedChain(std::shared_ptr<const ArmChain> chain, const Transform& tool, const Transform& wobj)
    : chain_(std::move(chain)), tool_(tool), wobj_(wobj) {}

Pose FramedChain::forward(const Joints& joints) const {
  Pose pose = poseOfFrame(endOf(chain_->flange(joints), tool_, wobj_));
  pose[6] = chain_->elbowOf(joints);
  return pose;
}

int FramedChain::inverse(const Pose& pose, const Joints& seed, Joints& out) const {
  return inverseIn(pose, seed, {}, out);
}

int FramedChain::inverseIn(const Pose& pose, const Joints& seed, const Conf& conf, Joints& out) const {
  Pose flange = poseOfFrame(flangeOf(transformOf(pose), tool_, wobj_));
  flange[6] = pose[6];
  return chain_->inverseIn(flange, seed, conf, out);
}

}  // namespace velmora_sim::arm
