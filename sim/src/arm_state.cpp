#include "velmora_sim/arm_state.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

#include "velmora_sim/arm_chain.h"
#include "velmora_sim/arm_frames.h"
#include "velmora_sim/arm_timeline.h"
#include "velmora_sim/model_identity.h"
#include "velmora_sim/model_requests.h"

namespace velmora_sim {

namespace {

using Clock = ArmTimeline::Clock;

std::vector<double> steps(std::size_t count, double step) {
  std::vector<double> values(count);
  for (std::size_t i = 0; i < count; ++i) values[i] = step * double(i + 1);
  return values;
}

Json::Value jsonArray(const std::vector<double>& values) {
  Json::Value array(Json::arrayValue);
  for (const double value : values) array.append(value);
  return array;
}

template <class Values>
void fill(std::array<double, 16>& slot, const Values& values) {
  std::copy_n(values.begin(), std::min<std::size_t>(values.size(), slot.size()), slot.begin());
}

constexpr int kPowerOff = -17;  // motor power state unsupported operation

Json::Value frameJson(const arm::Pose& pose) {
  Json::Value value(Json::objectValue);
  for (int i = 0; i < 3; ++i) {
    value["trans"].append(pose[i]);
    value["rot"].append(pose[i + 3]);
  }
  return value;
}

}  // namespace

struct ArmState::State : std::enable_shared_from_this<State> {
  mutable std::mutex mutex;
  ArmTimeline timeline{steps(7, 0.1)};
  std::size_t jointCount = 7;
  bool customJoints = false;
  std::vector<double> velocities;  // fixed by a test
  std::vector<double> torques;     // fixed by a test
  double speedOverride = 1.0;
  bool motion = false;
  bool confForced = false;
  const Clock::time_point born = Clock::now();
  std::shared_ptr<arm::ArmChain> chain;  // none: the identity model
  arm::Transform tool = arm::Transform::Identity();
  arm::Transform wobj = arm::Transform::Identity();
  std::function<bool()> powered;
  asio::io_context* io = nullptr;
  std::unique_ptr<asio::steady_timer> timer;  // the simulator's thread only

  // On the simulator's thread: what is due happens, the callbacks run unlocked.
  void advance() {
    std::vector<ArmTimeline::Callback> calls;
    {
      std::lock_guard<std::mutex> lock(mutex);
      calls = timeline.advance(Clock::now());
      reschedule();
    }
    for (const auto& call : calls) call();
  }

  void reschedule() {
    if (!timer) return;
    const auto due = timeline.deadline();
    if (!due) {
      timer->cancel();
      return;
    }
    timer->expires_at(*due);
    timer->async_wait([weak = weak_from_this()](const std::error_code& ec) {
      if (ec) return;
      if (const auto self = weak.lock()) self->advance();
    });
  }

  // Any thread. The motion keys' replies are written before anything the change sends.
  void kick() {
    if (!io) return;
    asio::post(*io, [weak = weak_from_this()] {
      if (const auto self = weak.lock()) self->advance();
    });
  }

  // Runs `change` on the timeline when motion is enabled, then lets it take effect.
  template <class Change>
  void moveWith(Change change) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!motion) return;
      change(Clock::now());
    }
    kick();
  }

  void place(std::vector<double> joints) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      timeline.place(std::move(joints), Clock::now());
    }
    kick();
  }

  // The chain as the tool and the work object frame it, for every motion from now on.
  void reframe() {
    if (chain) timeline.setKinematics(std::make_shared<arm::FramedChain>(chain, tool, wobj));
  }

  std::vector<double> positions() const { return timeline.view(Clock::now()).q; }
  const arm::Kinematics& bare() const {
    return chain ? static_cast<const arm::Kinematics&>(*chain) : arm::identityKinematics();
  }
  arm::Pose flange(const std::vector<double>& joints) const { return bare().forward(joints); }
  // The tool's end in the work object.
  arm::Pose end(const std::vector<double>& joints) const { return timeline.kinematics().forward(joints); }
  std::vector<double> jointVelocities(const ArmTimeline::View& view) const {
    return velocities.empty() ? view.dq : velocities;
  }
  std::vector<double> jointTorques(std::size_t joints) const { return torques.empty() ? steps(joints, 1.5) : torques; }
};

ArmState::ArmState() : state_(std::make_shared<State>()) {}
ArmState::~ArmState() = default;

