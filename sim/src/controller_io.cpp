#include "velmora_sim/controller_io.h"

#include <map>
#include <mutex>

#include "locked_handlers.h"

namespace velmora_sim {

struct ControllerIo::State {
  mutable std::mutex mutex;
  // By group ("DI", "DO", "AI", "AO"), then signal name; the value is a flag or a number.
  std::map<std::string, std::map<std::string, Json::Value>> signals;
};

namespace {

using State = ControllerIo::State;

const char* const kGroups[] = {"DI", "DO", "AI", "AO"};

std::string groupOf(const std::string& name) { return name.size() >= 2 ? name.substr(0, 2) : std::string(); }

// {"DI.DI0_3": null, ...} or null (every group).
Json::Value readSignals(const State& st, const Json::Value& query) {
  Json::Value reply(Json::objectValue);
  if (query.isNull()) {
    for (const char* group : kGroups) {
      Json::Value members(Json::objectValue);
      const auto found = st.signals.find(group);
      if (found != st.signals.end()) {
        for (const auto& [name, value] : found->second) members[name] = value;
      }
      reply[group] = std::move(members);
    }
    return reply;
  }
  if (!query.isObject()) return Json::Value(-1);
  for (const std::string& key : query.getMemberNames()) {
    const auto dot = key.find('.');
    if (dot == std::string::npos) continue;
    const auto group = st.signals.find(key.substr(0, dot));
    if (group == st.signals.end()) continue;
    const auto signal = group->second.find(key.substr(dot + 1));
    if (signal != group->second.end()) reply[key] = signal->second;
  }
  return reply;
}

// {"name": "DO0_3", "value": ...} into the group; -1 for an unknown signal or another kind.
Json::Value writeSignal(State& st, const char* group, const Json::Value& request) {
  if (!request.isObject() || !request["name"].isString()) return Json::Value(-1);
  const Json::Value& value = request["value"];
  const bool digital = group[0] == 'D';
  if (digital ? !value.isBool() : !value.isNumeric()) return Json::Value(-1);
  auto& signals = st.signals[group];
  const auto signal = signals.find(request["name"].asString());
  if (signal == signals.end()) return Json::Value(-1);
  signal->second = digital ? Json::Value(value.asBool()) : Json::Value(value.asDouble());
  return Json::Value(0);
}

}  // namespace

ControllerIo::ControllerIo() : state_(std::make_shared<State>()) {
  for (int port = 0; port < 8; ++port) {
    state_->signals["DI"]["DI0_" + std::to_string(port)] = false;
    state_->signals["DO"]["DO0_" + std::to_string(port)] = false;
  }
  for (int port = 0; port < 2; ++port) {
    state_->signals["AI"]["AI0_" + std::to_string(port)] = 0.0;
    state_->signals["AO"]["AO0_" + std::to_string(port)] = 0.0;
  }
}

ControllerIo::~ControllerIo() = default;

void ControllerIo::install(CommandService& service, const ControllerSystem& system) {
  const std::shared_ptr<State> s = state_;
  auto locked = detail::lockedHandlers(s);
  using P = const Json::Value&;
  service.serve(Form::get, "device.io", locked([](State& st, P p) { return readSignals(st, p); }));
  service.serve(Form::command, "device.io.out.do", locked([](State& st, P p) { return writeSignal(st, "DO", p); }));
  service.serve(Form::command, "device.io.out.ao", locked([](State& st, P p) { return writeSignal(st, "AO", p); }));
  // Asked before the lock: the system has a lock of its own.
  service.serve(Form::command, "device.io.simu.di", [s, &system](Exchange& x) {
    const bool simulating = system.inputSimulation();
    std::lock_guard<std::mutex> lock(s->mutex);
    x.reply(simulating ? writeSignal(*s, "DI", x.request().payload) : Json::Value(-1));
  });
}

bool ControllerIo::digital(const std::string& name) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto group = state_->signals.find(groupOf(name));
  if (group == state_->signals.end()) return false;
  const auto signal = group->second.find(name);
  return signal != group->second.end() && signal->second.asBool();
}

void ControllerIo::setDigital(const std::string& name, bool state) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->signals[groupOf(name)][name] = state;
}

double ControllerIo::analog(const std::string& name) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto group = state_->signals.find(groupOf(name));
  if (group == state_->signals.end()) return 0.0;
  const auto signal = group->second.find(name);
  return signal != group->second.end() ? signal->second.asDouble() : 0.0;
}

void ControllerIo::setAnalog(const std::string& name, double value) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->signals[groupOf(name)][name] = value;
}

bool ControllerIo::hasSignal(const std::string& name) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto group = state_->signals.find(groupOf(name));
  return group != state_->signals.end() && group->second.count(name) != 0;
}

}  // namespace velmora_sim
