#pragma once
// The private implementation behind every robot class: the controller's addresses and ports,
// the command link and the real-time link, the state receiver, motion control, the event
// watcher's tables and the program's connection handler.
//
// Threads: the robot's operations run on the program's threads; the command link calls
// `connectionHandler` and `onNotification` on its I/O thread, outside every lock of the link.
// Connecting, disconnecting and the state stream's start and stop run alone on a robot (the
// public contract); everything the I/O thread touches is guarded or atomic.
//
// Lifetime: the command link is shared with the robot's extension objects and may outlive the
// implementation; the destructor detaches every callback it installed before any member goes
// away, so nothing calls into a destroyed implementation. Event callbacks run on delivery
// threads that touch no state of the robot; the destructor drops those still waiting and waits,
// bounded, for those running, so none runs once it returned.

#include <velmora/base_robot.h>
#include <velmora/enums.h>
#include <velmora/event.h>
#include <velmora/exception.h>
#include <velmora/types.h>

#include <json/value.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "motion_control/motion_control.h"
#include "network/state_stream/data_receiver.h"
#include "network/xservice/xservice.h"
#include "robot_impl/event_delivery.h"

namespace velmora {

class VELMORA_LOCAL BaseRobot::Impl {
 public:
  /// Sets the language flag from the user's locale, builds both links (unconnected) and the
  /// receiver, puts the shared console logger in the command link and installs the link's
  /// notification dispatcher and connection handler. No connection, no thread. Both links
  /// take `options`.
  explicit Impl(const internal::LinkOptions& options = {});
  /// Detaches the link's callbacks, drops the event callbacks' waiting deliveries and waits up
  /// to `internal::kEventCallbackWait` for those running (not for the one calling it), stops a
  /// running state stream ("eci.pub.stop"), then frees
  /// the real-time link, the receiver and motion control (joining its threads); the command
  /// link lives on while others hold it. Never throws.
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // ---- Connection (robot_connect.cpp) ----

  /// Tears down what ran, connects the command link to `remote`:6666, reads "sys.info", sets
  /// the log uid, checks compatibility, reads "eci.port", gives the receiver its endpoint and
  /// the real-time link its address (not started), sets up the robot log, starts motion
  /// control and watches every watched event again. Throws `NetworkException` (link failure,
  /// "sys.info" failing or not an object, the link lost or a request unanswered at any later
  /// step: a refusal keeps the ports in force or leaves motion control idle, a lost link or a
  /// time-out fails the connection; time-outs as `internal::ConnectTimeout`), `ProtocolException`
  /// (controller older than 3.1.0), `ExecutionException` (other arm), the JSON library's error
  /// for a settings file that is not JSON, `std::system_error` for an address the receiver
  /// cannot resolve, the logging library's error when the robot log cannot be opened. Blocks up
  /// to the link's waits.
  void reconnect(const std::string& remote, const std::string& local, int expectedWorkType, std::uint16_t jointCount);
  /// Stops the state stream ("eci.pub.stop" when it runs), the motion threads, both links and
  /// the receiver, and flushes the robot log. Addresses, information and ports stay. Never
  /// throws; the logging registry is left alone.
  void disconnect() noexcept;
  /// Throws `ProtocolException` (message 11 and "3.1.0.0") for a controller older than 3.1.0,
  /// else `ExecutionException` (message 13 and the controller's type) when the joint count or
  /// the work type differs from the robot class.
  void checkCompatibility(int expectedWorkType, std::uint16_t jointCount) const;
  /// "s" "eci.ip" with `local` unless it is empty; throws `NetworkException` (message 14) when
  /// the controller refuses it or the request fails; stores it on success (and for every
  /// reconnection of the link).
  void setLocalIp(const std::string& local);
  /// A state stream start begins with `intervalMs` (the wire's "eci.pub.start" value): the
  /// replies to an earlier restore no longer concern the stream.
  void streamStarting(int intervalMs);
  /// After the link came back by itself (its I/O thread; waits for nothing): "s" "eci.ip" with
  /// the accepted local address, and when the stream was receiving its subscription again
  /// ("eci.fields.out", "eci.port" "broadcast_in", "eci.pub.start"). A refused subscription or
  /// start, or no datagram within the request wait and the first-packet wait, marks the
  /// stream stopped.
  void restoreStateStream() noexcept;
  /// When the stream runs: "c" "eci.pub.stop" (result ignored), then closes the receiver.
  void stopReceiveRobotState() noexcept;
  /// The command link's connection handler (its I/O thread): re-watches after a loss, records
  /// the state and calls the program's handler, whose exceptions are caught and logged.
  void connectionHandler(bool connected) noexcept;
  /// Replaces the program's connection handler; a call in progress finishes with the old one.
  void setUserConnectionHandler(std::function<void(bool)> handler);

  // ---- Robot log (robot_log.cpp) ----