void ArmState::install(CommandService& service, asio::io_context& io) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->io = &io;
    state_->timer = std::make_unique<asio::steady_timer>(io);
  }
  // The handlers hold the state weakly: the service may outlive it.
  const std::weak_ptr<State> weak = state_;
  auto reading = [weak](Json::Value (*answer)(const State&, const Json::Value&)) {
    return [weak, answer](Exchange& x) {
      const auto s = weak.lock();
      if (!s) return x.reply(-1);
      std::lock_guard<std::mutex> lock(s->mutex);
      x.reply(answer(*s, x.request().payload));
    };
  };
  using P = const Json::Value&;
  service.serve(Form::get, "sys.rt.jnt_pos", reading([](const State& s, P) { return jsonArray(s.positions()); }));
  service.serve(Form::get, "sys.rt.jnt_vel",
                reading([](const State& s, P) { return jsonArray(s.jointVelocities(s.timeline.view(Clock::now()))); }));
  service.serve(Form::get, "sys.rt.jnt_trq",
                reading([](const State& s, P) { return jsonArray(s.jointTorques(s.positions().size())); }));
  service.serve(Form::get, "sys.posture.flan_in_base",
                reading([](const State& s, P) { return frameJson(s.flange(s.positions())); }));
  service.serve(Form::get, "sys.posture", reading([](const State& s, P) { return frameJson(s.end(s.positions())); }));
  const struct {
    const char* key;
    Json::Value (IdentityModel::*answer)(const Json::Value&) const;
  } kinematics[] = {{"sys.calc.fk", &IdentityModel::forward},
                    {"sys.calc.ik", &IdentityModel::inverse},
                    {"utils.calc.all.ik", &IdentityModel::allInverse}};
  for (const auto& k : kinematics) {
    auto answer = k.answer;
    service.serve(Form::command, k.key, [weak, answer](Exchange& x) {
      const auto s = weak.lock();
      int joints = 0;
      std::shared_ptr<const arm::ArmChain> chain;
      std::vector<double> seed;
      if (s) {
        std::lock_guard<std::mutex> lock(s->mutex);
        joints = static_cast<int>(s->jointCount);
        chain = s->chain;
        seed = s->positions();
      }
      if (chain) {
        const ChainModel model(chain);
        const Json::Value& request = x.request().payload;
        if (answer == &IdentityModel::forward) return x.reply(model.forward(request));
        if (answer == &IdentityModel::inverse) return x.reply(model.inverse(request, seed));
        return x.reply(model.allInverse(request, seed));
      }
      if (joints < 3 || joints > 7) return x.reply(-1);
      x.reply((IdentityModel(joints).*answer)(x.request().payload));
    });
  }
  service.serve(Form::get, "project.run_param", reading([](const State& s, P) {
                  Json::Value reply(Json::objectValue);
                  reply["override"] = s.speedOverride;
                  reply["loop_mode"] = false;
                  return reply;
                }));
  service.serve(Form::command, "move.pause", [weak](Exchange& x) {
    if (const auto s = weak.lock()) s->moveWith([s](Clock::time_point now) { s->timeline.halt(now); });
    x.reply(0);
  });
  service.serve(Form::command, "move.continue", [weak](Exchange& x) {
    if (const auto s = weak.lock()) s->moveWith([s](Clock::time_point now) { s->timeline.run(now); });
    x.reply(0);
  });
}

void ArmState::setJointCount(int count) {
  const std::size_t joints = static_cast<std::size_t>(std::max(count, 0));
  std::vector<double> placed;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->jointCount = joints;
    if (state_->customJoints) return;
    placed = state_->positions();
    if (placed.size() == joints) return;
    const std::vector<double> defaults = steps(joints, 0.1);
    const std::size_t kept = std::min(placed.size(), joints);
    placed.resize(joints);
    std::copy(defaults.begin() + static_cast<std::ptrdiff_t>(kept), defaults.end(),
              placed.begin() + static_cast<std::ptrdiff_t>(kept));
  }
  state_->place(std::move(placed));
}

void ArmState::setModel(const arm::ArmModel& model) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->chain = std::make_shared<arm::ArmChain>(model);
    state_->reframe();
    state_->jointCount = model.joints();
    state_->customJoints = true;
  }
  state_->place(model.home);
}

