// Notifications pushed by the controller are untrusted: any value under any event topic must go
// through the robot's dispatcher without an exception, a crash or undefined behaviour, and what
// the event information holds afterwards keeps its documented types.
#include <json/reader.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "robot_impl/robot_impl.h"

using namespace velmora;

namespace {

using fuzz::require;

BaseRobot::Impl& robot() {
  // Empty callbacks: the handlers read and store everything, but no delivery thread starts.
  static BaseRobot::Impl* impl = [] {
    auto* created = new BaseRobot::Impl();
    std::error_code ec;
    for (Event event : {Event::safety, Event::rlExecution, Event::logReporter}) {
      created->setEventWatcher(event, EventCallback(), ec);
    }
    return created;
  }();
  return *impl;
}

template <typename T>
void requireKinds(const EventInfo& info, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    const auto it = info.find(key);
    require(it != info.end() && std::any_cast<T>(&it->second) != nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  Json::Value value;
  if (!fuzz::parseJson(text, text + size, value)) value = std::string(text, size);

  BaseRobot::Impl& impl = robot();
  // The value as the whole message, as the "n" object, and under each topic alone and bundled.
  impl.onNotification(value);
  Json::Value message(Json::objectValue);
  message["id"] = 1;
  message["n"] = value;
  impl.onNotification(message);
  Json::Value bundle(Json::objectValue);
  for (const char* topic : {"safety.event.collision", "project.tasks_pointer", "log.user"}) {
    Json::Value single(Json::objectValue);
    single[topic] = value;
    message["n"] = single;
    impl.onNotification(message);
    bundle[topic] = value;
  }
  message["n"] = bundle;
  impl.onNotification(message);

  requireKinds<bool>(impl.queryEventInfo(Event::safety), {"collided"});
  requireKinds<int>(impl.queryEventInfo(Event::logReporter), {"ecode"});
  requireKinds<std::string>(impl.queryEventInfo(Event::logReporter), {"edetail"});
  requireKinds<int>(impl.queryEventInfo(Event::rlExecution), {"lookaheadLine", "executeLine"});
  requireKinds<std::string>(impl.queryEventInfo(Event::rlExecution), {"taskName", "lookaheadFile", "executeFile"});
  return 0;
}
