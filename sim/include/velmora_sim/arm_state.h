#pragma once
// The simulated arm: its joints, velocities and torques, its flange pose by the simulator's own
// kinematics (the identity model, arm_kinematics.h), the motion that moves it over time
// (arm_timeline.h) and the program run parameters. The state queries, the posture, the
// kinematics requests and the state stream all read this one arm. Served keys (a test's scripts
// and handlers for a key still come first):
//
//   "sys.rt.jnt_pos"     g  [the joint positions]   (radians)
//   "sys.rt.jnt_vel"     g  [the joint velocities]  (radians per second of motion)
//   "sys.rt.jnt_trq"     g  [the joint torques]
//   "sys.posture", "sys.posture.flan_in_base"
//                        g  {"trans": [3], "rot": [3]} of the flange (metres, radians)
//   "sys.calc.fk", "sys.calc.ik", "utils.calc.all.ik"
//                        c  the identity model of the current joint count (3 to 7; -1 else)
//   "project.run_param"  g  {"override": number, "loop_mode": flag}
//   "move.pause"         c  0; the arm halts where it is and a jog ends
//   "move.continue"      c  0; the arm runs its queue
//
// The joints start at 0.1 * (i + 1) for each joint of the controller (`setJointCount`), at
// rest; the torques are a holding torque of 1.5 * (i + 1); the override is 1.0.
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
  };
  /// Queues the commands behind what the arm holds; false, with nothing queued, when they would
  /// pass `kMaxQueued`. Nothing moves before `enableMotion`.
  bool enqueue(std::vector<Command> commands);
  /// "move.continue", "move.pause" and "move.stop", "move.reset".
  void run();
  void halt();
  void clear();
  /// Starts a jog request {"space", "rate", "step", "index", "direction"} (arm_path.h).
  void jog(const Json::Value& request);
  /// The speed of commands without their own (m/s, "move.default_speed") and the online speed
  /// override ("move.override_rate", taken within 0.01 to 1); other values are ignored.
  void setDefaultSpeed(double speed);
  void setOverrideRate(double rate);

  // The arm now.
  std::vector<double> jointPositions() const;
  /// x, y, z, rx, ry, rz, elbow.
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