  /// Once per implementation (while the link still holds the console logger): the daily robot
  /// log "<dir>/<controller id>/TarvikSDK.log" from "user_log_settings.json" in the working
  /// directory, shared with any other robot of the same controller.
  void setupLogger();

  // ---- Event watcher (event_watcher.cpp) ----

  /// safety, rlExecution, logReporter: installs the callback for the event's topic (the old
  /// one's waiting deliveries are dropped and its running calls waited for, as at
  /// destruction), resets the event's information, marks it watched and sends the watch (a failed send is not
  /// reported: the next connection sends it again). moveExecution: 255 without motion
  /// control, else the callback goes to motion control and the watch is sent (256 when it
  /// cannot be). Other values change nothing. `ec` is written only on failure.
  void setEventWatcher(Event event, const EventCallback& callback, std::error_code& ec);
  /// Sends the watch of every watched event again and logs which; with `motionWatched`, the
  /// move-execution topic is left out (motion control has just watched it on this connection).
  void resetEventWatcher(bool motionWatched = false) noexcept;
  /// A copy of the event's stored information (empty for an event with none).
  EventInfo queryEventInfo(Event event) const;
  /// Whether the event's watch is kept (moveExecution from construction on).
  bool eventWatched(Event event) const;
  /// The link's notification dispatcher: each member of "n" goes to the handler of its topic,
  /// in member order; a member that cannot be read is dropped and logged, the others still go.
  void onNotification(const Json::Value& message) noexcept;

  // ---- Shared controller requests ----
  // Defined beside the operations that use them, each in its group's file under src/robot, and
  // called inside an operation's boundary (`internal::runOperation`), which turns what still
  // throws (memory exhaustion) into -260. Each reports through `ec` (256, 257, 263 from the
  // link; the controller's own codes as each says) and reads every reply with its kind checked,
  // so an answer of an unforeseen shape is a code, not an exception. They block the calling
  // thread for one or two requests of up to the link's request wait (10 s) each.

  /// g "project.<kind>.info", `kind` "tool" or "wobj": the project's entries in ascending name
  /// order, values as the controller gives them (tool_operations.cpp); no entry on failure, as
  /// `internal::readWorkToolList` says.
  std::vector<WorkToolInfo> workToolsInfo(const std::string& kind, std::error_code& ec);
  /// Writes one tool or work object (tool_operations.cpp). A global name (see
  /// `internal::parseWorkToolName`) goes whole as c "global.<kind>s.set.one"; any other is
  /// looked up in g "project.<kind>s" and sent as c "project.<kind>" {"<kind>s": [record],
  /// "operator": "add" | "edit"} (with "old_name" when edited). 259 and nothing sent for a
  /// non-finite translation, angle or load value; a failed list read stops before the write.
  /// The write's integer reply is the code, -1 becoming -50501; any other reply is success.
  void setWorkToolInfo(const WorkToolInfo& toolInfo, const std::string& kind, std::error_code& ec);
  /// g "register.values" {key: null} (register_operations.cpp): `values` the reply's member
  /// `key`, or null with `ec` as `internal::readRegisterReply` says.
  void queryRegisterValues(Json::Value& values, const std::string& key, std::error_code& ec);
  /// c "utils.reboot": {"option": "shutdown"} when `option` is 1, null (reboot) otherwise. The
  /// reply's integer is the code (null reads 0; another kind gives -260). system_operations.cpp.
  void rebootOrShutdown(int option, std::error_code& ec);
  /// c "sys.mode.switch": "auto" for `OperateMode::automatic`, "manual" for any other value.
  /// Returns the link's code when the request failed, else the reply's integer (null reads 0;
  /// another kind gives -260, also set in `ec`). system_operations.cpp.
  int setOperateMode(OperateMode mode, std::error_code& ec);
  /// g "flangebox_support_rs485_param", logged at debug level to the global log: the tool-end
  /// board type, 0 when it could not be read (flangebox_bus.cpp). A read stores it in
  /// `flangeBoxType` before it sets `flangeBoxTypeKnown`; a failed one leaves the flag clear,
  /// so the next board operation asks again. Called before the bus operations' boundary, so
  /// it swallows every failure itself.
  int GetFlangeBoxType() noexcept;
  /// c "ext_axis.get_axis_info" null: `reply` receives the reply's value, whatever its kind;
  /// `ec` is the link's (ext_axis_operations.cpp).
  void queryExtAxisInfo(Json::Value& reply, std::error_code& ec);
  /// c "ext_axis.get_mechanical_unit_info" null, as `queryExtAxisInfo`.
  void queryMechUnit(Json::Value& reply, std::error_code& ec);
  /// g "rail_param" with `value` as the request's value; `value` receives the reply's. A reply
  /// that is an integral number within int is the controller's code and becomes `ec`
  /// (rail_operations.cpp).
  void queryRailParameter(Json::Value& value, std::error_code& ec);
  /// s "rail_param" with `value`; `ec` is the controller's integer answer (0 success).
  void writeRailParameter(const Json::Value& value, std::error_code& ec);

