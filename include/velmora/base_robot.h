#pragma once
// The part of every robot class that does not depend on the arm's kind or joint count.
//
// Every operation that takes a `std::error_code&` is noexcept and reports through that code
// only, in the library's category: 0 success, 255 and up the library's own conditions, negative
// values the controller's codes. Common ones: 256 link down or send failed, 257 reply without
// the key or of an unexpected shape, 263 no reply in time, -260 a reply that cannot be read.
// The code is the last argument except where optional arguments with defaults follow it.
// Argument checks run before any request: a refused argument sends nothing. Motion control (the
// queue of non-real-time commands and its threads) exists from the first connection on; the
// operations that need it give 255 before. An operation runs on the calling thread and blocks
// for at most 10 s per request unless its line says otherwise. Several threads may call
// operations of one robot at once (replies are matched by id), except connecting,
// disconnecting, `setMotionControlMode` and the state stream's start, stop and update, which run
// alone on a robot.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include <velmora/base.h>
#include <velmora/commands.h>
#include <velmora/enums.h>
#include <velmora/ethercat.h>
#include <velmora/event.h>
#include <velmora/types.h>

namespace velmora {

namespace internal {
struct RobotAssembly;
}  // namespace internal

/// Base of every robot class: owns the robot's private implementation (links, state receiver,
/// motion control, callbacks). Not copyable; the destructor is its only virtual operation.
class VELMORA_API BaseRobot : public Base<BaseRobot> {
 public:
  /// The private implementation, defined inside the library.
  class Impl;

  BaseRobot(const BaseRobot&) = delete;
  BaseRobot& operator=(const BaseRobot&) = delete;
  /// Stops a moving arm ("sys.state", then a pause) and a running state stream ("eci.pub.stop"),
  /// then closes the links; bounded by those requests' 10 s waits; never throws.
  virtual ~BaseRobot();

  // Connection and information.
  /// Stops a moving arm and a running state stream, then closes both links and the state
  /// receiver; `ec` carries the state query's code, so an unconnected robot reports 256.
  void disconnectFromRobot(std::error_code& ec) noexcept;
  /// "g" "sys.info": id, MAC address, controller version, robot type and joint count; an empty
  /// record on failure.
  Info robotInfo(std::error_code& ec) const noexcept;
  /// The library's own version, "0.7.1"; needs no robot.
  static std::string sdkVersion() noexcept;
  /// Replaces the handler called with true when the command link comes up and false when it is
  /// lost. It runs on the link's I/O thread, so it must not wait on this robot's requests (they
  /// would stall and end with 263); what it throws is caught and logged; an empty one is not
  /// called.
  void setConnectionHandler(const std::function<void(bool)>& handler) noexcept;
  /// A new EtherCAT object with a link of its own to this robot's controller; throws
  /// `NetworkException` when that link cannot start (also on a robot never connected).
  BaseEthercat ethercat();

