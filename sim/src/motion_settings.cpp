#include "velmora_sim/motion_settings.h"

#include <mutex>
#include <string>
#include <utility>

namespace velmora_sim {

struct MotionSettings::State {
  State(ControllerSystem& s, ArmState* a) : system(s), arm(a) {
    values.acc["acc"] = 1.0;
    values.acc["jerk"] = 1.0;
  }

  ControllerSystem& system;
  ArmState* arm;
  mutable std::mutex mutex;
  Values values;
};

namespace {

using P = const Json::Value&;

const Json::Value& memberOf(P value, const char* key) {
  return value.isObject() ? value[key] : Json::Value::nullSingleton();
}

bool isEnableThreshold(P value) {
  return memberOf(value, "enable").isBool() && memberOf(value, "threshold").isNumeric();
}

bool isJog(P value, bool withExt) {
  const bool jog = memberOf(value, "space").isInt() && memberOf(value, "rate").isNumeric() &&
                   memberOf(value, "step").isNumeric() && memberOf(value, "index").isUInt() &&
                   memberOf(value, "direction").isBool();
  if (!withExt) return jog;
  return jog && memberOf(value, "fixed_name").isString() && memberOf(value, "is_ext").isBool();
}

Json::Value pathCheck(P request) {
  const Json::Value& near = memberOf(memberOf(request, "point0"), "near");
  Json::Value reply(Json::objectValue);
  if (!near.isArray()) {
    reply["error"] = -1;
    reply["data"]["msg"] = "no start joints";
    return reply;
  }
  reply["error"] = 0;
  reply["data"] = near;
  return reply;
}

Json::Value avoidanceWord(P stored) {
  return Json::Value(memberOf(stored, "enable").isBool() && stored["enable"].asBool() ? "on" : "off");
}

}  // namespace

MotionSettings::MotionSettings(ControllerSystem& system, ArmState* arm)
    : state_(std::make_shared<State>(system, arm)) {}
MotionSettings::~MotionSettings() = default;

void MotionSettings::install(CommandService& service) {
  const std::shared_ptr<State> s = state_;
  // Stores the request's value in `slot` when `accept` takes it: 0, else -1.
  auto storing = [s](Json::Value Values::*slot, bool (*accept)(P)) {
    return [s, slot, accept](Exchange& x) {
      const Json::Value& value = x.request().payload;
      if (!accept(value)) {
        x.reply(-1);
        return;
      }
      std::lock_guard<std::mutex> lock(s->mutex);
      s->values.*slot = value;
      x.reply(0);
    };
  };
  auto reading = [s](Json::Value (*answer)(const Values&)) {
    return [s, answer](Exchange& x) {
      std::lock_guard<std::mutex> lock(s->mutex);
      x.reply(answer(s->values));
    };
  };
  auto flag = [](P v) { return v.isBool(); };

  // Stores like `storing`, then hands an accepted number to the arm.
  auto toArm = [s, storing](Json::Value Values::*slot, void (ArmState::*use)(double)) {
    return [s, use, store = storing(slot, [](P v) { return v.isNumeric(); })](Exchange& x) {
      store(x);
      if (s->arm && x.request().payload.isNumeric()) (s->arm->*use)(x.request().payload.asDouble());
    };
  };
  service.serve(Form::set, "move.default_speed", toArm(&Values::defaultSpeed, &ArmState::setDefaultSpeed));
  service.serve(Form::set, "move.default_zone", toArm(&Values::defaultZone, &ArmState::setDefaultZone));
  service.serve(Form::command, "move.default_conf", [s, store = storing(&Values::defaultConf, flag)](Exchange& x) {
    store(x);
    if (s->arm && x.request().payload.isBool()) s->arm->setConfForced(x.request().payload.asBool());
  });
  service.serve(Form::command, "move.ignore_zone", storing(&Values::ignoreZone, flag));
  service.serve(Form::command, "move.override_rate", toArm(&Values::overrideRate, &ArmState::setOverrideRate));
  service.serve(Form::set, "move.acc", storing(&Values::acc, [](P v) {
                  return memberOf(v, "acc").isNumeric() && memberOf(v, "jerk").isNumeric();
                }));
  service.serve(Form::get, "move.acc", reading([](const Values& v) { return v.acc; }));
  service.serve(Form::command, "move.avoid_singularity", storing(&Values::avoidSingularity, flag));
  service.serve(Form::get, "move.avoid_singularity", reading([](const Values& v) {
                  return Json::Value(v.avoidSingularity.isBool() && v.avoidSingularity.asBool());
                }));
  service.serve(Form::command, "move.avoid_sing_wrist", storing(&Values::avoidWrist, isEnableThreshold));
  service.serve(Form::get, "move.avoid_sing_wrist",
                reading([](const Values& v) { return avoidanceWord(v.avoidWrist); }));
  service.serve(Form::command, "move.avoid_sing_joint_way", storing(&Values::avoidJointWay, isEnableThreshold));
  service.serve(Form::get, "move.avoid_sing_joint_way",
                reading([](const Values& v) { return avoidanceWord(v.avoidJointWay); }));
  service.serve(Form::command, "sys.completePostureLerp",
                storing(&Values::completePostureLerp, [](P v) { return memberOf(v, "enable").isBool(); }));

  for (const bool withExt : {false, true}) {
    service.serve(Form::command, withExt ? "move.jog_with_ext" : "move.jog", [s, withExt](Exchange& x) {
      if (!isJog(x.request().payload, withExt)) {
        x.reply(-1);
        return;
      }
      {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->values.lastJog = x.request().payload;
      }
      const Json::Value& external = x.request().payload["is_ext"];
      const int refusal = s->arm && !(external.isBool() && external.asBool()) ? s->arm->jog(x.request().payload) : 0;
      // A jog the arm refuses (power off, out of reach) leaves it as it was.
      if (refusal == 0) s->system.setState("joging");
      x.reply(refusal);
    });
  }
  service.serve(Form::command, "move.stop", [s](Exchange& x) {
    if (s->system.state() == "joging") s->system.setState("idle");
    if (s->arm) s->arm->halt();
    x.reply(0);
  });
  service.serve(Form::command, "move.path.check", [](Exchange& x) { x.reply(pathCheck(x.request().payload)); });
  service.serve(Form::command, "eci.enable", [s](Exchange& x) {
    if (!memberOf(x.request().payload, "protocol_version").isString()) {
      x.reply(-1);
      return;
    }
    s->system.setState("rci");
    x.reply(0);
  });
  service.serve(Form::command, "eci.disable", [s](Exchange& x) {
    if (s->system.state() != "rci") {
      x.reply(-259);
      return;
    }
    s->system.setState("idle");
    x.reply(0);
  });
}

MotionSettings::Values MotionSettings::values() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->values;
}

}  // namespace velmora_sim
