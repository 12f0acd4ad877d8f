#include "velmora_sim/force_control_model.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>

namespace velmora_sim {
namespace {

const Json::Value kRefused(-1);
const Json::Value kDone(0);

const char* const kEndTorqueKeys[] = {"eci.fc.end_torque.ref_world", "eci.fc.end_torque.ref_flange",
                                      "eci.fc.end_torque.ref_tcp"};

bool numbers(const Json::Value& value, Json::ArrayIndex count) {
  if (!value.isArray() || value.size() != count) return false;
  for (const Json::Value& item : value) {
    if (!item.isNumeric()) return false;
  }
  return true;
}

/// Exactly these members, whatever their values.
bool members(const Json::Value& object, std::set<std::string> names) {
  if (!object.isObject()) return false;
  for (const std::string& name : object.getMemberNames()) {
    if (names.erase(name) == 0) return false;
  }
  return names.empty();
}

bool frame(const Json::Value& value) {
  return members(value, {"trans", "rot"}) && numbers(value["trans"], 3) && numbers(value["rot"], 3);
}

bool condition(const Json::Value& param, bool withFrame) {
  std::set<std::string> names{"values", "inside", "timeout"};
  if (withFrame) names.insert("frame");
  return members(param, names) && numbers(param["values"], 6) && param["inside"].isBool() &&
         param["timeout"].isNumeric() && (!withFrame || frame(param["frame"]));
}

/// {"values": [integer, `reals` numbers]}.
bool overlayValues(const Json::Value& param, Json::ArrayIndex reals) {
  if (!members(param, {"values"})) return false;
  const Json::Value& values = param["values"];
  // The selector travels as a JSON integer, not as a real that happens to be whole.
  return numbers(values, reals + 1) && (values[0].type() == Json::intValue || values[0].type() == Json::uintValue);
}

Json::Value sequence(int first, int count) {
  Json::Value array(Json::arrayValue);
  for (int i = 0; i < count; ++i) array.append(first + i);
  return array;
}

}  // namespace

struct ForceControlModel::State {
  explicit State(int jointCount) : axes(jointCount) {
    for (int k = 0; k < 3; ++k) {
      const int base = 100 * k;
      Json::Value reply(Json::objectValue);
      reply["joint"] = sequence(base, axes);
      reply["external"] = sequence(base + 10, axes);
      reply["cart"]["force"] = sequence(base + 20, 3);
      reply["cart"]["torque"] = sequence(base + 30, 3);
      endTorque[kEndTorqueKeys[k]] = reply;
    }
  }

  /// The shape of a "set" or "monitor" parameter for `cmd`; false for an unknown command.
  bool validParam(const std::string& cmd, const Json::Value& param) const {
    const auto n = static_cast<Json::ArrayIndex>(axes);
    if (cmd == "control_type") {
      return members(param, {"type"}) &&
             (param["type"] == Json::Value("joint") || param["type"] == Json::Value("cart"));
    }
    if (cmd == "load") {
      const Json::Value& load = param["load"];
      return members(param, {"load"}) && members(load, {"mass", "cog", "inertia"}) && load["mass"].isNumeric() &&
             numbers(load["cog"], 3) && numbers(load["inertia"], 3);
    }
    if (cmd == "cart_ns_stiff") return members(param, {"value"}) && param["value"].isNumeric();
    if (cmd == "force_cond" || cmd == "torque_cond") return condition(param, false);
    if (cmd == "posbox_cond") return condition(param, true);
    if (cmd == "sine_overlay") return overlayValues(param, 4);
    if (cmd == "lissajous_overlay") return overlayValues(param, 5);
    if (cmd == "monitor") return members(param, {"enable"}) && param["enable"].isBool();
    static const std::set<std::string> six{"cart_stiff", "cart_force", "cart_vel_max", "cart_ctrl_max_vel",
                                           "cart_ctrl_max_wrench"};
    static const std::set<std::string> perJoint{"joint_stiff",         "joint_trq",        "joint_vel_max",
                                                "joint_momentum_max",  "joint_energy_max", "jnt_ctrl_max_vel",
                                                "jnt_ctrl_max_torque", "gain_value",       "friction"};
    if (six.count(cmd) != 0) return members(param, {"values"}) && numbers(param["values"], 6);
    if (perJoint.count(cmd) != 0) return members(param, {"values"}) && numbers(param["values"], n);
    return false;
  }