  // Power, modes and system.
  /// "g" "sys.power": on, off, estop or gstop; unknown for another reply or a failed request.
  PowerState powerState(std::error_code& ec) const noexcept;
  /// "c" "sys.power.on" or "sys.power.off"; the reply is the code.
  void setPowerState(bool on, std::error_code& ec) noexcept;
  /// "g" "sys.mode": automatic for "auto", manual for "manual", else unknown.
  OperateMode operateMode(std::error_code& ec) const noexcept;
  /// "c" "sys.mode.switch" with "auto" for automatic and "manual" for any other value; the reply
  /// is the code.
  void setOperateMode(OperateMode mode, std::error_code& ec) noexcept;
  /// "g" "sys.state" mapped by the controller's state names ("idleing" is moving, "joging"
  /// jogging); unknown for a name not known or a failed request.
  OperationState operationState(std::error_code& ec) const noexcept;
  /// "g" "sys.posture" (".flan_in_base" appended for flangeInBase): x, y, z, rx, ry, rz; 257 when
  /// "trans" or "rot" is not three numbers (values read so far stay).
  std::array<double, 6> posture(CoordinateType ct, std::error_code& ec) noexcept;
  /// "c" "sys.servo.clear_alarm"; the reply is the code.
  void clearServoAlarm(std::error_code& ec) noexcept;
  /// "c" "utils.reboot"; the reply is the code.
  void rebootSystem(std::error_code& ec) noexcept;
  /// "c" "utils.reboot" with {"option": "shutdown"}; the reply is the code.
  void shutdownSystem(std::error_code& ec) noexcept;
  /// "c" "device.io.simu.on" or "device.io.simu.off"; the reply is the code.
  void setSimulationMode(bool state, std::error_code& ec) noexcept;
  /// "c" "sys.set_teach_pendant" with {"with": enable}; the reply is the code.
  void setTeachPendantMode(bool enable, std::error_code& ec) noexcept;
  /// "c" "sys.ntp.config" with the server; an integer reply or an "error" member is the code.
  void configNtp(const std::string& server, std::error_code& ec) noexcept;
  /// "c" "sys.ntp.sync", waiting up to 12 s; codes as `configNtp`.
  void syncTimeWithServer(std::error_code& ec) noexcept;
  /// "c" "user_log.query" for `count` entries (1 to 10) of the given levels, newest first, from
  /// `offset` on; texts come as UTF-8; -260 for a reply that is not an object, also after a
  /// failed request.
  std::vector<LogInfo> queryControllerLog(unsigned count, const std::set<LogInfo::Level>& level, std::error_code& ec,
                                          unsigned offset = 0) noexcept;
  /// Item 1 sends "c" "rsc.emer_stop.reset" (only the link's codes); any other item gives 259.
  void recoverState(int item, std::error_code& ec) noexcept;
  /// A copy of the information last stored for the event, sending nothing: 255 for
  /// moveExecution without motion control, 272 for an event not watched, 259 for another value.
  EventInfo queryEventInfo(Event type, std::error_code& ec) noexcept;
  /// Watches the event's topic and keeps the callback, which then runs on a thread of its own
  /// per event, outside library locks, with what it throws caught: 255 for moveExecution without
  /// motion control, 259 for a type outside the enumeration.
  void setEventWatcher(Event type, const EventCallback& callback, std::error_code& ec) noexcept;

  // Non-real-time motion. Progress of queued commands arrives through the moveExecution event.
  /// One request of the whole list ("move.j", "move.jc", "move.l", "move.c", "move.cf" or
  /// "move.sp", not waited for), then "c" "move.continue"; bypasses the queue: 255 without
  /// motion control, 259 for an empty list, more than 100 commands, or a joint target or pose
  /// with more values than the arm has joints and external axes (6 at most).
  template <class Command>
  void executeCommand(const std::vector<Command>& commands, std::error_code& ec) noexcept;
  /// Queues the list as one batch for the sender thread and writes its id into `cmdID`, waiting
  /// for nothing: 255 without motion control, 262 in NrtRLTask or RtCommand mode, 259 for an
  /// empty list, more than 100 commands or arrays longer than the arm's (as `executeCommand`).
  template <class Command>
  void moveAppend(const std::vector<Command>& commands, std::string& cmdID, std::error_code& ec) noexcept;
  /// Queues one wait ("move.wait") as a batch of its own, as the list form does.
  void moveAppend(const MoveWaitCommand& command, std::string& cmdID, std::error_code& ec) noexcept;
  /// The same for callers that name the type, `moveAppend<MoveWaitCommand>(wait, cmdID, ec)`.
  template <class Command, std::enable_if_t<std::is_same_v<Command, MoveWaitCommand>, int> = 0>
  void moveAppend(const Command& command, std::string& cmdID, std::error_code& ec) noexcept {
    moveAppend(static_cast<const MoveWaitCommand&>(command), cmdID, ec);
  }
  /// "c" "move.reset" with {"remain_traj": true}; on success the queue and the execution
  /// information are emptied; 255 without motion control.
  void moveReset(std::error_code& ec) noexcept;
  /// Starts the motion threads when stopped, then "c" "move.continue" 0: 768 for -1 (nothing
  /// queued), 255 without motion control.
  void moveStart(std::error_code& ec) noexcept;
  /// "c" "move.stop" while jogging, else "move.pause": 769 for -1 (already stopping), 255
  /// without motion control.
  void stop(std::error_code& ec) noexcept;
  /// "s" "move.default_speed" with the speed / 1000; 255 without motion control.
  void setDefaultSpeed(double speed, std::error_code& ec) noexcept;
  /// "s" "move.default_zone" with the zone / 1000; 255 without motion control.
  void setDefaultZone(double zone, std::error_code& ec) noexcept;
  /// "c" "move.default_conf" with the flag; only the link's codes.
  void setDefaultConfOpt(bool forced, std::error_code& ec) noexcept;
  /// Sets how many queued commands may be outstanding at the controller, clamped to 1..1000;
  /// sends nothing; 255 without motion control.
  void setMaxCacheSize(int number, std::error_code& ec) noexcept;
  /// Leaves real-time control first ("sys.state", then "eci.disable"), then starts the queue
  /// (Idle, NrtCommand), stops it for RL tasks (NrtRLTask) or sends "eci.enable" and waits
  /// 300 ms (RtCommand); 259 for another value, nothing sent.
  void setMotionControlMode(MotionControlMode mode, std::error_code& ec) noexcept;

