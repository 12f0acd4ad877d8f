#include "motion_control/motion_control.h"

#include <velmora/error.h>

#include <fmt/format.h>

#include <cmath>
#include <functional>
#include <utility>

#include "common/globals.h"
#include "common/logging.h"

namespace velmora::internal {

namespace {

// A thread that runs the caller (a stop or destruction from inside the callback) cannot be
// joined; it ends by itself once the callback returns and owns what it still touches.
void joinOrDetach(std::shared_ptr<IoThreads::Job>& thread) {
  if (!thread) return;
  if (!thread->runsHere()) thread->join();
  thread.reset();
}

// The members both jog requests carry.
Json::Value jogValue(JogOpt::Space space, double rate, double step, unsigned index, bool direction) {
  Json::Value value;
  value["space"] = static_cast<int>(space);
  value["rate"] = rate;
  value["step"] = step;
  value["index"] = index;
  value["direction"] = direction;
  return value;
}

}  // namespace

BaseMotionControl::BaseMotionControl(std::shared_ptr<XService> link) : link_(std::move(link)) {}

BaseMotionControl::~BaseMotionControl() = default;

MotionControl<1>::MotionControl(std::shared_ptr<XService> link)
    : BaseMotionControl(std::move(link)), runtime_(std::make_shared<MotionRuntime>(link_)) {
  _startThreads();
}

MotionControl<1>::~MotionControl() {
  _stopThreads();
  link_->clearReplyCallbacks(this);
}

// ---- threads ------------------------------------------------------------------------------------

std::error_code MotionControl<1>::_startThreads() {
  std::lock_guard<std::mutex> lock(lifecycleMutex_);
  if (runtime_->liveRun() != 0) return {};
  // Left over only when an earlier run ended without a stop joining it.
  joinOrDetach(sendThread_);
  joinOrDetach(notificationThread_);

  std::error_code ec;
  runtime_->reset(false, ec, true);
  if (ec) {
    // No worker would have anything to do, and a callback installed now would only fill a
    // queue that nobody empties.
    runtime_->log(spdlog::level::warn,
                  fmt::format("uid: {} | motion threads not started: reset ({})", logUid, ec.value()));
    return ec;
  }

  const std::uint64_t run = ++runCounter_;
  runtime_->beginRun(run);
  try {
    const std::function<void()> sender = [runtime = runtime_, run] { runtime->sendLoop(run); };
    const std::function<void()> processor = [runtime = runtime_, run] { runtime->notificationLoop(run); };
    if (!IoThreads::runPair(sender, processor, sendThread_, notificationThread_)) {
      sendThread_ = IoThreads::run(sender);
      notificationThread_ = IoThreads::run(processor);
    }
  } catch (...) {
    runtime_->state.store(kThreadsStopped);
    runtime_->endRun();
    joinOrDetach(sendThread_);
    throw;
  }
  std::weak_ptr<MotionRuntime> weak = runtime_;
  link_->setMotionCallback([weak](const Json::Value& message) {
    if (const auto runtime = weak.lock()) runtime->onMotionNotification(message);
  });
  _watchLastError(true);
  runtime_->markLive(run);
  return {};
}

void MotionControl<1>::_stopThreads() {
  std::shared_ptr<IoThreads::Job> sender;
  std::shared_ptr<IoThreads::Job> processor;
  {
    // Under the lock, so a start on another thread cannot install its callback in between.
    std::lock_guard<std::mutex> lock(lifecycleMutex_);
    _watchLastError(false);
    link_->setMotionCallback([](const Json::Value&) {});
    runtime_->state.store(kThreadsStopped);
    runtime_->endRun();
    sender = std::move(sendThread_);
    processor = std::move(notificationThread_);
  }
  // Joined outside the lock: a worker inside the callback may itself be stopping or starting.
  joinOrDetach(sender);
  joinOrDetach(processor);
}

void MotionControl<1>::_watchLastError(bool on) {
  std::error_code ec;
  link_->watch(kLastErrorTopic, on, ec);
  if (!ec) runtime_->lastErrorWatched.store(on);
}

bool MotionControl<1>::threadsRunning() const noexcept { return runtime_->liveRun() != 0; }

// ---- settings and state -----------------------------------------------------------------------

void MotionControl<1>::setExecutionInfoCallback(EventCallback callback) {
  runtime_->setExecutionInfoCallback(std::move(callback));
}

EventInfo MotionControl<1>::executionInfo() const { return runtime_->executionInfoCopy(); }

void MotionControl<1>::setMaxCacheSize(std::uint32_t size) { runtime_->setMaxCacheSize(size); }

std::uint32_t MotionControl<1>::maxCacheSize() const noexcept { return runtime_->maxCacheSize.load(); }

int MotionControl<1>::state() const noexcept { return runtime_->state.load(); }

bool MotionControl<1>::jogging() const noexcept { return runtime_->jogging.load(); }

bool MotionControl<1>::lastErrorWatched() const noexcept { return runtime_->lastErrorWatched.load(); }

// ---- requests -----------------------------------------------------------------------------------

void MotionControl<1>::_sendRequest(const char* key, const Json::Value& value, Json::Value& result,
                                    std::error_code& ec) {
  link_->sendCommand(key, value, result, ec, link_->requestWait());
}

void MotionControl<1>::moveReset(bool remainTraj, std::error_code& ec) { runtime_->reset(remainTraj, ec, false); }

void MotionControl<1>::resume(std::error_code& ec) {
  Json::Value result;
  _sendRequest("move.continue", Json::Value(), result, ec);
  runtime_->setStateUnlessStopped(kMotionRunning);
}

void MotionControl<1>::moveStart(std::error_code& ec) {
  // Without the workers nothing queued would be sent and no report handled: motion started now
  // would run unseen, so the controller is not told to go on.
  if (!threadsRunning()) {
    ec = _startThreads();
    if (ec) return;
  }
  Json::Value result;
  _sendRequest("move.continue", Json::Value(0), result, ec);
  if (ec) return;
  const int code = resultCode(result);
  if (code == 0) {
    runtime_->setStateUnlessStopped(kMotionRunning);
  } else {
    ec = makeErrorCode(code == -1 ? 768 : code);
  }
}

void MotionControl<1>::setDefaultSpeed(double speed, std::error_code& ec) {
  if (!std::isfinite(speed)) {
    ec = makeErrorCode(259);
    return;
  }
  link_->setValue("move.default_speed", speed / 1000.0, ec);
}

void MotionControl<1>::setDefaultZone(double zone, std::error_code& ec) {
  if (!std::isfinite(zone)) {
    ec = makeErrorCode(259);
    return;
  }
  link_->setValue("move.default_zone", zone / 1000.0, ec);
}

void MotionControl<1>::_startJog(const char* key, const Json::Value& value, double rate, double step,
                                 std::error_code& ec) {
  // Written so that NaN fails every comparison into a refusal; infinity fails the step test.
  if (!(rate >= 0.01 && rate <= 1.0) || !(step > 0.0) || !std::isfinite(step)) {
    ec = makeErrorCode(258);
    return;
  }
  Json::Value result;
  _sendRequest(key, value, result, ec);
  if (ec) return;
  ec = makeErrorCode(resultCode(result));
  if (!ec) runtime_->jogging.store(true);
}

void MotionControl<1>::startJog(JogOpt::Space space, double rate, double step, unsigned index, bool direction,
                                std::error_code& ec) {
  _startJog("move.jog", jogValue(space, rate, step, index, direction), rate, step, ec);
}

void MotionControl<1>::startJogWithExt(JogOpt::Space space, double rate, double step, unsigned index, bool direction,
                                       std::string fixedName,  // NOLINT(performance-unnecessary-value-param)
                                       std::error_code& ec, bool isExt) {
  Json::Value value = jogValue(space, rate, step, index, direction);
  value["fixed_name"] = fixedName;
  value["is_ext"] = isExt;
  _startJog("move.jog_with_ext", value, rate, step, ec);
}

void MotionControl<1>::stop(int /*level*/, std::error_code& ec) {
  const char* key = "move.pause";
  Json::Value value;
  // Jogging ends here whatever the controller answers.
  if (runtime_->jogging.exchange(false)) {
    key = "move.stop";
    value["task_space"] = 1;
    runtime_->log(spdlog::level::info, fmt::format("uid: {} | stop jogging", logUid));
  } else {
    int running = kMotionRunning;
    runtime_->state.compare_exchange_strong(running, kMotionPaused);
  }
  Json::Value result;
  _sendRequest(key, value, result, ec);
  if (ec) return;
  const int code = resultCode(result);
  ec = makeErrorCode(code == -1 ? 769 : code);
}

}  // namespace velmora::internal
