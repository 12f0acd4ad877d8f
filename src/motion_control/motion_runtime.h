#pragma once
// The shared state of one non-real-time motion controller: the command queue and its sender,
// the queue of motion messages and its processor, the in-flight count and the execution
// information. The worker threads own a share of it, so a worker that outlives its motion
// control (the motion control destroyed or stopped from inside its own callback) still finds
// everything it touches.
//
// Lock rules: `commandMutex`, `notificationMutex` and `executionInfoMutex` are never held two at
// a time; the link is handed a queued command while `commandMutex` is held (its send never
// blocks), so whatever decided to send and the bytes on the wire keep one order; logging and
// the user's callback run with none of them held.

#include <velmora/event.h>

#include <json/value.h>
#include <spdlog/common.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "motion_control/motion_report.h"
#include "network/xservice/xservice.h"

namespace velmora::internal {

/// One request waiting to be sent, kept as the text that goes out (`appendCommandText`), so a
/// queued command costs little more than its bytes on the wire: thousands may wait behind the
/// limit. `places` is what it takes under the limit (its motion commands; none for a wait).
struct QueuedCommand {
  std::string text;
  std::uint32_t places = 0;
  std::uint8_t idLength = 0;

  /// The text id, which the text ends with (then `kCommandTextTail` bytes).
  std::string_view cmdID() const noexcept;
};

/// Values of `MotionRuntime::state`.
enum MotionState : int { kMotionReset = 0, kMotionRunning = 1, kMotionPaused = 2, kThreadsStopped = 3 };

/// One overwrite of the execution information (its six keys).
struct ExecutionUpdate {
  std::string cmdID;
  bool reachTarget = false;
  int wayPointIndex = 0;
  std::error_code error;
  std::string remark;
  std::string customInfo;
};

template <int Mode>
class MotionControl;

class MotionRuntime {
 public:
  explicit MotionRuntime(std::shared_ptr<XService> link);
  MotionRuntime(const MotionRuntime&) = delete;
  MotionRuntime& operator=(const MotionRuntime&) = delete;

  // Queue and sending (commands enter through `MotionControl<1>::_enqueueCommand`).
  void setMaxCacheSize(std::uint32_t size);

  // Workers. A run is one life of the two workers; the id of the live run is 0 when none is.
  /// Makes `run` the run the workers serve (any earlier one ends).
  void beginRun(std::uint64_t run);
  /// Says the run is live: its workers run and the motion callback is installed.
  void markLive(std::uint64_t run) noexcept { liveRun_.store(run); }
  /// Ends the run and wakes both workers.
  void endRun();
  std::uint64_t liveRun() const noexcept { return liveRun_.load(); }
  void sendLoop(std::uint64_t run) noexcept;
  void notificationLoop(std::uint64_t run) noexcept;
  /// The link's motion callback: queues a copy for the notification worker (I/O thread).
  void onMotionNotification(const Json::Value& message);
  /// Processes one motion message as the notification worker does.
  void processMessage(const Json::Value& message);

  // Reset: gates every send while "move.reset" is out, so nothing queued before it leaves after
  // it; on success drops what was queued before it and zeroes the count.
  void reset(bool remainTraj, std::error_code& ec, bool starting);

  // Execution information.
  void initExecutionInfo();
  void updateExecutionInfo(const ExecutionUpdate& update, bool notify);
  /// Replaces the callback and waits, up to `kEventCallbackWait`, for the old one's calls under
  /// way to return (not for the caller's own when it is one of them): the program may free what
  /// the old callback captured once this returns.
  void setExecutionInfoCallback(EventCallback callback);
  EventInfo executionInfoCopy() const;

  /// Sets `state` to `value` unless the threads are stopped: only a start leaves that state.
  void setStateUnlessStopped(int value) noexcept;

  /// One line to the global log and to the robot's log.
  void log(spdlog::level::level_enum level, const std::string& line) const;
  /// An error line about `where`; never throws.
  void logFailure(const char* where, const char* what) const noexcept;

  const std::shared_ptr<XService> link;
  std::atomic<std::uint32_t> maxCacheSize{300};
  std::atomic<bool> jogging{false};
  std::atomic<int> state{kThreadsStopped};
  std::atomic<bool> lastErrorWatched{false};
  std::atomic<std::uint32_t> inFlight{0};

  // Read by tests.
  std::size_t queuedCommands() const;
  std::size_t queuedNotifications() const;
  /// Times the sender thread was notified (it is, only when it can send or its run ends).
  std::uint64_t senderWakeUps() const;

 private:
  // Its enqueue takes the queue's lock and sends under it, as the sender does.
  friend class MotionControl<1>;

  struct SendFailure {
    std::string cmdID;
    std::error_code ec;
  };
  // No reset is out and the count is below the limit.
  bool placeFreeLocked() const noexcept;
  // Wakes the sender when it has something it may now send; every other change leaves it
  // waiting for what it waits for, so it is not woken to find that out.
  void wakeSenderLocked();
  std::optional<SendFailure> sendLocked(std::string_view text, std::string_view cmdID, std::uint32_t places);
  void reportSendFailure(const SendFailure& failure);
  void dropQueue();
  void finishOne(const std::string& cmdID);
  void applyReport(const MotionReport& report);

  mutable std::mutex commandMutex_;
  std::condition_variable commandCv_;
  std::deque<QueuedCommand> commandQueue_;
  // Finish reports still due per request id; a report for an id not here moves no count, so a
  // stray or repeated report never lets more than the limit out.
  std::unordered_map<std::string, std::uint32_t> outstanding_;
  bool resetPending_ = false;
  std::size_t staleCommands_ = 0;  // queued before the pending reset
  std::uint64_t senderRun_ = 0;
  std::uint64_t senderWakeUps_ = 0;

  mutable std::mutex notificationMutex_;
  std::condition_variable notificationCv_;
  std::deque<Json::Value> notificationQueue_;
  std::uint64_t processorRun_ = 0;
  bool overflowLogged_ = false;

  // The callback with the count of its calls under way (under `executionInfoMutex_`); a call
  // holds its own share, so a replacement never frees the callback under it.
  struct CallbackSlot {
    EventCallback callback;
    int running = 0;
  };

  mutable std::mutex executionInfoMutex_;
  std::condition_variable callbackReturned_;
  EventInfo executionInfo_;
  std::shared_ptr<CallbackSlot> executionInfoCallback_ = std::make_shared<CallbackSlot>();

  std::mutex resetMutex_;  // one reset at a time
  std::atomic<std::uint64_t> liveRun_{0};
  std::atomic<std::uint64_t> latestRun_{0};
};

}  // namespace velmora::internal
