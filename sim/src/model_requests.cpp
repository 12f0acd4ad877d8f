#include "velmora_sim/model_requests.h"

#include <cmath>

#include "model_shapes.h"
#include "velmora_sim/arm_frames.h"

namespace velmora_sim {

namespace {

const Json::Value kRefused(-1);

Json::Value triple(double a, double b, double c) {
  Json::Value array(Json::arrayValue);
  array.append(a);
  array.append(b);
  array.append(c);
  return array;
}

// The tool's end in the reference frame, from the flange in the base; and back.
arm::Transform toolEnd(const arm::Transform& flange, const Json::Value& toolset) {
  if (!toolset.isObject()) return flange;
  return arm::endOf(flange, frameOf(toolset["end"]), frameOf(toolset["ref"]));
}

arm::Transform flangeFor(const arm::Transform& end, const Json::Value& toolset) {
  if (!toolset.isObject()) return end;
  return arm::flangeOf(end, frameOf(toolset["end"]), frameOf(toolset["ref"]));
}

}  // namespace

arm::Transform frameOf(const Json::Value& frame) {
  if (!model_shapes::frame(frame)) return arm::Transform::Identity();
  const Json::Value& t = frame["trans"];
  const Json::Value& r = frame["rot"];
  return arm::transformOf(
      {t[0].asDouble(), t[1].asDouble(), t[2].asDouble(), r[0].asDouble(), r[1].asDouble(), r[2].asDouble(), 0});
}

Json::Value ChainModel::forward(const Json::Value& request) const {
  const Json::Value* joints = &request;
  const Json::Value* toolset = &Json::Value::nullSingleton();
  if (request.isObject()) {
    if (request.size() != 2 || !model_shapes::toolset(request["tool_set"])) return kRefused;
    joints = &request["jnt_pos"];
    toolset = &request["tool_set"];
  }
  const arm::ArmModel& model = chain_->model();
  if (!model_shapes::numbers(*joints, static_cast<Json::ArrayIndex>(model.joints()))) return kRefused;
  arm::Joints q;
  for (const Json::Value& joint : *joints) q.push_back(joint.asDouble());
  const arm::Pose pose = arm::poseOfFrame(toolEnd(chain_->flange(q), *toolset));
  Json::Value data(Json::objectValue);
  data["trans"] = triple(pose[0], pose[1], pose[2]);
  data["rot"] = triple(pose[3], pose[4], pose[5]);
  data["elb"] = model.elbowJoint >= 0 ? q[static_cast<std::size_t>(model.elbowJoint)] : 0.0;
  for (const int quarter : arm::confOf(q)) data["conf"].append(quarter);
  Json::Value reply(Json::objectValue);
  reply["data"] = data;
  return reply;
}

Json::Value ChainModel::inverse(const Json::Value& request, const arm::Joints& seed) const {
  if (!model_shapes::poseMembers(request, "redundant", true) || !model_shapes::numbers(request["redundant"], 1)) {
    return kRefused;
  }
  const Json::Value& toolset = request.isMember("tool_set") ? request["tool_set"] : Json::Value::nullSingleton();
  arm::Pose pose = arm::poseOfFrame(flangeFor(frameOf(request), toolset));
  pose[6] = request["redundant"][0].asDouble();
  arm::Joints q;
  if (const int refusal = chain_->inverseIn(pose, seed, arm::confFromJson(request), q); refusal != 0) {
    return Json::Value(refusal);
  }
  Json::Value reply(Json::objectValue);
  reply["data"] = Json::Value(Json::arrayValue);
  for (const double joint : q) reply["data"].append(joint);
  return reply;
}

Json::Value ChainModel::allInverse(const Json::Value& request, const arm::Joints& seed) const {
  if (!model_shapes::poseMembers(request, "elb", false) || !request["elb"].isNumeric()) return kRefused;
  Json::Value redundantForm = request;
  redundantForm.removeMember("elb");
  redundantForm["redundant"].append(request["elb"]);
  const Json::Value single = inverse(redundantForm, seed);
  if (!single.isObject()) return single;
  Json::Value solution(Json::objectValue);
  solution["jnt"] = single["data"];
  const Json::Value forwardReply = forward(single["data"]);
  solution["conf"] = forwardReply["data"]["conf"];
  while (solution["conf"].size() < model_shapes::kConfLength) solution["conf"].append(0);
  Json::Value reply(Json::objectValue);
  reply["data"]["result"].append(solution);
  return reply;
}

}  // namespace velmora_sim
