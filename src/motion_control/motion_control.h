#pragma once
// Motion control of one robot: `MotionControl<1>` carries the non-real-time motion commands to
// the controller through a queue, a sender thread and an in-flight limit, turns the controller's
// motion reports into execution information for the `moveExecution` callback, and sends the
// requests that reset, start, pause and jog motion. `MotionControl<2>` (RL tasks) only holds the
// link.
//
// Threads: every operation may be called from any thread. The callback runs on the notification
// thread, on the sender thread (a failed send) or on the appending thread (a failed direct
// send), never under a lock of motion control; it may stop or restart the threads and even
// destroy this object (the worker it runs on is then left to end by itself).

#include <velmora/base.h>
#include <velmora/commands.h>
#include <velmora/enums.h>
#include <velmora/event.h>

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "motion_control/motion_runtime.h"
#include "network/tcp/io_threads.h"
#include "network/xservice/xservice.h"

namespace velmora::internal {

/// Process-wide counter behind the text ids of queued requests; starts at 0, wraps at 2^32.
extern std::atomic<std::uint32_t> cmdIdCounter;

class BaseMotionControl {
 public:
  explicit BaseMotionControl(std::shared_ptr<XService> link);
  virtual ~BaseMotionControl();
  BaseMotionControl(const BaseMotionControl&) = delete;
  BaseMotionControl& operator=(const BaseMotionControl&) = delete;

  const std::shared_ptr<XService>& link() const noexcept { return link_; }

 protected:
  std::shared_ptr<XService> link_;
};

/// `Mode` is the value of `MotionControlMode` the controller serves.
template <int Mode>
class MotionControl;

template <>
class MotionControl<2> : public BaseMotionControl {
 public:
  using BaseMotionControl::BaseMotionControl;
};

template <>
class MotionControl<1> : public BaseMotionControl {
 public:
  /// In-flight limit 300, threads stopped; then `_startThreads` (which starts nothing when its
  /// reset fails, for example on a link that is down).
  explicit MotionControl(std::shared_ptr<XService> link);
  /// `_stopThreads`, then drops the reply callbacks it left on the link.
  ~MotionControl() override;

  // ---- queued and immediate motion commands -------------------------------------------------
  /// One request for the whole list under the next "<prefix>#<n>" id, sent at once when nothing
  /// is queued and the limit allows, otherwise queued. 259 for an empty list, more than 100
  /// commands or a number that is not finite, 260 for a pose given only as a matrix: then
  /// nothing is sent, no id is taken and `cmdID` is untouched. A failed send is reported
  /// through the callback, not here. Types: the six moves and `MoveWaitCommand`.
  template <typename T>
  void appendCommand(const std::vector<T>& cmds, std::string& cmdID, std::error_code& ec);
  /// The same request with a numeric id, at once, not queued and not counted; its reply is
  /// dropped. 259/260 as above, 256 when it cannot be sent. The six moves only.
  template <typename T>
  void executeCommand(const std::vector<T>& cmds, std::error_code& ec);
  /// Queues {"move.replay": params} under the next "path#<n>" id, counted as one command.
  void appendReplay(const Json::Value& params);

  // ---- requests (10 s each) -----------------------------------------------------------------
  /// "move.reset"; on success drops what was queued before it, the pending messages and the
  /// in-flight count, and resets the execution information. No queued command is sent while
  /// the reset is out.
  void moveReset(bool remainTraj, std::error_code& ec);
  /// "move.continue" null; running afterwards whatever the reply (unless stopped).
  void resume(std::error_code& ec);
  /// Starts the threads when none run, then "move.continue" 0: 0 running, -1 gives 768. When
  /// the threads cannot start because their reset fails, that reset's code and nothing sent.
  void moveStart(std::error_code& ec);
  /// Set forms "move.default_speed" / "move.default_zone" with the value / 1000.0; 259 for a
  /// value that is not finite.
  void setDefaultSpeed(double speed, std::error_code& ec);
  void setDefaultZone(double zone, std::error_code& ec);
  /// "move.jog"; 258 for a rate outside 0.01..1.0 or a step not above 0 (NaN included).
  void startJog(JogOpt::Space space, double rate, double step, unsigned index, bool direction, std::error_code& ec);
  /// "move.jog_with_ext": the jog plus "fixed_name" and "is_ext".
  void startJogWithExt(JogOpt::Space space, double rate, double step, unsigned index, bool direction,
                       std::string fixedName, std::error_code& ec, bool isExt);
  /// While jogging "move.stop" {"task_space": 1} (jogging ends whatever the reply), otherwise
  /// running becomes paused and "move.pause". -1 gives 769. The level is not sent.
  void stop(int level, std::error_code& ec);

  // ---- threads ------------------------------------------------------------------------------
  /// When no workers run: resets motion, and only when that succeeds starts the sender and the
  /// notification worker, installs the motion callback and watches the last-error topic.
  /// Returns the reset's code when it failed (nothing started), else a clear code. Throws
  /// std::system_error when a thread cannot be created.
  std::error_code _startThreads();
  /// Unwatches, removes the motion callback, marks the threads stopped, wakes and joins them
  /// (a worker calling this is detached instead). Queued requests stay queued.
  void _stopThreads();
  /// Switches the controller's last-error topic; errors are not passed on.
  void _watchLastError(bool on);

  // ---- settings and state -------------------------------------------------------------------
  /// The `moveExecution` callback; an empty one is never called. Returns once no call of the
  /// old one runs (bounded; the caller's own call is not waited for).
  void setExecutionInfoCallback(EventCallback callback);
  /// A copy of the six execution-information entries.
  EventInfo executionInfo() const;
  /// Raising the limit wakes the sender at once.
  void setMaxCacheSize(std::uint32_t size);
  std::uint32_t maxCacheSize() const noexcept;
  /// 0 reset, 1 running, 2 paused, 3 threads stopped.
  int state() const noexcept;
  bool jogging() const noexcept;
  bool lastErrorWatched() const noexcept;
  /// Whether the two workers run.
  bool threadsRunning() const noexcept;

 private:
  friend struct MotionControlTestAccess;

  /// Sends or queues {"c":{key:body},"id":cmdID}, which takes `places` under the limit.
  void _enqueueCommand(std::string_view key, const Json::Value& body, const std::string& cmdID, std::uint32_t places);
  void _assignCmdID(std::string& id);
  void _startJog(const char* key, const Json::Value& value, double rate, double step, std::error_code& ec);
  void _sendRequest(const char* key, const Json::Value& value, Json::Value& result, std::error_code& ec);
  template <typename T>
  Json::Value _encode(const std::vector<T>& cmds);

  std::shared_ptr<MotionRuntime> runtime_;
  std::mutex lifecycleMutex_;  // start and stop; never held while joining
  std::shared_ptr<IoThreads::Job> sendThread_;
  std::shared_ptr<IoThreads::Job> notificationThread_;
  std::uint64_t runCounter_ = 0;
};

}  // namespace velmora::internal
