#include "velmora_sim/controller_system.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "locked_handlers.h"

namespace velmora_sim {

struct ControllerSystem::State {
  mutable std::mutex mutex;
  bool powered = false;
  bool inputSimulation = false;
  std::string mode = "manual";
  std::string state = "idle";
  std::function<bool()> moving;
  std::function<void(const std::array<double, 6>&)> place;
  std::function<void()> stop;
  std::vector<ControllerLogEntry> log;
};

namespace {

Json::Value logReply(const std::vector<ControllerLogEntry>& log, const Json::Value& query) {
  const Json::Value& limit = query.isObject() ? query["limit"] : Json::Value::nullSingleton();
  if (!limit.isNumeric() || limit.asDouble() < 0) return Json::Value(-1);
  const Json::Value& offsetValue = query["offset"];
  const Json::UInt offset = offsetValue.isUInt() ? offsetValue.asUInt() : 0;
  const Json::Value& filter = query["filter"];
  const Json::Value& levels = filter.isObject() ? filter["level"] : Json::Value::nullSingleton();
  auto wanted = [&](const std::string& level) {
    if (!levels.isArray()) return true;
    for (const Json::Value& name : levels) {
      if (name.isString() && name.asString() == level) return true;
    }
    return false;
  };
  Json::Value logs(Json::arrayValue);
  Json::UInt skipped = 0;
  for (auto it = log.rbegin(); it != log.rend() && logs.size() < limit.asUInt(); ++it) {
    if (!wanted(it->level)) continue;
    if (skipped++ < offset) continue;
    Json::Value entry(Json::objectValue);
    entry["err_code"] = it->errorCode;
    entry["time"] = it->time;
    entry["content"] = it->content;
    entry["repair"] = it->repair;
    logs.append(std::move(entry));
  }
  Json::Value reply(Json::objectValue);
  reply["data"]["logs"] = std::move(logs);
  return reply;
}

}  // namespace

ControllerSystem::ControllerSystem() : state_(std::make_shared<State>()) {}
ControllerSystem::~ControllerSystem() = default;

void ControllerSystem::install(CommandService& service) {
  const std::shared_ptr<State> s = state_;
  auto locked = detail::lockedHandlers(s);
  using P = const Json::Value&;
  service.serve(Form::get, "sys.power", locked([](State& st, P) { return Json::Value(st.powered ? "on" : "off"); }));
  service.serve(Form::command, "sys.power.on", locked([](State& st, P) {
                  st.powered = true;
                  return Json::Value(0);
                }));
  service.serve(Form::command, "sys.power.off", [s](Exchange& x) {
    std::function<void()> stop;
    {
      std::lock_guard<std::mutex> lock(s->mutex);
      s->powered = false;
      stop = s->stop;
    }
    // The arm takes its own lock; the reply comes after the arm has stopped.
    if (stop) stop();
    x.reply(0);
  });
  service.serve(Form::get, "sys.mode", locked([](State& st, P) { return Json::Value(st.mode); }));
  service.serve(Form::get, "sys.state", [s](Exchange& x) {
    std::string name;
    std::function<bool()> moving;
    {
      std::lock_guard<std::mutex> lock(s->mutex);
      name = s->state;
      moving = s->moving;
    }
    // Asked without this lock: the arm takes its own.
    x.reply(name == "idle" && moving && moving() ? "idleing" : name);
  });
  service.serve(Form::command, "sys.servo.clear_alarm", locked([](State&, P) { return Json::Value(0); }));
  service.serve(Form::command, "device.io.simu.on", locked([](State& st, P) {
                  st.inputSimulation = true;
                  return Json::Value(0);
                }));
  service.serve(Form::command, "device.io.simu.off", locked([](State& st, P) {
                  st.inputSimulation = false;
                  return Json::Value(0);
                }));
  service.serve(Form::command, "sys.set_teach_pendant",
                locked([](State&, P p) { return Json::Value(p.isObject() && p["with"].isBool() ? 0 : -1); }));
  service.serve(Form::command, "sys.ntp.config",
                locked([](State&, P p) { return Json::Value(p.isObject() && p["server"].isString() ? 0 : -1); }));
  service.serve(Form::command, "sys.ntp.sync", locked([](State&, P) { return Json::Value(0); }));
  service.serve(Form::command, "user_log.query", locked([](State& st, P p) { return logReply(st.log, p); }));
  service.serve(Form::command, "rsc.emer_stop.reset", locked([](State&, P) { return Json::Value(0); }));
}

bool ControllerSystem::powered() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->powered;
}

void ControllerSystem::setPowered(bool on) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->powered = on;
}

std::string ControllerSystem::operateMode() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->mode;
}

void ControllerSystem::setOperateMode(std::string mode) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->mode = std::move(mode);
}

std::string ControllerSystem::state() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->state;
}

void ControllerSystem::setState(std::string name) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->state = std::move(name);
}

void ControllerSystem::linkArm(std::function<bool()> moving, std::function<void(const std::array<double, 6>&)> place) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->moving = std::move(moving);
  state_->place = std::move(place);
}

void ControllerSystem::onPowerOff(std::function<void()> stop) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->stop = std::move(stop);
}

void ControllerSystem::setPosture(const std::array<double, 6>& pose) {
  std::function<void(const std::array<double, 6>&)> place;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    place = state_->place;
  }
  if (place) place(pose);
}

bool ControllerSystem::inputSimulation() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->inputSimulation;
}

void ControllerSystem::setLog(std::vector<ControllerLogEntry> entries) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->log = std::move(entries);
}

}  // namespace velmora_sim
