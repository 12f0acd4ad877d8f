#include <json/reader.h>

#include "common/globals.h"
#include "common/json_read.h"
#include "common/logging.h"
#include "network/xservice/reply_text.h"
#include "network/xservice/xservice.h"
#include "network/xservice/xservice_dispatching.h"

namespace velmora::internal {

namespace {

constexpr std::string_view kMotionTopic = "move.last_error_with_setting";

const Json::Value* find(const Json::Value& object, std::string_view key) noexcept {
  return object.find(key.data(), key.data() + key.size());
}

}  // namespace

// Whatever the controller sends, nothing escapes this function: the I/O thread must survive
// any input (an exception would end it and leave every request to time out).
void XService::onReceive(std::string_view data) noexcept {
  const Dispatching mark(this);
  const auto cr = data.rfind('\r');
  if (cr != std::string_view::npos) data = data.substr(0, cr);
  try {
    // A reply that a request waits for goes to it as text: its own thread parses it, so this
    // thread only finds the id.
    std::uint64_t id = 0;
    if (replyIdOf(data, id) && waiters_.deliverText(id, data)) return;
    Json::Value message;
    // The reader refuses nesting deeper than its limit by throwing; caught below like the rest.
    if (data.empty() || !messageReader().parse(data.data(), data.data() + data.size(), &message, nullptr)) {
      noteDropped("not JSON", data.size());
      return;
    }
    if (!message.isObject()) {
      noteDropped("not an object", data.size());
      return;
    }
    // The controller's rule: an object of one member is never delivered, not even a reply.
    if (message.size() < 2) return;
    dispatch(message, data.size());
  } catch (const std::exception& e) {
    noteDropped(e.what(), data.size());
  } catch (...) {
    noteDropped("non-standard exception", data.size());
  }
}

void XService::dispatch(Json::Value& message, std::size_t bytes) {
  if (const Json::Value* topics = find(message, "n")) {
    if (!topics->isObject()) {
      noteDropped("\"n\" is not an object", bytes);
      return;
    }
    const bool motion = find(*topics, kMotionTopic) != nullptr;
    // A notification carrying the motion topic beside others feeds both owners.
    if (motion) runCallback(motionCallback_, kMotion, message);
    if (!motion || topics->size() > 1) runCallback(notificationCallback_, kNotification, message);
    return;
  }
  const Json::Value* id = find(message, "id");
  if (id == nullptr) {
    noteDropped("no \"id\"", bytes);
    return;
  }
  if (id->isString()) {
    runCallback(motionCallback_, kMotion, message);
    return;
  }
  // Integers only: a real, a flag or a negative number never names a request.
  const bool integer = id->type() == Json::uintValue || (id->type() == Json::intValue && id->asLargestInt() >= 0);
  if (!integer) {
    noteDropped("\"id\" is not a non-negative integer", bytes);
    return;
  }
  // The waiter takes the message by swap: the parse result is ours to give away.
  dispatchReply(id->asLargestUInt(), message);
}

bool XService::claimReply(std::string_view data) noexcept {
  const auto cr = data.rfind('\r');
  if (cr != std::string_view::npos) data = data.substr(0, cr);
  try {
    if (waiters_.takeOwnReply(data)) return true;
    std::uint64_t id = 0;
    if (!replyIdOf(data, id)) return false;
    if (waiters_.deliverText(id, data)) return true;
    // A reply nobody waits for and no callback wants (a watch's, or one come too late) would
    // only be dropped on the I/O thread; dropped here, it holds up nothing read after it. A
    // callback is stored before its request leaves, so it is already here if there is one.
    std::lock_guard<std::mutex> lock(callbackMutex_);
    return replyCallbacks_.find(id) == replyCallbacks_.end();
  } catch (...) {
    return false;  // the I/O thread takes it the full way
  }
}

void XService::noteDropped(const char* why, std::size_t bytes) noexcept {
  // One line per second at most: a controller that floods garbage must not flood the log.
  try {
    std::lock_guard<std::mutex> lock(dropMutex_);
    ++droppedSinceLog_;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDropLog_ < std::chrono::seconds(1)) return;
    lastDropLog_ = now;
    globalLogger()->warn("uid: {} | xService {}:{} dropped a message ({}, {} bytes; {} dropped since last said)",
                         logUid, host_, port_, why, bytes, droppedSinceLog_);
    droppedSinceLog_ = 0;
  } catch (...) {
  }
}

}  // namespace velmora::internal