  // Jogging, online adjustment and path checks.
  /// "c" "move.jog": 258 for a rate outside 0.01..1.0 or a step <= 0, 255 without motion
  /// control; the reply is the code; `stop` ends the jog.
  void startJog(JogOpt::Space space, double rate, double step, unsigned index, bool direction,
                std::error_code& ec) noexcept;
  /// As `startJog` with "move.jog_with_ext", the mechanical unit's name and the external flag.
  void startJogWithExt(JogOpt::Space space, double rate, double step, unsigned index, bool direction, std::string name,
                       std::error_code& ec, bool isExt = false) noexcept;
  /// "c" "move.override_rate" with the scale unchanged; the reply is the code.
  void adjustSpeedOnline(double scale, std::error_code& ec) noexcept;
  /// "s" "move.acc" with {"acc", "jerk"}; the reply is the code.
  void adjustAcceleration(double acc, double jerk, std::error_code& ec) noexcept;
  /// "g" "move.acc" into the outputs; an integer reply is the code, 257 another shape; outputs
  /// untouched on failure.
  void getAcceleration(double& acc, double& jerk, std::error_code& ec) noexcept;
  /// "c" "move.ignore_zone" with the flag; only the link's codes.
  void setAutoIgnoreZone(bool enable, std::error_code& ec) noexcept;
  /// "c" "move.path.check" of a line from the start (pose and joints) to the target: the joint
  /// values the controller computed; an integer reply or "error" is the code, -260 an
  /// unreadable reply, 259 (nothing sent) for start joint values or a pose's external values
  /// beyond the arm's joints and external axes; zeros on failure.
  std::vector<double> checkPath(const CartesianPosition& start, const std::vector<double>& start_joint,
                                const CartesianPosition& target, std::error_code& ec) noexcept;
  /// As the line form through `aux`, with "circle" (angle and rotation rule) when the angle is
  /// not 0.
  std::vector<double> checkPath(const CartesianPosition& start, const std::vector<double>& start_joint,
                                const CartesianPosition& aux, const CartesianPosition& target, std::error_code& ec,
                                double angle = 0.0,
                                MoveCFCommand::RotType rot_type = MoveCFCommand::RotType::constPose) noexcept;
  /// As the line form along `points` (at least 2, else 259), output cleared then filled;
  /// returns 0, or after a refusal the failing point's index + 1 when the controller names it.
  int checkPath(const std::vector<double>& start_joint, const std::vector<CartesianPosition>& points,
                std::vector<double>& target_joint, std::error_code& ec) noexcept;

  // Digital and analog I/O and registers.
  /// "g" "device.io" for "DI.DI<board>_<port>": the input's state; an integer reply is the
  /// code, 257 another shape.
  bool getDI(unsigned board, unsigned port, std::error_code& ec) noexcept;
  /// As `getDI` for the output "DO.DO<board>_<port>".
  bool getDO(unsigned board, unsigned port, std::error_code& ec) noexcept;
  /// As `getDI` for the analog input "AI.AI<board>_<port>"; 257 when it is not a number.
  double getAI(unsigned board, unsigned port, std::error_code& ec) noexcept;
  /// "c" "device.io.simu.di" for "DI<board>_<port>": -10030 for -1 (simulation off or no such
  /// signal), another negative reply its code.
  void setDI(unsigned board, unsigned port, bool state, std::error_code& ec) noexcept;
  /// "c" "device.io.out.do" for "DO<board>_<port>": -14501 for -1 (no such signal or a system
  /// I/O), another negative reply its code.
  void setDO(unsigned board, unsigned port, bool state, std::error_code& ec) noexcept;
  /// As `setDO` with "device.io.out.ao" for "AO<board>_<port>".
  void setAO(unsigned board, unsigned port, double value, std::error_code& ec) noexcept;
  /// "g" "register.values" for "<name>.#<index>" (vectors: the whole register, index unused):
  /// -17001 for -1, -260 an unreadable reply, 259 when the value or any element is not of the
  /// type; the output is untouched on failure, except a vector emptied by a refused value.
  template <typename T>
  void readRegister(const std::string& name, unsigned index, T& value, std::error_code& ec) noexcept;
  /// "c" "register.write" with name, "bias" index and value (vectors: the array and "type"
  /// "array", no index); an integer reply is the code (-17002 for -1 on vectors).
  template <typename T>
  void writeRegister(const std::string& name, unsigned index, T value, std::error_code& ec) noexcept;

