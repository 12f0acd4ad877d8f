#include "velmora_sim/robot_frames.h"

#include <initializer_list>
#include <mutex>
#include <utility>

#include "locked_handlers.h"

namespace velmora_sim {

struct RobotFrames::State {
  mutable std::mutex mutex;
  Json::Value baseFrame;
  Json::Value toolset;
  Json::Value softLimit;
  Json::Value dhNominal;
  Json::Value dhAll;
  std::function<void(const Json::Value&)> softLimitChanged;
  std::function<void(const Json::Value&)> toolsetChanged;
  Json::Value calibration;
};

namespace {

Json::Value numbers(std::initializer_list<double> values) {
  Json::Value out(Json::arrayValue);
  for (const double v : values) out.append(v);
  return out;
}

Json::Value repeated(double value, int count) {
  Json::Value out(Json::arrayValue);
  for (int i = 0; i < count; ++i) out.append(value);
  return out;
}

Json::Value frameValue(std::initializer_list<double> trans, std::initializer_list<double> rot) {
  Json::Value frame(Json::objectValue);
  frame["trans"] = numbers(trans);
  frame["rot"] = numbers(rot);
  return frame;
}

// An object with exactly these members.
bool exactly(const Json::Value& v, std::initializer_list<const char*> names) {
  if (!v.isObject() || v.size() != names.size()) return false;
  for (const char* name : names) {
    if (!v.isMember(name)) return false;
  }
  return true;
}

bool numberArray(const Json::Value& v, Json::ArrayIndex size) {
  if (!v.isArray() || v.size() != size) return false;
  for (const Json::Value& item : v) {
    if (!item.isNumeric()) return false;
  }
  return true;
}

bool isFrame(const Json::Value& v) {
  return exactly(v, {"trans", "rot"}) && numberArray(v["trans"], 3) && numberArray(v["rot"], 3);
}

bool isNamedFrame(const Json::Value& v) {
  return exactly(v, {"trans", "rot", "name"}) && numberArray(v["trans"], 3) && numberArray(v["rot"], 3) &&
         v["name"].isString();
}

bool isToolset(const Json::Value& v) {
  const Json::Value& load = v["load"];
  return exactly(v, {"load", "end", "ref"}) && exactly(load, {"mass", "cog", "inertia"}) && load["mass"].isNumeric() &&
         numberArray(load["cog"], 3) && numberArray(load["inertia"], 3) && isNamedFrame(v["end"]) &&
         isNamedFrame(v["ref"]);
}

// The point counts each calibration takes.
bool calibrationCount(const std::string& type, Json::ArrayIndex count) {
  if (type == "base") return count == 6;
  if (type == "tool") return count == 3 || count == 4 || count == 6;
  return (type == "wobj" || type == "rail") && count == 3;
}

bool calibrationRequest(const Json::Value& p) {
  if (!exactly(p, {"type", "points", "held", "aux"}) || !p["type"].isString() || !p["held"].isBool() ||
      !numberArray(p["aux"], 3) || !p["points"].isArray()) {
    return false;
  }
  const Json::Value& points = p["points"];
  if (!calibrationCount(p["type"].asString(), points.size())) return false;
  const Json::ArrayIndex joints = points[0].isArray() ? points[0].size() : 0;
  for (const Json::Value& point : points) {
    if (joints == 0 || !numberArray(point, joints)) return false;
  }
  return true;
}

Json::Value withError(const char* text) {
  Json::Value reply(Json::objectValue);
  reply["data"] = Json::Value();
  reply["error"] = text;
  return reply;
}

void storeToolset(RobotFrames::State& s, Json::Value toolset) {
  std::function<void(const Json::Value&)> changed;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.toolset = toolset;
    changed = s.toolsetChanged;
  }
  // The arm takes its own lock.
  if (changed) changed(toolset);
}

int writeSoftLimit(Json::Value& stored, const Json::Value& p) {
  if (!exactly(p, {"enable", "lower", "upper"}) || !p["enable"].isBool()) return -1;
  const Json::Value& lower = p["lower"];
  const Json::Value& upper = p["upper"];
  if (numberArray(lower, 0) && numberArray(upper, 0)) {
    stored["enable"] = p["enable"];
    return 0;
  }
  const Json::ArrayIndex joints = stored["lower"].size();
  if (!numberArray(lower, joints) || !numberArray(upper, joints)) return -1;
  for (Json::ArrayIndex i = 0; i < joints; ++i) {
    if (lower[i].asDouble() > upper[i].asDouble()) return -1;
  }
  stored = p;
  return 0;
}

Json::Value dhReply(const Json::Value& nominal, const Json::Value& all, const Json::Value& p) {
  if (!p.isObject() || p["type"] != "json" || !p["key"].isString()) return Json::Value(-1);
  const bool withFunc = p.isMember("func");
  if (p.size() != (withFunc ? 3u : 2u) || (withFunc && p["func"] != "std")) return Json::Value(-1);
  Json::Value reply(Json::objectValue);
  if (p["key"] == "KINEMATICS.DH_PARAMS") {
    reply["data"] = nominal;
  } else if (p["key"] == "KINEMATICS.DH_PARAMS_ALL") {
    reply["data"] = all;
  } else {
    return Json::Value(-1);
  }
  return reply;
}

}  // namespace