  const int axes;
  mutable std::mutex mutex;
  int callbacks = 0;
  std::string frame;
  bool running = false;
  std::map<std::string, Json::Value> settings;
  std::string overlay;
  std::optional<std::chrono::milliseconds> conditionWait{std::chrono::milliseconds(0)};
  std::map<std::string, Json::Value> endTorque;
};

ForceControlModel::ForceControlModel(int axes) {
  if (axes < 5 || axes > 7) throw std::invalid_argument("a collaborative arm has 5 to 7 joints");
  state_ = std::make_shared<State>(axes);
}

void ForceControlModel::install(CommandService& service) const {
  const ForceControlModel model = *this;
  for (const char* key : {"eci.fc.set_callback", "eci.fc.init", "eci.fc.start", "eci.fc.stop", "eci.fc.set",
                          "eci.fc.monitor", "eci.fc.overlay"}) {
    service.handle(Form::command, key,
                   [model, key = std::string(key)](Exchange& x) { x.reply(model.answer(key, x.request().payload)); });
  }
  service.handle(Form::command, "eci.fc.cond", [model](Exchange& x) {
    const Json::Value reply = model.answer("eci.fc.cond", x.request().payload);
    std::optional<std::chrono::milliseconds> wait;
    {
      std::lock_guard<std::mutex> lock(model.state_->mutex);
      wait = model.state_->conditionWait;
    }
    // A refused request is answered at once; a wait for conditions never met is never answered.
    if (reply != kDone) {
      x.reply(reply);
    } else if (!wait) {
      x.silent();
    } else {
      x.delay(*wait);
      x.reply(reply);
    }
  });
  for (const char* key : kEndTorqueKeys) {
    service.handle(Form::get, key,
                   [model, key = std::string(key)](Exchange& x) { x.reply(model.answer(key, x.request().payload)); });
  }
}

void ForceControlModel::setConditionWait(std::optional<std::chrono::milliseconds> wait) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->conditionWait = wait;
}

void ForceControlModel::setEndTorque(const std::string& key, Json::Value reply) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->endTorque[key] = std::move(reply);
}

int ForceControlModel::callbacks() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->callbacks;
}

std::string ForceControlModel::frame() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->frame;
}

bool ForceControlModel::running() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->running;
}

Json::Value ForceControlModel::setting(const std::string& cmd) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto found = state_->settings.find(cmd);
  return found == state_->settings.end() ? Json::Value() : found->second;
}

std::string ForceControlModel::overlay() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->overlay;
}

Json::Value ForceControlModel::answer(const std::string& key, const Json::Value& request) const {
  State& s = *state_;
  std::lock_guard<std::mutex> lock(s.mutex);
  if (key == "eci.fc.set_callback") {
    if (request != Json::Value(0)) return kRefused;
    ++s.callbacks;
    return kDone;
  }
  if (key == "eci.fc.init") {
    static const std::set<std::string> frames{"world", "base", "flange", "tool", "wobj", "path"};
    if (!members(request, {"frame"}) || !request["frame"].isString() || frames.count(request["frame"].asString()) == 0)
      return kRefused;
    s.frame = request["frame"].asString();
    return kDone;
  }
  if (key == "eci.fc.start" || key == "eci.fc.stop") {
    if (!request.isNull()) return kRefused;
    s.running = key == "eci.fc.start";
    return kDone;
  }
  if (key == "eci.fc.overlay" || key == "eci.fc.cond") {
    static const std::set<std::string> overlayCommands{"start", "stop", "pause", "restart"};
    if (!members(request, {"cmd"}) || !request["cmd"].isString()) return kRefused;
    const std::string cmd = request["cmd"].asString();
    if (key == "eci.fc.cond") return cmd == "wait" ? kDone : kRefused;
    if (overlayCommands.count(cmd) == 0) return kRefused;
    s.overlay = cmd;
    return kDone;
  }
  if (key == "eci.fc.set" || key == "eci.fc.monitor") {
    static const std::set<std::string> monitorCommands{"monitor",
                                                       "cart_vel_max",
                                                       "cart_ctrl_max_vel",
                                                       "cart_ctrl_max_wrench",
                                                       "joint_vel_max",
                                                       "joint_momentum_max",
                                                       "joint_energy_max",
                                                       "jnt_ctrl_max_vel",
                                                       "jnt_ctrl_max_torque",
                                                       "gain_value",
                                                       "friction"};
    if (!members(request, {"cmd", "param"}) || !request["cmd"].isString()) return kRefused;
    const std::string cmd = request["cmd"].asString();
    const bool underMonitor = monitorCommands.count(cmd) != 0;
    if (underMonitor != (key == "eci.fc.monitor") || !s.validParam(cmd, request["param"])) return kRefused;
    s.settings[cmd] = request["param"];
    return kDone;
  }
  const auto torque = s.endTorque.find(key);
  if (torque != s.endTorque.end()) return request.isNull() ? torque->second : kRefused;
  return kRefused;
}

}  // namespace velmora_sim