  // ---- Operation states ----

  /// The controller's state names and what they mean (14 entries).
  static const std::unordered_map<std::string, OperationState>& operationStateNames();
  /// The `OperationState` value of a state name, -1 for a name not in the table.
  static int stateNameToOperationState(const std::string& name);

  // ---- Fields ----

  std::atomic<int> flangeBoxType{0};  ///< tool-end board type, valid once known
  std::atomic<bool> flangeBoxTypeKnown{false};
  std::string remoteIp;                           ///< as given to `reconnect`
  std::string localIp;                            ///< stored by `setLocalIp` once accepted
  std::uint32_t rtPort = 1337;                    ///< "rt" of "eci.port"
  std::uint32_t broadcastPort = 1338;             ///< "broadcast" of "eci.port"
  std::shared_ptr<internal::XService> service;    ///< the command link, shared with extensions
  std::unique_ptr<internal::XService> rtService;  ///< real-time link: addressed, started with the stream
  std::unique_ptr<internal::DataReceiver> receiver;
  Info info;  ///< the controller's "sys.info"
  /// The robot class's joint count, which bounds the joint arrays it sends; 0 (not known) for
  /// an implementation outside a robot class.
  std::uint16_t armJoints = 0;
  int workType = 0;  ///< `WorkType`: the class's, or the controller's "work_type"
  std::atomic<MotionControlMode> motionControlMode{MotionControlMode::Idle};
  std::unique_ptr<internal::MotionControl<1>> motionControl;  ///< from the first connection on
  std::unique_ptr<internal::MotionControl<2>> rlTaskControl;  ///< from the first NrtRLTask on
  std::atomic<int> dragSpace{0};
  std::atomic<int> dragType{2};
  /// 0 never connected, 1 connected, 2 connection lost.
  std::atomic<int> connectionState{0};
  /// Held by an import from its file transfer through its import command: the controller
  /// imports the file it received last, so another import's transfer must not come between.
  std::mutex importMutex;

 private:
  static constexpr std::size_t kEvents = 4;

  void watchEvent(Event event, const EventCallback& callback);
  void onCollisionEvent(const Json::Value& value, const std::shared_ptr<internal::EventChannel>& channel);
  void onTaskPointerEvent(const Json::Value& value, const std::shared_ptr<internal::EventChannel>& channel);
  void onLogReporterEvent(const Json::Value& value, const std::shared_ptr<internal::EventChannel>& channel);

  // The topic handlers, by event: the channel of the callback given with the watcher (possibly
  // empty) or null while no watcher was set. Read on the link's I/O thread, replaced by
  // `setEventWatcher`; a channel replaced or left at destruction is closed.
  mutable std::mutex topicMutex_;
  std::array<std::shared_ptr<internal::EventChannel>, kEvents> topicHandlers_{};
  // Guards the information store and the watched flags. Order: `topicMutex_` is never held
  // while taking it, nor the reverse.
  mutable std::mutex eventMutex_;
  std::array<EventInfo, kEvents> eventInfo_{};
  std::array<bool, kEvents> watchedEvents_{{true, false, false, false}};

  mutable std::mutex handlerMutex_;
  std::function<void(bool)> userConnectionHandler_;
  // Losses of the command link, counted by the connection handler: a loss during `reconnect`
  // fails it even when the link is already back by its end.
  std::atomic<std::uint64_t> linkLosses_{0};

  // What a reconnection of the link restores: the local address the controller accepted, the
  // stream's interval and its start count (a restore's replies act only on the start they
  // belong to). The I/O thread reads them while the program's thread starts a stream.
  std::mutex streamMutex_;
  std::string streamAddress_;
  int streamInterval_ = 0;
  std::uint64_t streamStarts_ = 0;
  // Set while `reconnect` runs: the connection it makes is not one the link made by itself.
  std::atomic<bool> connecting_{false};
};

namespace internal {

/// A step of the connection had no answer in time: a `NetworkException` to the program, 263 from
/// the connection operation with a code.
class VELMORA_LOCAL ConnectTimeout : public NetworkException {
 public:
  using NetworkException::NetworkException;
};

/// The console logger every robot writes to until its robot log exists.
inline constexpr const char* kConsoleLoggerName = "_velmora_log_console_";

/// The log uid of a controller id: its first 8 and last 4 characters joined by "-" when it has
/// 12 or more, else the id unchanged.
std::string shortenUid(const std::string& id);

/// The topics each event watches (one each; moveExecution's reaches motion control).
const std::unordered_map<Event, std::vector<std::string>>& EventTopicTable();

}  // namespace internal

}  // namespace velmora
