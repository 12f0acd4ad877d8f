#include "velmora_sim/cobot_extras.h"

#include <mutex>
#include <set>
#include <utility>

#include "locked_handlers.h"

namespace velmora_sim {

struct CobotExtras::State {
  mutable std::mutex mutex;
  Json::Value drag;
  bool collision = false;
  Json::Value collisionSettings;
  std::vector<int> calibrations;
  std::array<bool, 7> keys{};
  std::string vout;
  std::string mode;
  std::string protocolVersion;
};

namespace {

using P = const Json::Value&;

const Json::Value& field(P value, const char* name) {
  return value.isObject() ? value[name] : Json::Value::nullSingleton();
}

bool isIntIn(P value, int low, int high) {
  return (value.type() == Json::intValue || value.type() == Json::uintValue) && value.isInt() && value.asInt() >= low &&
         value.asInt() <= high;
}

bool acceptsDrag(P request) {
  const Json::Value& enable = field(request, "enable");
  if (!enable.isBool() || !isIntIn(field(request, "space"), 0, 1) || !isIntIn(field(request, "type"), 0, 2)) {
    return false;
  }
  // Joint space moves every axis by hand: only freely.
  if (field(request, "space").asInt() == 0 && field(request, "type").asInt() != 2) return false;
  return enable.asBool() ? field(request, "quick").isBool() : request.size() == 3;
}

bool acceptsEnabling(P request) {
  const Json::Value& sensitivity = field(request, "sensitivity");
  const Json::Value& action = field(request, "action");
  const Json::Value& behaviour = field(action, "behaviour");
  if (!sensitivity.isArray() || sensitivity.empty() || !behaviour.isString()) return false;
  for (const Json::Value& s : sensitivity) {
    if (!s.isNumeric()) return false;
  }
  const std::string text = behaviour.asString();
  if (text == "fcimpedstop") {
    const Json::Value& compliance = field(request, "compliance");
    return compliance.isNumeric() && compliance.asDouble() <= 1.0 && field(action, "fallback").isNull();
  }
  return (text == "stop1" || text == "pause") && field(action, "fallback").isNumeric() &&
         field(request, "compliance").isNull();
}

}  // namespace

CobotExtras::CobotExtras() : state_(std::make_shared<State>()) {}
CobotExtras::~CobotExtras() = default;

void CobotExtras::install(CommandService& service, std::function<int()> jointCount) {
  const std::shared_ptr<State> s = state_;
  auto locked = detail::lockedHandlers(s);
  for (const char* key : {"sys.drag", "eci.drag"}) {
    service.serve(Form::command, key, locked([](State& st, P p) {
                    if (!acceptsDrag(p)) return Json::Value(-1);
                    st.drag = p;
                    return Json::Value(0);
                  }));
  }
  service.serve(Form::command, "safety.collision_detection", locked([](State& st, P p) {
                  const Json::Value& enable = field(p, "enable");
                  if (!enable.isBool()) return Json::Value(-1);
                  if (!enable.asBool()) {
                    if (p.size() != 1) return Json::Value(-1);
                    st.collision = false;
                    return Json::Value(0);
                  }
                  if (!acceptsEnabling(p)) return Json::Value(-1);
                  if (st.collision) return Json::Value(-1);
                  st.collision = true;
                  st.collisionSettings = p;
                  return Json::Value(0);
                }));
  service.serve(Form::command, "utils.calibrate_force_sensor", [s, jointCount](Exchange& x) {
    const Json::Value& p = x.request().payload;
    const int joints = jointCount ? jointCount() : 7;
    std::lock_guard<std::mutex> lock(s->mutex);
    if (p.isNull()) {
      s->calibrations.push_back(-1);
      x.reply(0);
    } else if (p.isObject() && p.size() == 1 && isIntIn(p["index"], 0, joints - 1)) {
      s->calibrations.push_back(p["index"].asInt());
      x.reply(0);
    } else {
      x.reply(-1);
    }
  });
  service.serve(Form::get, "device.io.keypad", locked([](State& st, P) {
                  Json::Value keys(Json::arrayValue);
                  for (const bool k : st.keys) keys.append(k);
                  return keys;
                }));
  service.serve(Form::set, "device.io.flangebox", locked([](State& st, P p) {
                  static const std::set<std::string> vouts{"off", "reserve", "12v", "24v"};
                  const Json::Value& vout = field(p, "vout");
                  const Json::Value& mode = field(p, "mode");
                  if (!vout.isString() || vouts.count(vout.asString()) == 0) return Json::Value(-1);
                  if (!mode.isNull() && !(mode.isString() && (mode.asString() == "rs485" || mode.asString() == "ai"))) {
                    return Json::Value(-1);
                  }
                  st.vout = vout.asString();
                  if (mode.isString()) st.mode = mode.asString();
                  return Json::Value(0);
                }));
  service.serve(Form::set, "eci.rci.cfg", locked([](State& st, P p) {
                  const Json::Value& version = field(p, "protocol_version");
                  if (!version.isString()) return Json::Value(-1);
                  st.protocolVersion = version.asString();
                  return Json::Value(0);
                }));
}

Json::Value CobotExtras::drag() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->drag;
}

bool CobotExtras::collisionDetection() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->collision;
}

Json::Value CobotExtras::collisionSettings() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->collisionSettings;
}

std::vector<int> CobotExtras::calibrations() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->calibrations;
}

void CobotExtras::setKeys(const std::array<bool, 7>& keys) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->keys = keys;
}

std::string CobotExtras::vout() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->vout;
}

std::string CobotExtras::boardMode() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->mode;
}

std::string CobotExtras::protocolVersion() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->protocolVersion;
}

}  // namespace velmora_sim
