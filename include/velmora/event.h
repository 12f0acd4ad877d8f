#pragma once
// Event information handed to the callbacks a program registers per `Event`.

#include <any>
#include <functional>
#include <string>
#include <unordered_map>

#include <velmora/enums.h>

namespace velmora {

/// Information of one event: named values of type int, bool, double, std::string or
/// std::error_code.
using EventInfo = std::unordered_map<std::string, std::any>;

/// A program's callback for one kind of event. An empty callback is never called.
using EventCallback = std::function<void(const EventInfo&)>;

}  // namespace velmora
