#pragma once
// What motion control needs of its command link, in one place: the request forms it sends, the
// callback it installs, the robot's log, and how it reads the integer results of its requests.

#include <json/value.h>
#include <spdlog/logger.h>

#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "network/xservice.h"

namespace velmora::internal {

/// {"c": request, "id": "<cmdID>"} without waiting; 256 in `ec` when it cannot be sent.
void sendCommandWithId(XService& link, const Json::Value& request, const std::string& cmdID, std::error_code& ec);
/// The command form with the link's default wait (10 s); `result` is the reply's value under
/// the key.
void sendCommand(XService& link, const std::string& key, const Json::Value& value, Json::Value& result,
                 std::error_code& ec);
/// The set form; `ec` is the controller's code.
void setValue(XService& link, const std::string& key, const Json::Value& value, std::error_code& ec);
/// The command form with a numeric id, not waiting; the reply is dropped. `owner` scopes the
/// reply callback so that `forgetReplies` can drop it.
void sendCommandNoReply(XService& link, const std::string& key, const Json::Value& value, const void* owner,
                        std::error_code& ec);
/// Drops the pending reply callbacks registered for `owner`.
void forgetReplies(XService& link, const void* owner);
/// {"w": {topic: on}} without waiting.
void watch(XService& link, const std::string& topic, bool on, std::error_code& ec);
/// Replaces the link's motion callback; on return no earlier callback runs any more (unless
/// called from inside one).
void setMotionCallback(XService& link, std::function<void(const Json::Value&)> callback);
/// The robot's own log, or null.
std::shared_ptr<spdlog::logger> robotLogger(XService& link);

}  // namespace velmora::internal
