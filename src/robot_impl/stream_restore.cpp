// The state stream across a reconnection of the command link: a restarted controller knows
// neither where the stream goes nor what it carries, so both are told again. Everything here
// runs on the link's I/O thread and waits for nothing; the replies come back as callbacks.

#include <velmora/error.h>

#include <chrono>
#include <memory>
#include <set>

#include "common/globals.h"
#include "common/json_read.h"
#include "common/operation_log.h"
#include "robot_impl/robot_impl.h"

namespace velmora {

namespace {

// The controller accepted a request: the set form answers the integer 0, the command form 0 or
// nothing.
bool accepted(const Json::Value& reply, const char* form, const char* key) {
  const Json::Value& value = internal::member(internal::member(reply, form), key);
  if (*form == 'c' && value.isNull()) return true;
  int code = -1;
  return internal::readInt(value, code) && code == 0;
}

}  // namespace

void BaseRobot::Impl::restoreStateStream() noexcept {
  try {
    std::string address;
    int interval = 0;
    std::uint64_t start = 0;
    {
      std::lock_guard<std::mutex> lock(streamMutex_);
      address = streamAddress_;
      interval = streamInterval_;
      start = streamStarts_;
    }
    std::error_code ec;
    if (!address.empty()) {
      service->setValueAsync(
          "eci.ip", Json::Value(address),
          [this](const Json::Value& reply) {
            if (accepted(reply, "s", "eci.ip")) return;
            internal::logOperation(service->logger(), spdlog::level::warn,
                                   "uid: {} | the controller refused the local address again", internal::logUid);
          },
          ec, this);
    }
    if (!receiver->isReceiving()) return;

    // True for an accepted reply. Acts only while no other start came between: that one told
    // the controller itself.
    const auto stopIfRefused = [this, start](const Json::Value& reply, const char* form, const char* key) {
      const bool ok = accepted(reply, form, key);
      std::lock_guard<std::mutex> lock(streamMutex_);
      if (streamStarts_ != start) return false;
      if (ok) return true;
      receiver->markStopped();
      internal::logOperation(service->logger(), spdlog::level::warn,
                             "uid: {} | state stream not restored: {} refused, marked stopped", internal::logUid, key);
      return false;
    };
    const auto firstPacketWait = std::chrono::nanoseconds(service->options().firstPacketWait);
    // Bounded even when no reply ever comes: the stream is then marked stopped by its reader.
    receiver->expectBy(std::chrono::steady_clock::now() + service->requestWait() + firstPacketWait);

    Json::Value names(Json::arrayValue);
    for (const std::string& name : receiver->fieldSet()) names.append(name);
    // The port and the start follow only an accepted subscription: a controller publishing
    // other fields than the receiver decodes would fill nothing.
    const auto onFields = [this, stopIfRefused, interval, firstPacketWait](const Json::Value& reply) {
      if (!stopIfRefused(reply, "s", "eci.fields.out")) return;
      std::error_code sent;
      // As at a start, a refused port is only logged: the controller may send to the one it knew.
      Json::Value broadcastIn(Json::objectValue);
      broadcastIn["broadcast_in"] = receiver->port();
      service->setValueAsync(
          "eci.port", broadcastIn,
          [this](const Json::Value& portReply) {
            if (accepted(portReply, "s", "eci.port")) return;
            internal::logOperation(service->logger(), spdlog::level::info,
                                   "uid: {} | state data port not restored, the controller refused it",
                                   internal::logUid);
          },
          sent, this);
      service->sendCommandAsync(
          "eci.pub.start", Json::Value(interval),
          [this, stopIfRefused, firstPacketWait](const Json::Value& startReply) {
            if (stopIfRefused(startReply, "c", "eci.pub.start")) {
              receiver->expectBy(std::chrono::steady_clock::now() + firstPacketWait);
            }
          },
          sent, this);
    };
    service->setValueAsync("eci.fields.out", names, onFields, ec, this);
    // A send that failed means the link is down again: the next connection restores.
    internal::logOperation(service->logger(), spdlog::level::info,
                           "uid: {} | state stream asked for again: port {}, {} ms, {} field(s){}", internal::logUid,
                           receiver->port(), interval, names.size(), ec ? " (link down)" : "");
  } catch (...) {
    // Only memory exhaustion gets here; the reader marks the stream stopped when nothing comes.
  }
}

}  // namespace velmora
