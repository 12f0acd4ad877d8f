#include <json/reader.h>

#include <memory>

#include "network/xservice.h"

namespace velmora::internal {

// Replies by numeric id reach their waiting request; everything else is left to the message
// layer's dispatch.
void XService::onReceive(std::string_view data) {
  const auto cr = data.rfind('\r');
  if (cr != std::string_view::npos) data = data.substr(0, cr);
  static thread_local const std::unique_ptr<Json::CharReader> reader = [] {
    Json::CharReaderBuilder builder;
    return std::unique_ptr<Json::CharReader>(builder.newCharReader());
  }();
  Json::Value message;
  if (data.empty() || !reader->parse(data.data(), data.data() + data.size(), &message, nullptr)) return;
  if (!message.isObject() || message.size() < 2 || message.isMember("n")) return;
  const Json::Value& id = message["id"];
  if (!id.isUInt64()) return;
  waiters.deliver(id.asUInt64(), message);
}

}  // namespace velmora::internal
