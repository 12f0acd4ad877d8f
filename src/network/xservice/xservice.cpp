#include "network/xservice/xservice.h"

#include <velmora/error.h>

#include "common/globals.h"
#include "common/logging.h"
#include "network/xservice/reply_text.h"
#include "network/xservice/xservice_dispatching.h"

namespace velmora::internal {

namespace {

void logCallbackFailure(const char* what, const char* text) noexcept {
  try {
    globalLogger()->error("uid: {} | xService {} callback threw: {}", logUid, what, text);
  } catch (...) {
  }
}

const char* slotName(unsigned slot) noexcept {
  switch (slot) {
    case 1:
      return "connection";
    case 2:
      return "motion";
    case 4:
      return "notification";
    default:
      return "reply";
  }
}

}  // namespace

namespace {

TcpClientOptions commandLinkOptions() {
  TcpClientOptions options;
  options.maxUnsentBytes = XService::kMaxUnsentBytes;
  return options;
}

}  // namespace

XService::XService(LinkOptions options) : options_(options), client_(commandLinkOptions()) {
  _bind();
  // Requests read their own replies off the socket while nobody else reads it.
  waiters_.setReader(&client_);
  waiters_.setDropNote([this](const char* why, std::size_t bytes) { noteDropped(why, bytes); });
  client_.setClaim([this](std::string_view message) { return claimReply(message); });
}

XService::~XService() { stop(); }

std::chrono::nanoseconds XService::requestWait() const noexcept { return options_.requestWait; }

void XService::_bind() {
  // The handlers never change, so they are bound once rather than at every `connect`.
  client_.setHandlers([this](const std::error_code& ec) { handleConnect(ec); },
                      [this](std::string_view data) { onReceive(data); },
                      [this](const std::error_code&) { handleDisconnect(); });
}

void XService::connect(const std::string& ip, int newPort) {
  // The I/O thread reads the address for its log lines.
  client_.stop();
  host_ = ip;
  port_ = newPort;
  if (!transfer_) transfer_ = std::make_shared<XTransfer>(options_.fileVerdictWait);
  transfer_->connect(ip, options_.fileLinkPort);
}

void XService::start(std::error_code& ec, bool awaitFileLink) {
  ec = makeErrorCode(0);
  if (linkState_ == 1) return;
  // An empty host would resolve to the local machine; never open a socket for it.
  if (host_.empty() || port_ <= 0 || port_ > 65535 || client_.start(host_, static_cast<std::uint16_t>(port_))) {
    linkState_ = 2;
    ec = makeErrorCode(256);
    return;
  }
  // The first requests on a link wait as its handshake suggests, before any reply has told.
  waiters_.seedRoundTrip(client_.handshakeTime());
  if (!transfer_) return;
  if (!awaitFileLink) {
    // Unless the caller waits for it, the file link is launched by the next request, while
    // that request's reply is on its way: its thread then wakes in time nobody waits for.
    std::lock_guard<std::mutex> lock(fileLaunchMutex_);
    fileLinkDue_.store(true, std::memory_order_relaxed);
    return;
  }
  // A transfer_ in progress owns the file link (and has it connected); never restart it under it.
  std::unique_lock<std::mutex> transferLock(transferMutex_, std::try_to_lock);
  if (transferLock) {
    std::error_code fileEc;
    transfer_->start(fileEc);
    if (fileEc) globalLogger()->info("uid: {} | FileTransfer connect failed ({})", logUid, fileEc.value());
  }
}

void XService::launchDueFileLink() noexcept {
  std::lock_guard<std::mutex> lock(fileLaunchMutex_);
  if (!fileLinkDue_.exchange(false, std::memory_order_relaxed)) return;
  // A transfer in progress owns the file link and connects it itself. (Due only once a start
  // found the transfer made; it is never unmade.)
  std::unique_lock<std::mutex> transferLock(transferMutex_, std::try_to_lock);
  if (!transferLock) return;
  try {
    transfer_->launch();
  } catch (...) {
    // Not launched: a transfer starts the file link itself.
  }
}

void XService::stop() {
  {
    // Cleared first: a request that launches the file link after this stop would leave it open.
    std::lock_guard<std::mutex> lock(fileLaunchMutex_);
    fileLinkDue_.store(false, std::memory_order_relaxed);
  }
  client_.stop();
  if (transfer_) transfer_->stop();
}

void XService::handleConnect(const std::error_code& ec) {
  const Dispatching mark(this);
  if (ec) {
    linkState_ = 2;
    return;
  }
  linkState_ = 1;
  globalLogger()->info("uid: {} | xService {}:{} connect", logUid, host_, port_);
  runCallback(connectionHandler_, kConnection, true);
}

void XService::handleDisconnect() {
  const Dispatching mark(this);
  linkState_ = 2;
  // Every waiter is failed under the waiters' lock, so none can test the state and then sleep
  // through the wake-up.
  waiters_.failAll(makeErrorCode(256));
  {
    // Their replies cannot come on a later connection; what they captured may be gone by then.
    std::unordered_map<std::uint64_t, ReplyCallback> orphaned;
    {
      std::lock_guard<std::mutex> lock(callbackMutex_);
      orphaned.swap(replyCallbacks_);
    }
  }
  globalLogger()->info("uid: {} | xService {}:{} disconnect", logUid, host_, port_);
  runCallback(connectionHandler_, kConnection, false);
}

// ---- Callbacks ----

bool XService::insideOwnCallback() const noexcept { return Dispatching::current() == this; }

void XService::waitIdle(unsigned slots, const void* owner, std::unique_lock<std::mutex>& lock) {
  if (insideOwnCallback()) return;
  auto busy = [&] {
    if ((running_ & slots & ~static_cast<unsigned>(kReply)) != 0) return true;
    return (slots & kReply) != 0 && (running_ & kReply) != 0 && runningReplyOwner_ == owner;
  };
  ++idleWaiters_;
  // As long as the running callback takes; say so when that is unusually long.
  while (!callbackIdle_.wait_for(lock, std::chrono::seconds(1), [&] { return !busy(); })) {
    try {
      globalLogger()->warn("uid: {} | xService {}:{} still waiting for a running {} callback", logUid, host_, port_,
                           slotName(running_));
    } catch (...) {
    }
  }
  --idleWaiters_;
}

template <typename Callable>
void XService::replaceCallback(std::shared_ptr<const Callable>& slot, Callable callable, Slot which) {
  std::shared_ptr<const Callable> fresh;
  if (callable) fresh = std::make_shared<const Callable>(std::move(callable));
  std::shared_ptr<const Callable> old;
  {
    std::unique_lock<std::mutex> lock(callbackMutex_);
    old = std::move(slot);
    slot = std::move(fresh);
    waitIdle(which, nullptr, lock);
  }
  // `old` goes here, outside the lock: its captures may take locks of their own.
}

template <typename Callable, typename Arg>
void XService::runCallback(const std::shared_ptr<const Callable>& slot, Slot which, const Arg& arg) {
  std::shared_ptr<const Callable> callback;
  {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    if (!slot) return;
    callback = slot;
    running_ |= which;
  }
  try {
    (*callback)(arg);
  } catch (const std::exception& e) {
    logCallbackFailure(slotName(which), e.what());
  } catch (...) {
    logCallbackFailure(slotName(which), "non-standard exception");
  }
  // A replaced callable is released here, before a waiting setter is let go.
  callback.reset();
  std::lock_guard<std::mutex> lock(callbackMutex_);
  running_ &= ~static_cast<unsigned>(which);
  if (idleWaiters_ > 0) callbackIdle_.notify_all();
}

// The message callbacks are run from the receive path.
template void XService::runCallback<XService::MessageCallback, Json::Value>(
    const std::shared_ptr<const MessageCallback>&, Slot, const Json::Value&);

void XService::setConnectionHandler(ConnectionHandler handler) {
  replaceCallback(connectionHandler_, std::move(handler), kConnection);
}

void XService::setMotionCallback(MessageCallback callback) {
  replaceCallback(motionCallback_, std::move(callback), kMotion);
}

void XService::setNotificationCallback(MessageCallback callback) {
  replaceCallback(notificationCallback_, std::move(callback), kNotification);
}

void XService::clearReplyCallbacks(const void* owner) {
  std::vector<MessageCallback> dropped;
  {
    std::unique_lock<std::mutex> lock(callbackMutex_);
    // Again after the wait: a callback of the owner that was running may have sent a request
    // with a callback of its own.
    bool found = true;
    while (found) {
      found = false;
      for (auto it = replyCallbacks_.begin(); it != replyCallbacks_.end();) {
        if (it->second.owner == owner) {
          found = true;
          dropped.push_back(std::move(it->second.callback));
          it = replyCallbacks_.erase(it);
        } else {
          ++it;
        }
      }
      waitIdle(kReply, owner, lock);
    }
  }
}

std::size_t XService::pendingReplyCallbacks() const {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  return replyCallbacks_.size();
}

void XService::dispatchReply(std::uint64_t id, Json::Value& message) {
  if (waiters_.deliver(id, message)) return;
  ReplyCallback entry;
  {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    const auto it = replyCallbacks_.find(id);
    if (it == replyCallbacks_.end()) return;  // late, unclaimed or a watch reply: nobody wants it
    entry = std::move(it->second);
    replyCallbacks_.erase(it);
    running_ |= kReply;
    runningReplyOwner_ = entry.owner;
  }
  try {
    entry.callback(message);
  } catch (const std::exception& e) {
    logCallbackFailure("reply", e.what());
  } catch (...) {
    logCallbackFailure("reply", "non-standard exception");
  }
  entry.callback = nullptr;
  std::lock_guard<std::mutex> lock(callbackMutex_);
  running_ &= ~static_cast<unsigned>(kReply);
  runningReplyOwner_ = nullptr;
  if (idleWaiters_ > 0) callbackIdle_.notify_all();
}

std::shared_ptr<spdlog::logger> XService::logger() const {
  std::lock_guard<std::mutex> lock(loggerMutex_);
  return logger_;
}

void XService::setLogger(std::shared_ptr<spdlog::logger> logger) {
  std::lock_guard<std::mutex> lock(loggerMutex_);
  logger_.swap(logger);
}

}  // namespace velmora::internal
