#include "velmora_sim/state_commands.h"

#include <vector>

namespace velmora::sim {

namespace {

Json::Value fieldsOut(StatePublisher& publisher, const Json::Value& value) {
  if (!value.isArray()) return 1;
  std::vector<std::string> names;
  for (const Json::Value& name : value) {
    if (!name.isString()) return 1;
    names.push_back(name.asString());
  }
  return publisher.setFields(names) ? 0 : 1;
}

Json::Value setBroadcastIn(StatePublisher& publisher, const Json::Value& value, const std::string& clientAddress) {
  if (!value.isObject() || !value["broadcast_in"].isInt()) return -1;
  const int port = value["broadcast_in"].asInt();
  if (port <= 0 || port > 0xFFFF) return -1;
  return publisher.setTarget(clientAddress, static_cast<unsigned short>(port)) ? 0 : -1;
}

Json::Value pubStart(StatePublisher& publisher, const StateKeySettings& settings, const Json::Value& value,
                     const std::string& clientAddress) {
  if (!value.isInt()) return -1;
  if (!publisher.hasTarget() &&
      !publisher.setTarget(clientAddress, static_cast<unsigned short>(settings.broadcastPort))) {
    return -1;
  }
  // The controller publishes at least once per millisecond cycle.
  std::chrono::nanoseconds interval = std::chrono::milliseconds(value.asInt() < 1 ? 1 : value.asInt());
  if (settings.intervalOverride > std::chrono::nanoseconds::zero()) interval = settings.intervalOverride;
  publisher.start(interval);
  return 0;
}

}  // namespace

std::optional<Json::Value> handleStateKey(StatePublisher& publisher, const StateKeySettings& settings, char form,
                                          const std::string& key, const Json::Value& value,
                                          const std::string& clientAddress) {
  if (key == "eci.fields.out" && form == 's') return fieldsOut(publisher, value);
  if (key == "eci.port" && form == 'g') {
    Json::Value ports(Json::objectValue);
    ports["broadcast"] = settings.broadcastPort;
    ports["rt"] = settings.rtPort;
    return ports;
  }
  if (key == "eci.port" && form == 's') return setBroadcastIn(publisher, value, clientAddress);
  if (key == "eci.pub.start" && form == 'c') return pubStart(publisher, settings, value, clientAddress);
  if (key == "eci.pub.stop" && form == 'c') {
    publisher.stop();
    return 0;
  }
  return std::nullopt;
}

}  // namespace velmora::sim
