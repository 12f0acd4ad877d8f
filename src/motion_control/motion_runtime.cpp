#include "motion_control/motion_runtime.h"

#include <velmora/error.h>

#include <fmt/format.h>
#include <spdlog/logger.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "common/globals.h"
#include "common/logging.h"
#include "common/operation_log.h"
#include "motion_control/motion_encoding.h"
#include "robot_impl/event_delivery.h"

namespace velmora::internal {

namespace {

// Workers re-test their condition at least this often; every change they wait for also
// notifies them, so this only bounds the wait.
constexpr std::chrono::seconds kWorkerWakeUp{1};

// Motion messages waiting for the processor beyond which new ones are dropped: a controller
// reports at most a few per command, so only a flood gets here.
constexpr std::size_t kMaxQueuedNotifications = 65536;

}  // namespace

MotionRuntime::MotionRuntime(std::shared_ptr<XService> link) : link(std::move(link)) { initExecutionInfo(); }

void MotionRuntime::log(spdlog::level::level_enum level, const std::string& line) const {
  globalLogger()->log(level, line);
  if (const auto robot = link->logger()) robot->log(level, line);
}

void MotionRuntime::logFailure(const char* where, const char* what) const noexcept {
  try {
    log(spdlog::level::err, logLine("uid: {} | {}: {}", logUid, where, what));
  } catch (...) {
    // Nothing is left to report with; the worker goes on.
  }
}

// ---- queue and sending ----------------------------------------------------------------------

std::string_view QueuedCommand::cmdID() const noexcept {
  if (text.size() < kCommandTextTail + idLength) return {};
  return std::string_view(text).substr(text.size() - kCommandTextTail - idLength, idLength);
}

bool MotionRuntime::placeFreeLocked() const noexcept { return !resetPending_ && inFlight.load() < maxCacheSize.load(); }

void MotionRuntime::wakeSenderLocked() {
  if (commandQueue_.empty() || !placeFreeLocked()) return;
  ++senderWakeUps_;
  commandCv_.notify_all();
}

std::optional<MotionRuntime::SendFailure> MotionRuntime::sendLocked(std::string_view text, std::string_view cmdID,
                                                                    std::uint32_t places) {
  // Counted before the send: a finish report handled between the send and a later count would
  // find nothing to take off and leave the count one too high for good.
  std::string id(cmdID);
  if (places > 0) {
    inFlight.fetch_add(places);
    outstanding_[id] += places;
  }
  const std::error_code ec = link->request(text, 0, nullptr, std::chrono::nanoseconds::zero());
  if (!ec) return std::nullopt;
  if (places > 0) {
    const auto it = outstanding_.find(id);
    if (it != outstanding_.end()) {
      it->second = it->second > places ? it->second - places : 0;
      if (it->second == 0) outstanding_.erase(it);
    }
    std::uint32_t now = inFlight.load();
    inFlight.store(now > places ? now - places : 0);
  }
  return SendFailure{std::move(id), ec};
}

void MotionRuntime::reportSendFailure(const SendFailure& failure) {
  log(spdlog::level::err, fmt::format("uid: {} | Send command {} ({})", logUid, failure.cmdID, failure.ec.value()));
  ExecutionUpdate update;
  update.cmdID = failure.cmdID;
  update.error = failure.ec;
  updateExecutionInfo(update, true);
}

void MotionRuntime::setMaxCacheSize(std::uint32_t size) {
  std::lock_guard<std::mutex> lock(commandMutex_);
  maxCacheSize.store(size);
  wakeSenderLocked();
}

void MotionRuntime::sendLoop(std::uint64_t run) noexcept {
  for (;;) {
    try {
      std::optional<SendFailure> failure;
      {
        std::unique_lock<std::mutex> lock(commandMutex_);
        while (senderRun_ == run && (commandQueue_.empty() || !placeFreeLocked())) {
          commandCv_.wait_for(lock, kWorkerWakeUp);
        }
        if (senderRun_ != run) return;
        const QueuedCommand command = std::move(commandQueue_.front());
        commandQueue_.pop_front();
        failure = sendLocked(command.text, command.cmdID(), command.places);
      }
      if (failure) reportSendFailure(*failure);
    } catch (const std::exception& e) {
      logFailure("motion sender", e.what());
    } catch (...) {
      logFailure("motion sender", "unknown exception");
    }
  }
}

// ---- runs -------------------------------------------------------------------------------------

void MotionRuntime::beginRun(std::uint64_t run) {
  latestRun_.store(run);
  {
    std::lock_guard<std::mutex> lock(commandMutex_);
    senderRun_ = run;
  }
  std::lock_guard<std::mutex> lock(notificationMutex_);
  processorRun_ = run;
}

void MotionRuntime::endRun() {
  liveRun_.store(0);
  // Changed under each waiter's mutex, so a worker between its test and its wait cannot miss it.
  {
    std::lock_guard<std::mutex> lock(notificationMutex_);
    processorRun_ = 0;
    notificationCv_.notify_all();
  }
  std::lock_guard<std::mutex> lock(commandMutex_);
  senderRun_ = 0;
  ++senderWakeUps_;
  commandCv_.notify_all();
}

// ---- motion messages --------------------------------------------------------------------------

void MotionRuntime::onMotionNotification(const Json::Value& message) {
  std::lock_guard<std::mutex> lock(notificationMutex_);
  if (notificationQueue_.size() >= kMaxQueuedNotifications) {
    if (!overflowLogged_) {
      overflowLogged_ = true;
      globalLogger()->error("uid: {} | motion messages arrive faster than they are processed, dropping", logUid);
    }
    return;
  }
  overflowLogged_ = false;
  notificationQueue_.push_back(message);
  notificationCv_.notify_one();
}

void MotionRuntime::notificationLoop(std::uint64_t run) noexcept {
  std::deque<Json::Value> batch;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(notificationMutex_);
      while (processorRun_ == run && notificationQueue_.empty()) notificationCv_.wait_for(lock, kWorkerWakeUp);
      if (processorRun_ != run) return;
      batch.swap(notificationQueue_);
    }
    // Messages taken are processed even when the run ends meanwhile, unless a newer run has
    // started: its reset made them stale.
    while (!batch.empty() && latestRun_.load() == run) {
      try {
        processMessage(batch.front());
      } catch (const std::exception& e) {
        logFailure("motion notification", e.what());
      } catch (...) {
        logFailure("motion notification", "unknown exception");
      }
      batch.pop_front();
    }
    batch.clear();
  }
}

