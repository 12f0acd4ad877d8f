#include "velmora_sim/robot_config.h"

#include <utility>

#include "locked_handlers.h"
#include "robot_config_state.h"

namespace velmora_sim {
namespace {

using detail::ConfigState;

Json::Value numbers(std::initializer_list<double> values) {
  Json::Value out(Json::arrayValue);
  for (const double v : values) out.append(v);
  return out;
}

Json::Value defaultExtAxisData() {
  Json::Value axis(Json::objectValue);
  axis["ext_data_number"] = 1;
  axis["ext_axis_number"] = 1;
  axis["is_servo_gun"] = false;
  axis["max_acc"] = 2000.0;
  axis["max_jerk"] = 10000.0;
  axis["max_motor_speed"] = 3000.0;
  axis["max_speed"] = 1000.0;
  axis["soft_limit_lower"] = -1000.0;
  axis["soft_limit_upper"] = 1000.0;
  axis["zero_value"] = 0.0;
  axis["motor_overload_coefficient"] = 1.0;
  axis["motor_torque_limiting"] = 1.0;
  axis["reduction_ratio"] = 10.0;
  axis["rated_torque_of_motor"] = 1.27;
  axis["resolution_ratio"] = 131072;
  axis["joint_orient"] = 1;
  axis["coordinate_calibrated"] = true;
  axis["driver_name"] = "drive1";
  Json::Value data(Json::objectValue);
  data["axis1"] = axis;
  return data;
}

Json::Value defaultMechUnitData() {
  Json::Value unit(Json::objectValue);
  unit["activation"] = true;
  unit["axes_info"] = Json::Value(Json::arrayValue);
  unit["axes_info"].append("axis1");
  unit["enable"] = true;
  unit["fixed_name"] = "rail1";
  unit["mech_link_type"] = 1;
  unit["order"] = 1;
  unit["unit_name"] = "u1";
  Json::Value data(Json::objectValue);
  data["u1"] = unit;
  return data;
}

Json::Value defaultRail() {
  Json::Value rail(Json::objectValue);
  rail["recolution_ratio"] = 131072;
  rail["reduction_ratio"] = 10.0;
  rail["max_speed"] = 1000.0;
  rail["max_acc"] = 2000.0;
  rail["max_jerk"] = 5000.0;
  rail["motor_speed"] = 3000.0;
  rail["enable"] = false;
  rail["name"] = "rail1";
  rail["soft_limit_lower"] = -1000.0;
  rail["soft_limit_upper"] = 1000.0;
  rail["lower"] = -1200.0;
  rail["upper"] = 1200.0;
  rail["base_frame"]["trans"] = numbers({0, 0, 0});
  rail["base_frame"]["rot"] = numbers({0, 0, 0});
  return rail;
}

bool sameKind(const Json::Value& a, const Json::Value& b) {
  if (a.isNumeric() || b.isNumeric()) return a.isNumeric() && b.isNumeric();
  return a.type() == b.type();
}

bool threeNumbers(const Json::Value& v) {
  return v.isArray() && v.size() == 3 && v[0].isNumeric() && v[1].isNumeric() && v[2].isNumeric();
}

// "R.#3" names element 3 of register R.
bool splitElement(const std::string& name, std::string& base, Json::ArrayIndex& index) {
  const std::size_t mark = name.rfind(".#");
  if (mark == std::string::npos || mark + 2 == name.size() || name.size() - mark > 8) return false;
  Json::ArrayIndex value = 0;
  for (std::size_t i = mark + 2; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    value = value * 10 + static_cast<Json::ArrayIndex>(name[i] - '0');
  }
  base = name.substr(0, mark);
  index = value;
  return true;
}

bool readRegister(const ConfigState& state, const std::string& name, Json::Value& out) {
  const auto whole = state.registers.find(name);
  if (whole != state.registers.end()) {
    out = whole->second;
    return true;
  }
  std::string base;
  Json::ArrayIndex index = 0;
  if (!splitElement(name, base, index)) return false;
  const auto it = state.registers.find(base);
  if (it == state.registers.end()) return false;
  const Json::Value& stored = it->second;
  if (!stored.isArray()) {
    if (index != 0) return false;
    out = stored;
  } else {
    if (index >= stored.size()) return false;
    out = stored[index];
  }
  return true;
}

bool scalar(const Json::Value& v) { return v.isNumeric() || v.isBool(); }

int writeRegister(ConfigState& state, const Json::Value& request) {
  if (!request.isObject() || !request["name"].isString()) return -1;
  const auto it = state.registers.find(request["name"].asString());
  if (it == state.registers.end()) return -1;
  Json::Value& stored = it->second;
  const Json::Value& value = request["value"];
  if (request.isMember("type")) {
    if (request.size() != 3 || request["type"] != "array" || !stored.isArray() || !value.isArray() || value.empty()) {
      return -1;
    }
    for (const Json::Value& element : value) {
      if (!scalar(element)) return -1;
    }
    stored = value;
    return 0;
  }
  if (request.size() != 3 || !request["bias"].isUInt() || !scalar(value)) return -1;
  const Json::ArrayIndex bias = request["bias"].asUInt();
  if (stored.isArray()) {
    if (bias >= stored.size()) return -1;
    stored[bias] = value;
  } else {
    if (bias != 0) return -1;
    stored = value;
  }
  return 0;
}

}  // namespace

RobotConfig::RobotConfig() : state_(std::make_shared<ConfigState>()) {
  state_->project["tool"]["tool0"] = ConfigState::ProjectEntry{detail::emptyToolEntry(true), {}};
  state_->project["wobj"]["wobj0"] = ConfigState::ProjectEntry{detail::emptyToolEntry(false), {}};
  state_->registers["reg_int"] = numbers({1, 2, 3});
  state_->registers["reg_float"] = 1.5;
  state_->registers["reg_bool"] = true;
  state_->extAxisData = defaultExtAxisData();
  state_->mechUnitData = defaultMechUnitData();
  state_->rail = defaultRail();
}

RobotConfig::~RobotConfig() = default;

void RobotConfig::install(CommandService& service) {
  const std::shared_ptr<ConfigState> state = state_;
  auto locked = detail::lockedHandlers(state);
  for (const std::string kind : {"tool", "wobj"}) {
    service.serve(Form::get, "project." + kind + ".info",
                  locked([kind](ConfigState& s, const Json::Value&) { return detail::toolInfoReply(s, kind); }));
    service.serve(Form::get, "project." + kind + "s",
                  locked([kind](ConfigState& s, const Json::Value&) { return detail::toolNamesReply(s, kind); }));
    service.serve(Form::command, "project." + kind, locked([kind](ConfigState& s, const Json::Value& p) {
                    return Json::Value(detail::writeProjectTool(s, kind, p));
                  }));
    service.serve(Form::command, "global." + kind + "s.set.one", locked([kind](ConfigState& s, const Json::Value& p) {
                    return Json::Value(detail::writeGlobalTool(s, kind, p));
                  }));
  }

  service.serve(Form::get, "register.values", locked([](ConfigState& s, const Json::Value& p) {
                  if (!p.isObject() || p.empty()) return Json::Value(-1);
                  Json::Value reply(Json::objectValue);
                  for (const std::string& name : p.getMemberNames()) {
                    if (!readRegister(s, name, reply[name])) return Json::Value(-1);
                  }
                  return reply;
                }));
  service.serve(Form::command, "register.write",
                locked([](ConfigState& s, const Json::Value& p) { return Json::Value(writeRegister(s, p)); }));

  service.serve(Form::command, "utils.reboot", locked([](ConfigState&, const Json::Value& p) {
                  const bool shutdown = p.isObject() && p.size() == 1 && p["option"] == "shutdown";
                  return Json::Value(p.isNull() || shutdown ? 0 : -1);
                }));
  service.serve(Form::get, "flangebox_support_rs485_param",
                locked([](ConfigState& s, const Json::Value&) { return Json::Value(s.flangeBoxType); }));

  service.serve(Form::command, "ext_axis.get_axis_info", locked([](ConfigState& s, const Json::Value&) {
                  Json::Value reply(Json::objectValue);
                  reply["data"] = s.extAxisData;
                  return reply;
                }));
  service.serve(Form::command, "ext_axis.get_mechanical_unit_info", locked([](ConfigState& s, const Json::Value&) {
                  Json::Value reply(Json::objectValue);
                  reply["data"] = s.mechUnitData;
                  return reply;
                }));

  service.serve(Form::get, "rail_param", locked([](ConfigState& s, const Json::Value&) { return s.rail; }));
  service.serve(Form::set, "rail_param", locked([](ConfigState& s, const Json::Value& p) {
                  if (!p.isObject() || p.empty()) return Json::Value(-1);
                  for (const std::string& key : p.getMemberNames()) {
                    if (!s.rail.isMember(key) || !sameKind(s.rail[key], p[key])) return Json::Value(-1);
                  }
                  for (const std::string& key : p.getMemberNames()) s.rail[key] = p[key];
                  return Json::Value(0);
                }));
  service.serve(Form::command, "rail.set_rail_frame", locked([](ConfigState& s, const Json::Value& p) {
                  if (!p.isObject() || p.size() != 2 || !threeNumbers(p["trans"]) || !threeNumbers(p["rot"])) {
                    return Json::Value(-1);
                  }
                  s.rail["base_frame"] = p;
                  return Json::Value(0);
                }));
}

Json::Value RobotConfig::projectRecord(const std::string& kind, const std::string& name) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto table = state_->project.find(kind);
  if (table == state_->project.end()) return {};
  const auto it = table->second.find(name);
  return it == table->second.end() ? Json::Value() : it->second.record;
}