RobotFrames::RobotFrames() : state_(std::make_shared<State>()) {
  State& s = *state_;
  s.baseFrame = frameValue({0, 0, 0}, {0, 0, 0});
  s.toolset["load"]["mass"] = 0.0;
  s.toolset["load"]["cog"] = numbers({0, 0, 0});
  s.toolset["load"]["inertia"] = numbers({0, 0, 0});
  for (const char* part : {"end", "ref"}) {
    s.toolset[part] = frameValue({0, 0, 0}, {0, 0, 0});
    s.toolset[part]["name"] = "";
  }
  s.softLimit["enable"] = false;
  s.softLimit["lower"] = repeated(-3.0, 7);
  s.softLimit["upper"] = repeated(3.0, 7);
  // a, alpha, d, theta of each joint.
  s.dhNominal = numbers({0, 0, 0.34, 0,      0,   -1.5708, 0, 0,       0, 1.5708, 0.4, 0,      0,     -1.5708,
                         0, 0, 0,    1.5708, 0.4, 0,       0, -1.5708, 0, 0,      0,   1.5708, 0.126, 0});
  s.dhAll = s.dhNominal;
  for (int i = 0; i < 7; ++i) s.dhAll.append(0.0);  // the joints' offsets beside the nominal set
  s.calibration["frame"] = frameValue({0.1, 0.2, 0.3}, {0, 0, 1.5});
  s.calibration["errors"] = numbers({0.001, 0.002, 0.003});
}

RobotFrames::~RobotFrames() = default;

void RobotFrames::install(CommandService& service, EntryLookup lookup) {
  const std::shared_ptr<State> s = state_;
  auto locked = detail::lockedHandlers(s);
  using P = const Json::Value&;
  service.serve(Form::get, "ix.coord.base_in_world", locked([](State& st, P) { return st.baseFrame; }));
  service.serve(Form::set, "ix.coord.base_in_world", locked([](State& st, P p) {
                  if (!isFrame(p)) return Json::Value(-1);
                  st.baseFrame = p;
                  return Json::Value(0);
                }));
  service.serve(Form::get, "ix.coord.toolset", locked([](State& st, P) { return st.toolset; }));
  service.serve(Form::set, "ix.coord.toolset", [s](Exchange& x) {
    if (!isToolset(x.request().payload)) return x.reply(-1);
    storeToolset(*s, x.request().payload);
    x.reply(0);
  });
  service.serve(Form::command, "sys.toolset.query", [lookup](Exchange& x) {
    const Json::Value& p = x.request().payload;
    if (!exactly(p, {"tool", "wobj"}) || !p["tool"].isString() || !p["wobj"].isString()) {
      x.reply(withError("invalid query"));
      return;
    }
    const Json::Value tool = lookup ? lookup("tool", p["tool"].asString()) : Json::Value();
    const Json::Value wobj = lookup ? lookup("wobj", p["wobj"].asString()) : Json::Value();
    if (!tool.isObject() || !wobj.isObject()) {
      x.reply(withError("no such tool or wobj"));
      return;
    }
    Json::Value reply(Json::objectValue);
    Json::Value& data = reply["data"];
    data["load"] = tool["load"];
    data["end"] = tool["coord"];
    data["ref"] = wobj["coord"];
    x.reply(reply);
  });
  service.serve(Form::command, "utils.calibrate_frame", locked([](State& st, P p) {
                  if (!calibrationRequest(p)) return withError("invalid points");
                  Json::Value reply(Json::objectValue);
                  reply["data"] = st.calibration;
                  return reply;
                }));
  service.serve(Form::get, "safety.soft_limit", locked([](State& st, P) { return st.softLimit; }));
  service.serve(Form::command, "safety.soft_limit", [s](Exchange& x) {
    Json::Value limits;
    std::function<void(const Json::Value&)> changed;
    int code = 0;
    {
      std::lock_guard<std::mutex> lock(s->mutex);
      code = writeSoftLimit(s->softLimit, x.request().payload);
      limits = s->softLimit;
      changed = s->softLimitChanged;
    }
    // The arm takes its own lock.
    if (code == 0 && changed) changed(limits);
    x.reply(code);
  });
  service.serve(Form::command, "cfg.get", locked([](State& st, P p) { return dhReply(st.dhNominal, st.dhAll, p); }));
}

Json::Value RobotFrames::baseFrame() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->baseFrame;
}

Json::Value RobotFrames::toolset() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->toolset;
}

void RobotFrames::setToolset(Json::Value toolset) { storeToolset(*state_, std::move(toolset)); }

void RobotFrames::onToolset(std::function<void(const Json::Value&)> changed) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->toolsetChanged = std::move(changed);
}

Json::Value RobotFrames::softLimit() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->softLimit;
}

void RobotFrames::setSoftLimit(Json::Value softLimit) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->softLimit = std::move(softLimit);
}

void RobotFrames::onSoftLimit(std::function<void(const Json::Value&)> changed) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->softLimitChanged = std::move(changed);
}

void RobotFrames::setDhParameters(Json::Value nominal, Json::Value all) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->dhNominal = std::move(nominal);
  state_->dhAll = std::move(all);
}

void RobotFrames::setCalibration(Json::Value data) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->calibration = std::move(data);
}

}  // namespace velmora_sim
