#pragma once
// The command-port keys of the state stream, as the simulator's command service answers them.
//
//   "eci.fields.out"  s form, value: array of field names        -> 0, or 1 when refused
//   "eci.port"        g form                                      -> {"broadcast": B, "rt": R}
//                     s form, value: {"broadcast_in": port}       -> 0 (stream goes there), or -1
//   "eci.pub.start"   c form, value: interval in whole ms         -> 0 (stream starts), or -1
//   "eci.pub.stop"    c form, value: null                         -> 0 (stream stops)

#include <json/value.h>

#include <chrono>
#include <optional>
#include <string>

#include "velmora_sim/state_publisher.h"

namespace velmora::sim {

struct StateKeySettings {
  unsigned rtPort = 1337;         // member "rt" of "eci.port"
  unsigned broadcastPort = 1338;  // member "broadcast"; the stream goes there until told otherwise
  /// When positive, publish at this interval instead of the request's whole milliseconds (the
  /// only way to reach the 2, 4 and 8 kHz streams).
  std::chrono::nanoseconds intervalOverride{0};
};

/// Answers one request for a key above. `form` is 'c', 'g', 's' or 'w'; `clientAddress` is the
/// client's address on its command connection, where the stream is sent. Returns the reply
/// value, or nullopt when this is not one of these keys in one of these forms.
std::optional<Json::Value> handleStateKey(StatePublisher& publisher, const StateKeySettings& settings, char form,
                                          const std::string& key, const Json::Value& value,
                                          const std::string& clientAddress);

}  // namespace velmora::sim