void ArmState::linkPower(std::function<bool()> powered) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->powered = std::move(powered);
}

void ArmState::setFrames(const Json::Value& toolset) {
  const arm::Transform tool = frameOf(toolset.isObject() ? toolset["end"] : Json::Value());
  const arm::Transform wobj = frameOf(toolset.isObject() ? toolset["ref"] : Json::Value());
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->tool = tool;
  state_->wobj = wobj;
  state_->reframe();
}

void ArmState::powerOff() {
  ArmTimeline::Callback failed;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->chain) return;
    failed = state_->timeline.abort(kPowerOff, Clock::now());
  }
  state_->kick();
  if (failed) failed();
}

void ArmState::setSoftLimits(bool enable, const std::vector<double>& lower, const std::vector<double>& upper) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->chain) return;
  // A copy: a motion solved by the old limits keeps them to its end.
  auto chain = std::make_shared<arm::ArmChain>(state_->chain->model());
  if (enable) chain->setSoftLimits(lower, upper);
  state_->chain = std::move(chain);
  state_->reframe();
}

int ArmState::admit(const std::string& key, const Json::Value& body) const {
  std::function<bool()> powered;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->chain) return 0;
    powered = state_->powered;
  }
  if (powered && !powered()) return kPowerOff;
  std::lock_guard<std::mutex> lock(state_->mutex);
  const arm::ArmChain& chain = *state_->chain;
  const std::vector<double> now = state_->positions();
  if (key == "move.j") {
    const Json::Value& point = body.isObject() ? body["point"] : Json::Value::nullSingleton();
    std::vector<double> target = now;
    for (Json::ArrayIndex i = 0; point.isArray() && i < point.size() && i < target.size(); ++i) {
      if (point[i].isNumeric()) target[i] = point[i].asDouble();
    }
    return chain.admits(target);
  }
  if (key == "move.wait" || key == "move.replay" || !body.isObject()) return 0;
  for (const char* member : {"point", "aux"}) {
    const auto pose = arm::poseFromJson(body[member]);
    // Only a joint move goes to the solution its target's configuration names.
    const arm::Conf conf = key == "move.jc" ? arm::confFromJson(body[member]) : arm::Conf();
    std::vector<double> q;
    if (pose) {
      if (const int refusal = state_->timeline.kinematics().inverseIn(*pose, now, conf, q); refusal != 0) {
        return refusal;
      }
    }
  }
  return 0;
}

void ArmState::setJointPositions(std::vector<double> values) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->customJoints = !values.empty();
    if (values.empty()) values = steps(state_->jointCount, 0.1);
  }
  state_->place(std::move(values));
}

void ArmState::setJointVelocities(std::vector<double> values) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->velocities = std::move(values);
}

void ArmState::setJointTorques(std::vector<double> values) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->torques = std::move(values);
}

void ArmState::setSpeedOverride(double value) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->speedOverride = value;
}

void ArmState::setTimeScale(double scale) {
  if (!(scale > 0)) scale = 0;  // also NaN
  scale = std::min(scale, 1000.0);
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->timeline.setTimeScale(scale, Clock::now());
  }
  state_->kick();
}

double ArmState::timeScale() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->timeline.timeScale();
}

void ArmState::enableMotion() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->motion = true;
}

bool ArmState::enqueue(std::vector<Command> commands) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->motion) return true;
    if (state_->timeline.queued() + commands.size() > kMaxQueued) return false;
    const auto now = Clock::now();
    for (auto& c : commands) {
      state_->timeline.append({arm::Path::command(c.key, c.body, state_->confForced), std::move(c.started),
                               std::move(c.finished), c.halts, 0, std::move(c.failed)},
                              now);
    }
  }
  state_->kick();
  return true;
}

void ArmState::run() {
  state_->moveWith([s = state_.get()](Clock::time_point now) { s->timeline.run(now); });
}

void ArmState::halt() {
  state_->moveWith([s = state_.get()](Clock::time_point now) { s->timeline.halt(now); });
}

void ArmState::clear() {
  state_->moveWith([s = state_.get()](Clock::time_point now) { s->timeline.clear(now); });
}