Json::Value RobotConfig::projectEntry(const std::string& kind, const std::string& name) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto table = state_->project.find(kind);
  if (table == state_->project.end()) return {};
  const auto it = table->second.find(name);
  return it == table->second.end() ? Json::Value() : it->second.entry;
}

Json::Value RobotConfig::globalRecord(const std::string& kind, int id) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto table = state_->global.find(kind);
  if (table == state_->global.end()) return {};
  const auto it = table->second.find(id);
  return it == table->second.end() ? Json::Value() : it->second;
}

void RobotConfig::setRegister(const std::string& name, Json::Value value) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->registers[name] = std::move(value);
}

Json::Value RobotConfig::registerValue(const std::string& name) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto it = state_->registers.find(name);
  return it == state_->registers.end() ? Json::Value() : it->second;
}

void RobotConfig::setFlangeBoxType(int type) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->flangeBoxType = type;
}

int RobotConfig::flangeBoxType() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->flangeBoxType;
}

void RobotConfig::setExtAxisData(Json::Value data) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->extAxisData = std::move(data);
}

void RobotConfig::setMechUnitData(Json::Value data) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->mechUnitData = std::move(data);
}

Json::Value RobotConfig::railParameters() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->rail;
}

void RobotConfig::setRailParameters(Json::Value parameters) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->rail = std::move(parameters);
}

}  // namespace velmora_sim
