#pragma once
// The controller simulator: its services on one loopback address, all served by one thread,
// plus the state stream (its own thread) and the real-time port.
//
// Keys it answers as a controller would (a test's scripts and handlers for them come first):
//   "ix.sdk.transferInit" (c)  checks the announcement, arms the file service for "len" bytes
//                              and replies 0; the file service answers {"f":"success"} when the
//                              bytes' MD5 equals the announced "md5", else {"f":"error"}. A
//                              malformed announcement is refused with -1 and arms nothing.
//   "eci.fields.out" (s), "eci.port" (g, s), "eci.pub.start" (c), "eci.pub.stop" (c)
//                              drive the state stream (see state_commands.h).
//   "eci.ip" (s)               replies 0; an IP address text becomes the client's address for
//                              the stream, which otherwise goes to the command connection's peer.
//   "sys.info" (g)             the controller's identity (`ControllerInfo`, see `setInfo`).
//   power, modes, state, NTP, the controller log (`system()`, see controller_system.h);
//                              "sys.mode.switch" (c) sets the mode.
//   tools, work objects, registers, reboot, board type, external axes, rail (`robotConfig()`,
//                              see robot_config.h).
//   base frame, tool set, calibration, soft limits, DH parameters (`frames()`, see
//                              robot_frames.h).
//   a collaborative arm's extras and its tool-end board (`cobot()`, `board()`, see
//                              cobot_extras.h and flangebox_board.h).
//   queued motion and its reports (`motion()`, motion_responder.h); motion settings,
//                              jogging, path checks, "eci.enable"/"eci.disable"
//                              (`motionSettings()`, motion_settings.h).
//   I/O signals, registers (`ioBoard()`, controller_io.h).
//   the simulated arm (`arm()`, arm_state.h): joints, posture, kinematics, the motion that moves
//                              it once `motion().followArm()` was called; the state stream's
//                              values are the arm's.
//   RL projects, imports and project files (`projects()`, see project_store.h); path
//                              recording (`paths()`, see path_recorder.h).

#include <asio/io_context.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "velmora_sim/arm_state.h"
#include "velmora_sim/cobot_extras.h"
#include "velmora_sim/command_service.h"
#include "velmora_sim/controller_io.h"
#include "velmora_sim/controller_system.h"
#include "velmora_sim/file_service.h"
#include "velmora_sim/flangebox_board.h"
#include "velmora_sim/motion_responder.h"
#include "velmora_sim/motion_settings.h"
#include "velmora_sim/path_recorder.h"
#include "velmora_sim/project_store.h"
#include "velmora_sim/robot_config.h"
#include "velmora_sim/robot_frames.h"
#include "velmora_sim/state_publisher.h"
#include "velmora_sim/state_rt_port.h"
#include "velmora_sim/upgrade_service.h"