void MotionRuntime::dropQueue() {
  std::lock_guard<std::mutex> lock(commandMutex_);
  inFlight.store(0);
  outstanding_.clear();
  commandQueue_.clear();
  staleCommands_ = 0;
}

void MotionRuntime::finishOne(const std::string& cmdID) {
  std::lock_guard<std::mutex> lock(commandMutex_);
  const auto it = outstanding_.find(cmdID);
  if (it == outstanding_.end()) return;
  if (--it->second == 0) outstanding_.erase(it);
  const std::uint32_t now = inFlight.load();
  if (now > 0) inFlight.store(now - 1);
  wakeSenderLocked();
}

void MotionRuntime::applyReport(const MotionReport& report) {
  log(spdlog::level::info, fmt::format("uid: {} | Notified {} [{}] finish:{} ({})", logUid, report.cmdID, report.point,
                                       report.finished, report.error.value()));
  if (report.error.value() != 0 || report.stop) {
    dropQueue();
  } else if (report.finished && report.hasHash) {
    finishOne(report.cmdID);
  }
  ExecutionUpdate update;
  update.cmdID = report.cmdID;
  update.error = report.error;
  update.wayPointIndex = report.point;
  update.reachTarget = report.finished;
  update.remark = report.remark;
  update.customInfo = report.customInfo;
  updateExecutionInfo(update, report.notifies());
}

void MotionRuntime::processMessage(const Json::Value& message) {
  const MotionMessage m = interpretMotionMessage(message);
  switch (m.kind) {
    case MotionMessage::Kind::reply:
      for (int code : m.reply.refusals) {
        dropQueue();
        ExecutionUpdate update;
        update.cmdID = m.reply.cmdID;
        update.error = makeErrorCode(code);
        update.customInfo = m.reply.customInfo;
        updateExecutionInfo(update, true);
      }
      break;
    case MotionMessage::Kind::report:
      applyReport(m.report);
      break;
    case MotionMessage::Kind::ignored:
      // Neither a reply nor a report: the last execution information stays as it was.
      break;
  }
}

// ---- reset ------------------------------------------------------------------------------------

