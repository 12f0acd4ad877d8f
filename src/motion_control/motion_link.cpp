#include "motion_control/motion_link.h"

#include <velmora/error.h>

#include <json/writer.h>

#include <atomic>
#include <chrono>

namespace velmora::internal {

// Interim: written over the link's lifecycle layer until its message layer lands.
namespace {
std::atomic<std::uint64_t> interimId{1};

std::string frameOf(const Json::Value& message) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, message) + '\r';
}

bool sendFrame(XService& link, const Json::Value& message, std::error_code& ec) {
  if (!link.client.send(frameOf(message))) {
    ec = makeErrorCode(256);
    return false;
  }
  return true;
}
}  // namespace

void sendCommandWithId(XService& link, const Json::Value& request, const std::string& cmdID, std::error_code& ec) {
  ec = makeErrorCode(0);
  Json::Value message;
  message["c"] = request;
  message["id"] = cmdID;
  sendFrame(link, message, ec);
}

void sendCommand(XService& link, const std::string& key, const Json::Value& value, Json::Value& result,
                 std::error_code& ec) {
  ec = makeErrorCode(0);
  const auto id = interimId++;
  Json::Value message;
  message["c"][key] = value;
  message["id"] = Json::UInt64(id);
  ReplyWaiters::Ticket ticket(link.waiters, id);
  if (!sendFrame(link, message, ec)) return;
  Json::Value reply;
  ec = ticket.wait(reply, std::chrono::steady_clock::now() + std::chrono::seconds(10));
  if (ec) return;
  if (!reply["c"].isObject() || !reply["c"].isMember(key)) {
    ec = makeErrorCode(257);
    return;
  }
  result = reply["c"][key];
}

void setValue(XService& link, const std::string& key, const Json::Value& value, std::error_code& ec) {
  ec = makeErrorCode(0);
  const auto id = interimId++;
  Json::Value message;
  message["s"][key] = value;
  message["id"] = Json::UInt64(id);
  ReplyWaiters::Ticket ticket(link.waiters, id);
  if (!sendFrame(link, message, ec)) return;
  Json::Value reply;
  ec = ticket.wait(reply, std::chrono::steady_clock::now() + std::chrono::seconds(10));
  if (ec) return;
  if (!reply["s"].isObject() || !reply["s"].isMember(key) || !reply["s"][key].isInt()) {
    ec = makeErrorCode(257);
    return;
  }
  ec = makeErrorCode(reply["s"][key].asInt());
}

void sendCommandNoReply(XService& link, const std::string& key, const Json::Value& value, const void*,
                        std::error_code& ec) {
  ec = makeErrorCode(0);
  Json::Value message;
  message["c"][key] = value;
  message["id"] = Json::UInt64(interimId++);
  sendFrame(link, message, ec);
}

void forgetReplies(XService&, const void*) {}

void watch(XService& link, const std::string& topic, bool on, std::error_code& ec) {
  ec = makeErrorCode(0);
  Json::Value message;
  message["w"][topic] = on;
  message["id"] = Json::UInt64(interimId++);
  sendFrame(link, message, ec);
}

void setMotionCallback(XService& link, std::function<void(const Json::Value&)> callback) {
  std::lock_guard<std::mutex> lock(link.callbackMutex);
  link.motionCallback = std::move(callback);
}

std::shared_ptr<spdlog::logger> robotLogger(XService& link) { return link.logger; }

}  // namespace velmora::internal
