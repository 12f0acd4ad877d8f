#pragma once
// The simulated arm over time: where it stands, the queue of motion commands it works through
// while it runs, a jog beside them, the time scale and the speed override. Bookkeeping only,
// on the times its owner passes in (so a test can drive it with a clock of its own); not
// thread-safe: ArmState holds it under its lock and calls the callbacks it hands back.
//
// Time scale: real seconds per second of motion (1 real time, 0.1 ten times faster); 0 or less
// ends every motion the moment it begins. The speed override divides the time of every motion
// but waits.

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "velmora_sim/arm_path.h"

namespace velmora_sim {

class ArmTimeline {
 public:
  using Clock = std::chrono::steady_clock;
  using Callback = std::function<void()>;

  struct Motion {
    arm::Path path;
    Callback started;   ///< when it begins (may be empty)
    Callback finished;  ///< when it has arrived (may be empty)
    /// Instead of moving, it ends the queue when its turn comes: it and every motion after it
    /// are dropped and the arm stops running (`started` is still called).
    bool halts = false;
    double elapsed = 0;  ///< seconds of motion done up to the anchor
    /// When its way is refused as it begins (the controller's code), or it is cut off under way
    /// (`abort`); the queue ends with it as with `halts` (may be empty).
    std::function<void(int)> failed;
  };

  /// Where the arm stands now, with velocities and accelerations per second of motion.
  struct View {
    arm::Joints q;
    arm::Joints dq;
    arm::Joints ddq;
  };

  explicit ArmTimeline(arm::Joints joints) : joints_(std::move(joints)) {}

  void setTimeScale(double scale, Clock::time_point now);
  double timeScale() const noexcept { return scale_; }
  void setOverride(double rate, Clock::time_point now);
  void setDefaultSpeed(double speed) noexcept { defaultSpeed_ = speed; }
  /// The zone of moves without their own (metres; 0, the start, stops at every target).
  void setDefaultZone(double zone) noexcept { defaultZone_ = zone; }
  /// The kinematics every motion from now on begins by (the identity model's until then).
  void setKinematics(std::shared_ptr<const arm::Kinematics> kinematics) { kinematics_ = std::move(kinematics); }
  const arm::Kinematics& kinematics() const noexcept { return *kinematics_; }
  double defaultSpeed() const noexcept { return defaultSpeed_; }

  /// Puts the arm at `joints` at once; a motion under way starts again from there.
  void place(arm::Joints joints, Clock::time_point now);
  void append(Motion motion, Clock::time_point now);
  std::size_t queued() const noexcept { return queue_.size(); }
  /// Runs the queue ("move.continue").
  void run(Clock::time_point now);
  /// Halts where the arm is, the queue kept for `run`, and ends a jog ("move.pause", "move.stop").
  void halt(Clock::time_point now);
  /// Drops the queue where the arm is ("move.reset").
  void clear(Clock::time_point now);
  /// Jogs along `path`; the queue halts, and a motion it had begun starts again from where the
  /// jog leaves the arm. A jog the kinematics refuse does not move: its code, else 0. A jog
  /// along the base's or the flange's axes goes by `kinematics` when given (the bare chain).
  int jog(arm::Path path, Clock::time_point now, const arm::Kinematics* kinematics = nullptr);
  /// Stops the arm where it is at once and drops the queue and a jog; returns the `failed`
  /// callback of the queue's first motion, bound to `code` (empty when the queue was empty).
  Callback abort(int code, Clock::time_point now);

  /// Begins and ends whatever is due by `now`, each motion ending at the time it was due, and
  /// returns the callbacks of what began and ended, in order.
  std::vector<Callback> advance(Clock::time_point now);
  /// When the motion under way is due to end; nullopt when nothing is under way.
  std::optional<Clock::time_point> deadline() const;

  View view(Clock::time_point now) const;
  /// Working through its queue.
  bool moving() const noexcept { return running_ && !queue_.empty(); }

 private:
  Motion* active();
  const Motion* active() const;
  /// The begun motion that says where the arm is, running or halted.
  const Motion* shown() const;
  double done(const Motion& motion, Clock::time_point now) const;
  double rate(const Motion& motion) const;
  /// Folds the progress so far into the active motion and moves the anchor to `now`.
  void settle(Clock::time_point now);
  arm::Joints standing(Clock::time_point now) const;
  /// Puts the way round the corner after the queue's first motion, just begun, before the next.
  void roundCorner();
  /// The queue's first motion begins again from where the arm will be; a way round a corner
  /// there is dropped, for it led from elsewhere.
  void restartFront();

  arm::Joints joints_;  // where the arm stands, or where the motion under way began
  std::deque<Motion> queue_;
  std::optional<Motion> jog_;
  bool running_ = false;
  double scale_ = 0;
  double override_ = 1;
  double defaultSpeed_ = 0.2;
  double defaultZone_ = 0;
  std::shared_ptr<const arm::Kinematics> kinematics_{std::shared_ptr<const arm::Kinematics>(),
                                                     &arm::identityKinematics()};
  Clock::time_point anchor_{};
};

}  // namespace velmora_sim
