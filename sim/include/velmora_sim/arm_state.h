#pragma once
// The simulated arm: its joints, velocities and torques, its flange pose by the simulator's own
// kinematics (the identity model, arm_kinematics.h, until `setModel` makes it one of the arm
// models, arm_model.h), the motion that moves it over time (arm_timeline.h) and the program run
// parameters. The state queries, the posture, the
// kinematics requests and the state stream all read this one arm. Served keys (a test's scripts
// and handlers for a key still come first):
//
//   "sys.rt.jnt_pos"     g  [the joint positions]   (radians)
//   "sys.rt.jnt_vel"     g  [the joint velocities]  (radians per second of motion)
//   "sys.rt.jnt_trq"     g  [the joint torques]
//   "sys.posture", "sys.posture.flan_in_base"
//                        g  {"trans": [3], "rot": [3]} of the flange (metres, radians)
//   "sys.calc.fk", "sys.calc.ik", "utils.calc.all.ik"
//                        c  the identity model of the current joint count (3 to 7; -1 else),
//                           or the arm model's (model_requests.h)
//   "project.run_param"  g  {"override": number, "loop_mode": flag}
//   "move.pause"         c  0; the arm halts where it is and a jog ends
//   "move.continue"      c  0; the arm runs its queue
//
// The joints start at 0.1 * (i + 1) for each joint of the controller (`setJointCount`), at
// rest, or at the arm model's home; the torques are a holding torque of 1.5 * (i + 1); the
// override is 1.0.
//
// As an arm model, Cartesian targets, "sys.posture" and the stream's poses are the tool's end in
// its work object by the tool set `setFrames` gives (arm_frames.h), "sys.posture.flan_in_base"
// the flange.
// Motion is refused with -17 ("motor power state unsupported operation") while the power
// `linkPower` reads is off, and `powerOff` stops the arm at once; targets past the limits (and
// the soft limits, `setSoftLimits`) or out of reach are refused with the controller's code
// (arm_chain.h), when the request comes (`admit`) and when the motion begins.
//
// The arm moves only once motion is enabled (`enableMotion`, which MotionResponder::followArm
// calls): queued and immediate motion commands (`enqueue`), jogs, pause, continue and reset then
// move it over time. Until then every motion request is answered and the arm stays where it is.
// Accessors may be called from any thread.

#include <asio/io_context.hpp>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "velmora_sim/arm_model.h"
#include "velmora_sim/command_service.h"
#include "velmora_sim/state_layout.h"

namespace velmora_sim {

class ArmState {
 public:
  /// Most motion commands the arm holds; a request that would pass it is refused.
  static constexpr std::size_t kMaxQueued = 10000;

  ArmState();
  ~ArmState();
  ArmState(const ArmState&) = delete;
  ArmState& operator=(const ArmState&) = delete;

  /// Serves the keys above on `service`; the arm's motion runs on `io`, the service's context.
  void install(CommandService& service, asio::io_context& io);

  /// The controller's joint count; joints the arm did not have start at their defaults.
  void setJointCount(int count);
  /// Makes the arm `model`: its joint count and kinematics, standing at its home.
  void setModel(const arm::ArmModel& model);
  /// The power state motion needs. Any thread; called without the arm's lock.
  void linkPower(std::function<bool()> powered);
  /// The active tool set ({"end", "ref", ...}): motion from now on and what the arm reports take
  /// its tool and work object.
  void setFrames(const Json::Value& toolset);
  /// The power went off: the arm stops where it is and the motion under way fails with -17.
  void powerOff();
  /// The soft limits, when `enable`, narrow the arm model's limits; else they are its own.
  void setSoftLimits(bool enable, const std::vector<double>& lower, const std::vector<double>& upper);
  /// Whether the motion command `key` with `body` may be queued now: 0, or the refusal code
  /// (power, joint limits, a target out of reach from the joints now). Always 0 without a model.
  int admit(const std::string& key, const Json::Value& body) const;
  /// Fixed values (any length) instead of the defaults; an empty vector restores them. Joint
  /// positions put the arm there at once (a motion under way starts again from there).
  void setJointPositions(std::vector<double> values);
  void setJointVelocities(std::vector<double> values);
  void setJointTorques(std::vector<double> values);
  void setSpeedOverride(double value);

  /// Real seconds per second of motion: 1 real time, 0.1 ten times faster, 0 (the default) ends
  /// every motion as it begins. Negative or non-finite values count as 0; at most 1000.
  void setTimeScale(double scale);
  double timeScale() const;
  /// From now on motion requests move the arm.
  void enableMotion();

  /// One motion command as a request carried it: `key` ("move.l", ...) and the command's own
  /// body. `started` and `finished` run on the simulator's thread without the arm's lock when
  /// the command's motion begins and when it has arrived; a command that `halts` drops the queue
  /// instead of moving when its turn comes (see ArmTimeline).
  struct Command {
    std::string key;
    Json::Value body;
    std::function<void()> started;
    std::function<void()> finished;
    bool halts = false;
    /// The motion failed with the controller's code, as it began or under way (may be empty).
    std::function<void(int)> failed;
  };
  /// Queues the commands behind what the arm holds; false, with nothing queued, when they would
  /// pass `kMaxQueued`. Nothing moves before `enableMotion`.
  bool enqueue(std::vector<Command> commands);
  /// "move.continue", "move.pause" and "move.stop", "move.reset".
  void run();
  void halt();
  void clear();
  /// Starts a jog request {"space", "rate", "step", "index", "direction"} (arm_path.h): 0, or
  /// the refusal that leaves the arm where it is.
  int jog(const Json::Value& request);
  /// The speed of commands without their own (m/s, "move.default_speed") and the online speed
  /// override ("move.override_rate", taken within 0.01 to 1); other values are ignored.
  void setDefaultSpeed(double speed);
  void setOverrideRate(double rate);
  /// The zone of commands without their own (m, "move.default_zone"); a negative one is 0.
  void setDefaultZone(double zone);
  /// Whether Cartesian ways requested from now on must end in their target's configuration
  /// ("move.default_conf", arm_path.h).
  void setConfForced(bool forced);

  // The arm now.
  std::vector<double> jointPositions() const;
  /// x, y, z, rx, ry, rz, elbow of the flange in the base.
  std::array<double, 7> flangePose() const;
  /// Puts the flange at x, y, z, rx, ry, rz at once (the elbow stays).
  void setFlangePose(const std::array<double, 6>& pose);
  /// Working through queued motion.
  bool moving() const;
  /// Fills a state stream sample (state_layout.h); `ts` counts real milliseconds since the arm
  /// was made, from 1.
  void sample(velmora::sim::StateSample& out) const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
