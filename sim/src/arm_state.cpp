#include "velmora_sim/arm_state.h"

#include <mutex>
#include <utility>

namespace velmora_sim {

struct ArmState::State {
  std::mutex mutex;
  std::vector<double> positions;
  std::vector<double> velocities;
  std::vector<double> torques;
  double speedOverride = 1.0;
};

namespace {

Json::Value jointArray(const std::vector<double>& fixed, int joints, double step) {
  Json::Value values(Json::arrayValue);
  if (!fixed.empty()) {
    for (const double value : fixed) values.append(value);
    return values;
  }
  for (int i = 0; i < joints; ++i) values.append(step * (i + 1));
  return values;
}

}  // namespace

ArmState::ArmState() : state_(std::make_shared<State>()) {}
ArmState::~ArmState() = default;

void ArmState::install(CommandService& service, std::function<int()> jointCount) {
  // The handlers hold the state, not this object: the service may outlive it.
  const std::shared_ptr<State> s = state_;
  auto joints = [s, jointCount](std::vector<double> State::*member, double step) {
    return [s, jointCount, member, step](Exchange& x) {
      const int count = jointCount ? jointCount() : 7;
      std::lock_guard<std::mutex> lock(s->mutex);
      x.reply(jointArray((*s).*member, count, step));
    };
  };
  service.serve(Form::get, "sys.rt.jnt_pos", joints(&State::positions, 0.1));
  service.serve(Form::get, "sys.rt.jnt_vel", joints(&State::velocities, 0.01));
  service.serve(Form::get, "sys.rt.jnt_trq", joints(&State::torques, 1.5));
  service.serve(Form::get, "project.run_param", [s](Exchange& x) {
    Json::Value reply(Json::objectValue);
    {
      std::lock_guard<std::mutex> lock(s->mutex);
      reply["override"] = s->speedOverride;
    }
    reply["loop_mode"] = false;
    x.reply(std::move(reply));
  });
}

void ArmState::setJointPositions(std::vector<double> values) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->positions = std::move(values);
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

}  // namespace velmora_sim