namespace velmora_sim {

struct SimulatorOptions {
  std::string address = "127.0.0.1";
  std::uint16_t commandPort = 6666;  ///< 0 picks a free port
  std::uint16_t filePort = 7777;     ///< 0 picks a free port
  bool upgradeService = false;       ///< also serve the upgrade service
  std::uint16_t upgradePort = 4567;  ///< 0 picks a free port
  std::uint16_t rtPort = 1337;       ///< the real-time port "eci.port" names; 0 picks a free port
  /// Where the state stream goes until the client names its own port ("broadcast_in").
  std::uint16_t broadcastPort = 1338;
  /// When positive, the stream runs at this interval whatever "eci.pub.start" asks: the only
  /// way to a sub-millisecond stream.
  std::chrono::nanoseconds streamInterval{0};
  /// The arm's time scale (ArmState::setTimeScale): 0, every motion at once, for tests; the
  /// program's default is 1, real time.
  double timeScale = 0;
  /// Motion moves the arm and is reported as it ends from the first request on
  /// (MotionResponder::followArm), as the program does.
  bool followArm = false;
  /// The robot class whose arm the simulator is (arm_model.h: "OstraRobot", ...): "sys.info",
  /// the joint fields, the DH parameters, soft limits and kinematics are that arm's, motion
  /// needs the power on and keeps to the limits. Empty: the 7-joint identity model, which
  /// answers every motion and kinematics request for checking a client's wire. An unknown
  /// name throws `std::invalid_argument`.
  std::string arm;
};

/// The simulated controller's identity, as "sys.info" gives it: {"id", "joint_num", "mac",
/// "type", "version", "work_type"}.
struct ControllerInfo {
  std::string id = "VELSIM0000000001";
  std::string mac = "02:00:00:00:00:01";
  std::string version = "3.1.0";
  std::string type = "Sim-C7";
  int jointCount = 7;
  std::string workType = "cobot";  ///< "cobot" or "industrial"; empty leaves the member out
};

class Simulator {
 public:
  /// Binds every service (SO_REUSEADDR) and starts serving; throws `std::system_error` when an
  /// address cannot be bound.
  explicit Simulator(SimulatorOptions options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& address() const noexcept { return options_.address; }
  CommandService& command() noexcept { return *command_; }
  FileService& file() noexcept { return *file_; }
  /// Throws `std::logic_error` unless the options asked for the upgrade service.
  UpgradeService& upgrade();
  velmora::sim::StatePublisher& state() noexcept { return *state_; }
  velmora::sim::RtPortListener& rtPort() noexcept { return *rtPort_; }
  /// The system state behind power, modes, operation state, posture and the controller log.
  ControllerSystem& system() noexcept { return system_; }
  /// The configuration tables behind the tool, register, reboot, board, axis and rail keys.
  RobotConfig& robotConfig() noexcept { return robotConfig_; }
  /// The base frame, tool set, soft limits, DH parameters and calibration answers.
  RobotFrames& frames() noexcept { return frames_; }
  /// Drag, collision detection, force sensor, keypad and the tool-end board's settings.
  CobotExtras& cobot() noexcept { return cobot_; }
  /// The tool-end board's RS485 slave and CAN bus (its type is `robotConfig()`'s).
  FlangeboxBoard& board() noexcept { return board_; }
  /// Queued motion requests and their reports, on demand until told otherwise; motion
  /// settings, jogging, path checks and the real-time switch.
  MotionResponder& motion() noexcept { return *motion_; }
  MotionSettings& motionSettings() noexcept { return *motionSettings_; }
  /// I/O signals and registers (controller_io.h); the arm and the run parameters (arm_state.h).
  ControllerIo& ioBoard() noexcept { return ioBoard_; }
  ArmState& arm() noexcept { return arm_; }
  ProjectStore& projects() noexcept { return projects_; }
  PathRecorder& paths() noexcept { return paths_; }

  /// Replaces what "sys.info" answers from the next request on, and sizes the state stream's
  /// joint fields and the arm by its joint count (the stream's fields are cleared). Any thread.
  void setInfo(ControllerInfo info);
  ControllerInfo info() const;

  /// The context every service runs on, for services added beside these.
  asio::io_context& io() noexcept { return io_; }
  /// Runs `fn` on the simulator's thread and waits for it (inline when already there).
  void run(const std::function<void()>& fn);

  /// Closes every service and ends the threads. Idempotent.
  void stop();

 private:
  void serveControllerKeys();
  /// Makes the simulator the arm `options_.arm` names.
  void becomeArm();

  SimulatorOptions options_;
  asio::io_context io_;
  std::unique_ptr<CommandService> command_;
  std::unique_ptr<FileService> file_;
  std::unique_ptr<UpgradeService> upgrade_;
  ControllerSystem system_;
  RobotConfig robotConfig_;
  RobotFrames frames_;
  CobotExtras cobot_;
  FlangeboxBoard board_;
  std::unique_ptr<MotionResponder> motion_;
  std::unique_ptr<MotionSettings> motionSettings_;
  ControllerIo ioBoard_;
  ArmState arm_;
  ProjectStore projects_;
  PathRecorder paths_;
  std::unique_ptr<velmora::sim::StatePublisher> state_;
  std::unique_ptr<velmora::sim::RtPortListener> rtPort_;
  std::string clientIp_;  // simulator thread only
  mutable std::mutex infoMutex_;
  ControllerInfo info_;
  std::thread thread_;
};

}  // namespace velmora_sim