int ArmState::jog(const Json::Value& request) {
  std::function<bool()> powered;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->chain) powered = state_->powered;
  }
  if (powered && !powered()) return kPowerOff;
  int refusal = 0;
  state_->moveWith([s = state_.get(), &request, &refusal](Clock::time_point now) {
    // Only the tool (3) and work-object (4) spaces move the tool's end in its work object; the
    // others move the flange in the base.
    const Json::Value& space = request.isObject() ? request["space"] : Json::Value::nullSingleton();
    const bool framed = space.isInt() && (space.asInt() == 3 || space.asInt() == 4);
    refusal = s->timeline.jog(arm::Path::jog(request), now, framed ? nullptr : &s->bare());
  });
  return refusal;
}

void ArmState::setDefaultSpeed(double speed) {
  if (!(speed > 0) || !std::isfinite(speed)) return;
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->timeline.setDefaultSpeed(speed);
}

void ArmState::setDefaultZone(double zone) {
  if (!std::isfinite(zone)) return;
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->timeline.setDefaultZone(std::max(zone, 0.0));
}

void ArmState::setConfForced(bool forced) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->confForced = forced;
}

void ArmState::setOverrideRate(double rate) {
  if (!(rate > 0) || !std::isfinite(rate)) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->timeline.setOverride(std::clamp(rate, 0.01, 1.0), Clock::now());
  }
  state_->kick();
}

std::vector<double> ArmState::jointPositions() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->positions();
}

std::array<double, 7> ArmState::flangePose() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->flange(state_->positions());
}

void ArmState::setFlangePose(const std::array<double, 6>& pose) {
  std::vector<double> joints;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    joints = state_->positions();
    const arm::Pose now = state_->flange(joints);
    std::vector<double> solved;
    // A pose the arm cannot take leaves it where it is.
    if (state_->bare().inverse({pose[0], pose[1], pose[2], pose[3], pose[4], pose[5], now[6]}, joints, solved) != 0) {
      return;
    }
    joints = std::move(solved);
  }
  state_->place(std::move(joints));
}

bool ArmState::moving() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->timeline.moving();
}

void ArmState::sample(velmora::sim::StateSample& out) const {
  using Slot = velmora::sim::StateSample;
  const auto now = Clock::now();
  std::lock_guard<std::mutex> lock(state_->mutex);
  const ArmTimeline::View view = state_->timeline.view(now);
  const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(now - state_->born);
  out.ts = static_cast<std::uint64_t>(since.count()) + 1;
  const std::vector<double> velocities = state_->jointVelocities(view);
  const arm::Pose pose = state_->end(view.q);
  arm::Pose poseVelocity = arm::poseOf(velocities);
  arm::Pose poseAcceleration = arm::poseOf(view.ddq);
  if (state_->chain) {
    // Differences of the pose a short time either side, along the joints' motion.
    const double h = 1e-3;
    std::vector<double> ahead = view.q;
    std::vector<double> behind = view.q;
    for (std::size_t i = 0; i < ahead.size() && i < velocities.size() && i < view.ddq.size(); ++i) {
      ahead[i] += velocities[i] * h + view.ddq[i] * h * h / 2;
      behind[i] += -velocities[i] * h + view.ddq[i] * h * h / 2;
    }
    const arm::Pose a = state_->end(ahead);
    const arm::Pose b = state_->end(behind);
    for (std::size_t i = 0; i < arm::kPoseSlots; ++i) {
      const double forward = i >= 3 && i < 6 ? std::remainder(a[i] - pose[i], 2 * 3.141592653589793) : a[i] - pose[i];
      const double back = i >= 3 && i < 6 ? std::remainder(pose[i] - b[i], 2 * 3.141592653589793) : pose[i] - b[i];
      poseVelocity[i] = (forward + back) / (2 * h);
      poseAcceleration[i] = (forward - back) / (h * h);
    }
  }
  fill(out.values[Slot::joints], view.q);
  fill(out.values[Slot::jointVelocities], velocities);
  fill(out.values[Slot::jointAccelerations], view.ddq);
  fill(out.values[Slot::jointTorques], state_->jointTorques(view.q.size()));
  fill(out.values[Slot::pose], arm::matrixOf(pose));
  std::copy_n(pose.begin(), 6, out.values[Slot::poseAbc].begin());
  std::copy_n(poseVelocity.begin(), 6, out.values[Slot::poseVelocity].begin());
  std::copy_n(poseAcceleration.begin(), 6, out.values[Slot::poseAcceleration].begin());
  out.values[Slot::elbow][0] = pose[6];
}

}  // namespace velmora_sim