  // State stream and state queries.
  /// If the stream runs, "c" "eci.pub.stop" (result ignored) and closes the receiver; never
  /// throws.
  void stopReceiveRobotState() noexcept;
  /// Takes at most one datagram within `timeout` on the calling thread and parses it when
  /// complete: the bytes received, 0 for none; throws `RealtimeStateException` when the stream
  /// does not run (never started, stopped, or marked stopped after a reconnection that could
  /// not restore it), `RealtimeMotionException` for an error flag, `RealtimeControlException`
  /// for an unreadable datagram.
  /// Datagrams queue in the system between calls and are taken one per call, oldest first: a
  /// reader slower than the stream sees older and older states. To reach the newest, call it
  /// with a zero `timeout` until it returns 0 (the last datagram taken is then the newest).
  /// Only datagrams whose source address is the controller's (the address the robot connected
  /// to) are taken; others are dropped, counted in a log line at most once a second. The source
  /// port is not checked: a controller sends from a port its system picks.
  unsigned updateRobotState(std::chrono::nanoseconds timeout);
  /// Copies a field of the last parsed datagram: 0, or -1 for a field not subscribed or of
  /// another kind; throws `RealtimeStateException` while the receiver is closed. Safe beside
  /// `updateRobotState` on another thread; allocates nothing for the scalar types.
  template <typename T>
  int getStateData(const std::string& name, T& data);
  /// "g" "sys.rt.jnt_pos": the joint positions; 257 for a reply that is not numbers.
  std::vector<double> jointPos(std::error_code& ec) noexcept;
  /// "g" "sys.rt.jnt_vel": the joint velocities; 257 for a reply that is not numbers.
  std::vector<double> jointVel(std::error_code& ec) noexcept;
  /// "g" "sys.posture" (".flan_in_base" appended for flangeInBase): the pose; an integer reply
  /// is the code; a zero pose on failure.
  CartesianPosition cartPosture(CoordinateType ct, std::error_code& ec) noexcept;

  // RL projects and controller files. Imports of one robot run one after the other.
  /// "c" "project.load" with the name and tasks: 262 until NrtRLTask was once chosen, 259 for
  /// an empty name or task list or a name that is not one plain path component; the reply is
  /// the code.
  void loadProject(const std::string& name, const std::vector<std::string>& tasks, std::error_code& ec) noexcept;
  /// "c" "project.start": 262 until NrtRLTask was once chosen; the reply is the code.
  void runProject(std::error_code& ec) noexcept;
  /// "c" "project.stop": 262 until NrtRLTask was once chosen; the reply is the code.
  void pauseProject(std::error_code& ec) noexcept;
  /// "c" "project.pp.main": 262 until NrtRLTask was once chosen; the reply is the code.
  void ppToMain(std::error_code& ec) noexcept;
  /// "s" "project.run_param" with {"override", "loop_mode"}: 258 for a rate outside 0.01..1.0
  /// (NaN included).
  void setProjectRunningOpt(double rate, bool loop, std::error_code& ec) noexcept;
  /// "g" "project.list": the projects with their tasks; -260 for a reply that is not a list.
  std::vector<RLProjectInfo> projectsInfo(std::error_code& ec) noexcept;
  /// "c" "ix.sdk.remove_project": -60005 for -1 (no such project), 259 for a name that is not
  /// one plain path component.
  void removeProject(const std::string& project_name, std::error_code& ec, bool remove_all = false) noexcept;
  /// Sends the archive on the file channel (up to 300 s), then "c" "ix.sdk.import_project": the
  /// project name; -279 no such file, -281 no ".zip" in its name, 259 when what precedes it is
  /// not a plain name, -280/-283/-284/-285 transfer failures, -277/-278/-280/-281/-284/-60005
  /// the controller's refusals. Imports of one robot go one at a time: another waits behind a
  /// transfer whose verdict does not come for up to those 300 s. A file link the controller
  /// closed is connected again once before the transfer fails.
  std::string importProject(const std::string& file_path, bool overwrite, std::error_code& ec) noexcept;
  /// Sends the file, then "c" "eci.file_transfer.import_project_file" into dest
  /// "project/<project>[/<task>[/<file>]]": the stored name; 259 malformed dest (a component
  /// empty, "." or "..") or stored name, -279 no such file, -281 wrong extension, transfer and
  /// refusal codes as `importProject`, and as it waits behind another import of the robot. The
  /// local path is used as given.
  std::string importFile(std::string src_file_path, std::string dest, bool overwrite, std::error_code& ec) noexcept;
  /// "c" "project.remove_files" for paths "project/<project>/<task>[/<file>.mod]": 259 for an
  /// empty list or a malformed path, -281 for another extension; an integer reply is the code.
  void removeFiles(std::vector<std::string> file_path_list, std::error_code& ec) noexcept;

