#include "velmora_sim/arm_timeline.h"

#include <algorithm>

namespace velmora_sim {

namespace {

double seconds(ArmTimeline::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

ArmTimeline::Clock::duration after(double seconds) {
  return std::chrono::duration_cast<ArmTimeline::Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

ArmTimeline::Motion* ArmTimeline::active() {
  if (jog_) return &*jog_;
  return running_ && !queue_.empty() ? &queue_.front() : nullptr;
}

const ArmTimeline::Motion* ArmTimeline::active() const { return const_cast<ArmTimeline*>(this)->active(); }

const ArmTimeline::Motion* ArmTimeline::shown() const {
  if (jog_ && jog_->path.begun()) return &*jog_;
  if (!queue_.empty() && queue_.front().path.begun()) return &queue_.front();
  return nullptr;
}

double ArmTimeline::rate(const Motion& motion) const { return motion.path.followsOverride() ? override_ : 1.0; }

double ArmTimeline::done(const Motion& motion, Clock::time_point now) const {
  if (!motion.path.begun()) return 0;
  if (&motion != active()) return motion.elapsed;
  if (scale_ <= 0) return motion.path.duration();
  const double real = std::max(seconds(now - anchor_), 0.0);
  return std::min(motion.path.duration(), motion.elapsed + real / scale_ * rate(motion));
}

void ArmTimeline::settle(Clock::time_point now) {
  if (Motion* motion = active(); motion && motion->path.begun()) motion->elapsed = done(*motion, now);
  anchor_ = now;
}

arm::Joints ArmTimeline::standing(Clock::time_point now) const {
  const Motion* motion = shown();
  if (!motion) return joints_;
  const double duration = motion->path.duration();
  return motion->path.at(duration > 0 ? done(*motion, now) / duration : 1.0);
}

void ArmTimeline::setTimeScale(double scale, Clock::time_point now) {
  settle(now);
  scale_ = scale;
}

void ArmTimeline::setOverride(double rate, Clock::time_point now) {
  settle(now);
  override_ = rate;
}

void ArmTimeline::place(arm::Joints joints, Clock::time_point now) {
  settle(now);
  joints_ = std::move(joints);
  jog_.reset();
  restartFront();
}

void ArmTimeline::restartFront() {
  if (!queue_.empty() && queue_.front().path.roundsCorner()) queue_.pop_front();
  if (queue_.empty()) return;
  queue_.front().path.restart();
  queue_.front().elapsed = 0;
}

void ArmTimeline::append(Motion motion, Clock::time_point now) {
  // An idle arm begins the new motion from now, not from when it last stopped.
  settle(now);
  queue_.push_back(std::move(motion));
}

void ArmTimeline::run(Clock::time_point now) {
  settle(now);
  running_ = true;
}

void ArmTimeline::halt(Clock::time_point now) {
  settle(now);
  if (jog_) {
    joints_ = standing(now);
    jog_.reset();
  }
  running_ = false;
}

void ArmTimeline::clear(Clock::time_point now) {
  settle(now);
  const arm::Joints here = standing(now);
  queue_.clear();
  running_ = false;
  if (!jog_) joints_ = here;
}

int ArmTimeline::jog(arm::Path path, Clock::time_point now, const arm::Kinematics* kinematics) {
  settle(now);
  joints_ = standing(now);
  path.begin(joints_, defaultSpeed_, kinematics ? *kinematics : *kinematics_);
  if (path.refusal() != 0) return path.refusal();
  restartFront();
  running_ = false;
  jog_ = Motion{std::move(path), {}, {}, false, 0, {}};
  return 0;
}

ArmTimeline::Callback ArmTimeline::abort(int code, Clock::time_point now) {
  settle(now);
  const arm::Joints here = standing(now);
  Callback failed;
  // The queue's first command is the one the controller reports, under way or paused.
  // A way round a corner reports nothing: the line after it is the one cut off.
  const auto reported =
      std::find_if(queue_.begin(), queue_.end(), [](const Motion& m) { return !m.path.roundsCorner(); });
  const Motion* motion = reported == queue_.end() ? nullptr : &*reported;
  if (motion && motion->failed) failed = [f = motion->failed, code] { f(code); };
  jog_.reset();
  queue_.clear();
  running_ = false;
  joints_ = here;
  return failed;
}

std::vector<ArmTimeline::Callback> ArmTimeline::advance(Clock::time_point now) {
  std::vector<Callback> calls;
  while (Motion* motion = active()) {
    if (!motion->path.begun()) {
      if (motion->halts) {
        if (motion->started) calls.push_back(std::move(motion->started));
        queue_.clear();
        running_ = false;
        break;
      }
      motion->path.begin(joints_, defaultSpeed_, *kinematics_);
      motion->elapsed = 0;
      if (const int refusal = motion->path.refusal(); refusal != 0) {
        if (motion->failed) calls.push_back([f = std::move(motion->failed), refusal] { f(refusal); });
        jog_.reset();
        queue_.clear();
        running_ = false;
        break;
      }
      if (motion->started) calls.push_back(motion->started);
      if (!jog_ || motion != &*jog_) {
        roundCorner();
        motion = active();  // the insertion moved the queue's elements
      }
    }
    // Due by the deadline the owner's timer was set to, whatever the rounding of the progress.
    const Clock::time_point due = *deadline();
    if (now < due && done(*motion, now) < motion->path.duration()) break;
    const Clock::time_point end = scale_ > 0 ? due : now;
    joints_ = motion->path.at(1);
    if (motion->finished) calls.push_back(std::move(motion->finished));
    if (jog_ && motion == &*jog_) {
      jog_.reset();
    } else {
      queue_.pop_front();
    }
    // The next motion begins when this one ended, not when the owner came round to it.
    anchor_ = std::min(end, now);
  }
  return calls;
}

void ArmTimeline::roundCorner() {
  // A line begun again (after a jog or a placement) finds its corner afresh.
  if (queue_.size() > 1 && queue_[1].path.roundsCorner()) queue_.erase(queue_.begin() + 1);
  if (queue_.size() < 2 || queue_[1].halts) return;
  std::optional<arm::Path> curve =
      queue_.front().path.roundCorner(queue_[1].path, defaultSpeed_, defaultZone_, *kinematics_);
  if (!curve) return;
  Motion round;
  round.path = std::move(*curve);
  queue_.insert(queue_.begin() + 1, std::move(round));
}

std::optional<ArmTimeline::Clock::time_point> ArmTimeline::deadline() const {
  const Motion* motion = active();
  if (!motion) return std::nullopt;
  if (!motion->path.begun() || scale_ <= 0) return anchor_;
  const double left = std::max(motion->path.duration() - motion->elapsed, 0.0);
  return anchor_ + after(left * scale_ / rate(*motion));
}

ArmTimeline::View ArmTimeline::view(Clock::time_point now) const {
  View view;
  const Motion* motion = shown();
  view.q = standing(now);
  view.dq.assign(view.q.size(), 0.0);
  view.ddq.assign(view.q.size(), 0.0);
  if (!motion || motion != active() || scale_ <= 0) return view;
  const double duration = motion->path.duration();
  const double s = duration > 0 ? done(*motion, now) / duration : 1.0;
  if (s >= 1) return view;
  // Differences along the path, turned into rates per second of motion.
  const double perSecond = rate(*motion) / duration;
  const double h = 1e-4;
  const double lo = std::max(s - h, 0.0);
  const double hi = std::min(s + h, 1.0);
  const arm::Joints before = motion->path.at(lo);
  const arm::Joints next = motion->path.at(hi);
  for (std::size_t i = 0; i < view.q.size() && i < before.size() && i < next.size(); ++i) {
    view.dq[i] = (next[i] - before[i]) / (hi - lo) * perSecond;
    if (s - h >= 0 && s + h <= 1) view.ddq[i] = (next[i] - 2 * view.q[i] + before[i]) / (h * h) * perSecond * perSecond;
  }
  return view;
}

}  // namespace velmora_sim