void MotionRuntime::reset(bool remainTraj, std::error_code& ec, bool starting) {
  std::lock_guard<std::mutex> resetLock(resetMutex_);
  {
    std::lock_guard<std::mutex> lock(commandMutex_);
    resetPending_ = true;
    staleCommands_ = commandQueue_.size();
  }
  ec = makeErrorCode(0);
  Json::Value value;
  value["remain_traj"] = remainTraj;
  Json::Value result;
  link->sendCommand("move.reset", value, result, ec, link->requestWait());
  // Read as every motion request's code: a reply that is no code is no success, and the queue
  // it would clear still holds commands the controller may run.
  if (!ec) ec = makeErrorCode(resultCode(result));
  {
    std::lock_guard<std::mutex> lock(commandMutex_);
    resetPending_ = false;
    if (!ec) {
      const auto stale = std::min(staleCommands_, commandQueue_.size());
      commandQueue_.erase(commandQueue_.begin(), commandQueue_.begin() + static_cast<std::ptrdiff_t>(stale));
      inFlight.store(0);
      outstanding_.clear();
    }
    staleCommands_ = 0;
    wakeSenderLocked();
  }
  if (ec) return;
  {
    std::lock_guard<std::mutex> lock(notificationMutex_);
    notificationQueue_.clear();
  }
  initExecutionInfo();
  if (starting) {
    state.store(kMotionReset);
  } else {
    setStateUnlessStopped(kMotionReset);
  }
}

void MotionRuntime::setStateUnlessStopped(int value) noexcept {
  int current = state.load();
  while (current != kThreadsStopped && !state.compare_exchange_weak(current, value)) {
  }
}

// ---- execution information --------------------------------------------------------------------

void MotionRuntime::initExecutionInfo() {
  std::lock_guard<std::mutex> lock(executionInfoMutex_);
  executionInfo_["cmdID"] = std::string();
  executionInfo_["reachTarget"] = false;
  executionInfo_["wayPointIndex"] = 0;
  executionInfo_["error"] = makeErrorCode(0);
  executionInfo_["remark"] = std::string();
  executionInfo_["customInfo"] = std::string();
}

namespace {

// The callback slot whose call runs on this thread: replacing it from inside must not wait for
// the very call it is part of.
thread_local const void* slotCalledHere = nullptr;

}  // namespace

void MotionRuntime::updateExecutionInfo(const ExecutionUpdate& update, bool notify) {
  EventInfo info;
  std::shared_ptr<CallbackSlot> slot;
  {
    std::lock_guard<std::mutex> lock(executionInfoMutex_);
    executionInfo_["cmdID"] = update.cmdID;
    executionInfo_["reachTarget"] = update.reachTarget;
    executionInfo_["wayPointIndex"] = update.wayPointIndex;
    executionInfo_["error"] = update.error;
    executionInfo_["remark"] = update.remark;
    executionInfo_["customInfo"] = update.customInfo;
    if (!notify || !executionInfoCallback_->callback) return;
    info = executionInfo_;
    slot = executionInfoCallback_;
    ++slot->running;
  }
  const void* outer = std::exchange(slotCalledHere, slot.get());
  try {
    slot->callback(info);
  } catch (const std::exception& e) {
    logFailure("moveExecution callback threw", e.what());
  } catch (...) {
    logFailure("moveExecution callback threw", "unknown exception");
  }
  slotCalledHere = outer;
  std::lock_guard<std::mutex> lock(executionInfoMutex_);
  if (--slot->running == 0) callbackReturned_.notify_all();
}

void MotionRuntime::setExecutionInfoCallback(EventCallback callback) {
  auto fresh = std::make_shared<CallbackSlot>();
  fresh->callback = std::move(callback);
  EventCallback gone;
  bool returned = false;
  {
    std::unique_lock<std::mutex> lock(executionInfoMutex_);
    const std::shared_ptr<CallbackSlot> old = std::exchange(executionInfoCallback_, std::move(fresh));
    const int own = slotCalledHere == old.get() ? 1 : 0;
    returned = callbackReturned_.wait_for(lock, kEventCallbackWait, [&] { return old->running == own; });
    // No call of it runs any more and none can start; the caller's own goes with its last share.
    if (returned && own == 0) gone = std::move(old->callback);
  }
  if (!returned) {
    logFailure("moveExecution callback", "still running after its replacement's wait");
  }
}

EventInfo MotionRuntime::executionInfoCopy() const {
  std::lock_guard<std::mutex> lock(executionInfoMutex_);
  return executionInfo_;
}

std::size_t MotionRuntime::queuedCommands() const {
  std::lock_guard<std::mutex> lock(commandMutex_);
  return commandQueue_.size();
}

std::uint64_t MotionRuntime::senderWakeUps() const {
  std::lock_guard<std::mutex> lock(commandMutex_);
  return senderWakeUps_;
}

std::size_t MotionRuntime::queuedNotifications() const {
  std::lock_guard<std::mutex> lock(notificationMutex_);
  return notificationQueue_.size();
}

}  // namespace velmora::internal