  // Frames, tools and work objects.
  /// "g" "ix.coord.base_in_world": x, y, z, rx, ry, rz; 257 for unusable "trans" or "rot".
  std::array<double, 6> baseFrame(std::error_code& ec) const noexcept;
  /// "s" "ix.coord.base_in_world" with the translation and rotation; the reply is the code.
  void setBaseFrame(const Frame& frame, std::error_code& ec) noexcept;
  /// "g" "ix.coord.toolset": the active tool set; an integer reply is the code, 257 another
  /// shape; all zero on failure.
  Toolset toolset(std::error_code& ec) const noexcept;
  /// "s" "ix.coord.toolset" with load, end and reference frames; the reply is the code.
  void setToolset(const Toolset& toolset, std::error_code& ec) noexcept;
  /// "c" "sys.toolset.query" for the named tool and work object, then "s" "ix.coord.toolset" of
  /// the result, which is returned: -50501 unknown name, -260 unreadable reply (nothing set).
  Toolset setToolset(const std::string& toolName, const std::string& wobjName, std::error_code& ec) noexcept;
  /// "g" "project.tool.info": the current project's tools; an integer reply is the code.
  std::vector<WorkToolInfo> toolsInfo(std::error_code& ec) noexcept;
  /// "g" "project.wobj.info": the current project's work objects; an integer reply is the code.
  std::vector<WorkToolInfo> wobjsInfo(std::error_code& ec) noexcept;
  /// Adds or edits the tool in the project (in the global table for "g_tool_<n>", n < 16),
  /// a few requests: -50501 for -1, another integer reply its code.
  void setToolInfo(const WorkToolInfo& info, std::error_code& ec) noexcept;
  /// As `setToolInfo` for a work object ("g_wobj_<n>" global).
  void setWobjInfo(const WorkToolInfo& info, std::error_code& ec) noexcept;
  /// "c" "cfg.get" of the nominal or the full Denavit-Hartenberg parameters (a second request
  /// when the full set is absent); an integer reply is the code, 257 another shape.
  std::vector<double> getRobotCfg_DHparam(bool get_nominal, std::error_code& ec) noexcept;

  // External axes, mechanical units and rail. Outputs are untouched on failure.
  /// "c" "ext_axis.get_axis_info": parameter `info` of axis `name` (axis1..axis6); 259 for an
  /// unknown name (nothing sent) or a member missing or not of the type; a vector is appended to.
  template <typename T>
  void getExtAxisInfo(const std::string& name, const std::string& info, T& value, std::error_code& ec) noexcept;
  /// As `getExtAxisInfo` with "ext_axis.get_mechanical_unit_info" for units u1..u6.
  template <typename T>
  void getMechUnit(const std::string& name, const std::string& info, T& value, std::error_code& ec) noexcept;
  /// "g" "rail_param": the parameter in the caller's units (the pair "softLimit" or "range" as
  /// two values); an integer reply is the code; 259 for an unknown name, a name the type does
  /// not take, or a member missing, of another kind or out of the type's range.
  template <typename T>
  void getRailParameter(const std::string& name, T& value, std::error_code& ec) noexcept;
  /// "s" "rail_param" with the value in the controller's units ("baseFrame": "c"
  /// "rail.set_rail_frame", 258 when refused); 259 for a name the type does not take or fewer
  /// than two values for a pair.
  template <typename T>
  void setRailParameter(const std::string& name, T value, std::error_code& ec) noexcept;

 protected:
  /// Builds the implementation without connecting.
  BaseRobot();
  /// The robot's implementation, for the derived classes.
  Impl& impl() const noexcept;

 private:
  friend struct internal::RobotAssembly;  // builds robots whose links take other options

  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora

#include <velmora/base_robot_templates.h>
#include <velmora/export.h>
