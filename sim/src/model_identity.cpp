#include "velmora_sim/model_identity.h"

#include <array>
#include <stdexcept>

#include "model_shapes.h"

namespace velmora_sim {
namespace {

constexpr int kSlots = 7;  // trans x, y, z, rot r, p, y, elbow
const Json::Value kRefused(-1);

}  // namespace

namespace model_shapes {

bool numbers(const Json::Value& value, Json::ArrayIndex count) {
  if (!value.isArray() || value.size() != count) return false;
  for (const Json::Value& item : value) {
    if (!item.isNumeric()) return false;
  }
  return true;
}

bool frame(const Json::Value& value) {
  return value.isObject() && numbers(value["trans"], 3) && numbers(value["rot"], 3);
}

bool toolset(const Json::Value& value) {
  if (!value.isObject() || value.size() != 3 || !frame(value["end"]) || !frame(value["ref"])) return false;
  const Json::Value& load = value["load"];
  return load.isObject() && load["mass"].isNumeric() && numbers(load["cog"], 3) && numbers(load["inertia"], 3);
}

bool poseMembers(const Json::Value& pose, const char* elbowMember, bool toolAllowed) {
  if (!pose.isObject() || !frame(pose) || !pose.isMember(elbowMember)) return false;
  for (const std::string& name : pose.getMemberNames()) {
    const bool known = name == "trans" || name == "rot" || name == elbowMember || name == "conf" ||
                       name == "external" || (toolAllowed && name == "tool_set");
    if (!known) return false;
  }
  if (pose.isMember("conf") && !numbers(pose["conf"], kConfLength)) return false;
  if (pose.isMember("external") && !numbers(pose["external"], pose["external"].size())) return false;
  return !pose.isMember("tool_set") || toolset(pose["tool_set"]);
}

}  // namespace model_shapes

using model_shapes::kConfLength;
using model_shapes::numbers;
using model_shapes::poseMembers;
using model_shapes::toolset;

IdentityModel::IdentityModel(int axes) : axes_(axes) {
  if (axes < 3 || axes > kSlots) throw std::invalid_argument("an arm has 3 to 7 joints");
}

void IdentityModel::install(CommandService& service) const {
  const IdentityModel model = *this;
  service.handle(Form::command, "sys.calc.fk", [model](Exchange& x) { x.reply(model.forward(x.request().payload)); });
  service.handle(Form::command, "sys.calc.ik", [model](Exchange& x) { x.reply(model.inverse(x.request().payload)); });
  service.handle(Form::command, "utils.calc.all.ik",
                 [model](Exchange& x) { x.reply(model.allInverse(x.request().payload)); });
}

Json::Value IdentityModel::forward(const Json::Value& request) const {
  const Json::Value* joints = &request;
  if (request.isObject()) {
    if (request.size() != 2 || !toolset(request["tool_set"])) return kRefused;
    joints = &request["jnt_pos"];
  }
  if (!numbers(*joints, static_cast<Json::ArrayIndex>(axes_))) return kRefused;
  std::array<double, kSlots> slots{};
  for (int i = 0; i < axes_; ++i) slots[i] = (*joints)[i].asDouble();
  Json::Value pose(Json::objectValue);
  for (int i = 0; i < 3; ++i) {
    pose["trans"].append(slots[i]);
    pose["rot"].append(slots[3 + i]);
  }
  pose["elb"] = slots[6];
  // One configuration entry per joint, alternating, so a client's padding to 8 shows.
  for (int i = 0; i < axes_; ++i) pose["conf"].append(i % 2);
  Json::Value reply(Json::objectValue);
  reply["data"] = pose;
  return reply;
}

Json::Value IdentityModel::inverse(const Json::Value& request) const {
  if (!poseMembers(request, "redundant", true) || !numbers(request["redundant"], 1)) return kRefused;
  std::array<double, kSlots> slots{};
  for (int i = 0; i < 3; ++i) {
    slots[i] = request["trans"][i].asDouble();
    slots[3 + i] = request["rot"][i].asDouble();
  }
  slots[6] = request["redundant"][0].asDouble();
  Json::Value reply(Json::objectValue);
  reply["data"] = Json::Value(Json::arrayValue);
  for (int i = 0; i < axes_; ++i) reply["data"].append(slots[i]);
  return reply;
}

Json::Value IdentityModel::allInverse(const Json::Value& request) const {
  if (!poseMembers(request, "elb", false) || !request["elb"].isNumeric()) return kRefused;
  Json::Value redundantForm = request;
  redundantForm.removeMember("elb");
  redundantForm["redundant"].append(request["elb"]);
  const Json::Value single = inverse(redundantForm);
  Json::Value solution(Json::objectValue);
  solution["jnt"] = single["data"];
  if (request.isMember("conf")) {
    solution["conf"] = request["conf"];
  } else {
    solution["conf"] = Json::Value(Json::arrayValue);
    for (Json::ArrayIndex i = 0; i < kConfLength; ++i) solution["conf"].append(0);
  }
  Json::Value reply(Json::objectValue);
  reply["data"]["result"].append(solution);
  return reply;
}

}  // namespace velmora_sim
