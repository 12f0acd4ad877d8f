// The event watcher: watches per event, the dispatch of pushed notifications to the handlers of
// their topics, the information store and the delivery of the program's callbacks.

#include <velmora/error.h>

#include <climits>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/globals.h"
#include "common/json_read.h"
#include "common/logging.h"
#include "common/operation_log.h"
#include "robot_impl/event_delivery.h"
#include "robot_impl/robot_impl.h"

namespace velmora {

namespace {

constexpr std::size_t index(Event event) { return static_cast<std::size_t>(event); }

constexpr const char* kCollisionTopic = "safety.event.collision";
constexpr const char* kTaskPointerTopic = "project.tasks_pointer";
constexpr const char* kLogTopic = "log.user";
constexpr const char* kLastErrorTopic = "move.last_error_with_setting";

bool knownEvent(Event event) { return index(event) < 4; }

bool watcherEvent(Event event) {
  return event == Event::safety || event == Event::rlExecution || event == Event::logReporter;
}

// The event whose handler takes a notification topic. The motion topic has none here: motion
// control takes it from the link.
bool topicEvent(std::string_view topic, Event& event) {
  if (topic == kCollisionTopic) {
    event = Event::safety;
  } else if (topic == kTaskPointerTopic) {
    event = Event::rlExecution;
  } else if (topic == kLogTopic) {
    event = Event::logReporter;
  } else {
    return false;
  }
  return true;
}

const char* eventName(Event event) {
  switch (event) {
    case Event::moveExecution:
      return "moveExecution";
    case Event::safety:
      return "safety";
    case Event::rlExecution:
      return "rlExecution";
    case Event::logReporter:
      return "logReporter";
  }
  return "unknown";
}

void resetInfo(Event event, EventInfo& info) {
  // Assigned key by key, as the store is kept between watches.
  switch (event) {
    case Event::safety:
      info["collided"] = false;
      break;
    case Event::rlExecution:
      info["taskName"] = std::string();
      info["lookaheadFile"] = std::string();
      info["lookaheadLine"] = 0;
      info["executeFile"] = std::string();
      info["executeLine"] = 0;
      break;
    case Event::logReporter:
      info["ecode"] = 0;
      info["edetail"] = std::string();
      break;
    default:
      break;
  }
}

// The controller counts lines from 1; a line outside int's range cannot be moved down by one.
int lineIndex(int line) { return line == INT_MIN ? INT_MIN : line - 1; }

void warnUnreadable(const char* topic, const internal::JsonReadStatus& status) {
  try {
    internal::globalLogger()->warn("uid: {} | notification {} dropped: {}", internal::logUid, topic, status.describe());
  } catch (...) {
  }
}

struct TaskPointer {
  std::string taskName;
  bool lookahead = false;
  std::string lookaheadFile;
  int lookaheadLine = 0;
  bool execute = false;
  std::string executeFile;
  int executeLine = 0;
};

// One line object ("adv_line" or "exe_line"): taken only when its file name is not empty.
bool readLine(const Json::Value& entry, const char* name, bool& present, std::string& file, int& line,
              internal::JsonReadStatus& status) {
  if (!internal::hasMember(entry, name)) return true;
  const Json::Value& object = internal::member(entry, name);
  if (!internal::readString(internal::member(object, "file_name"), file, status, name)) return false;
  if (file.empty()) return true;
  int number = 0;
  if (!internal::readInt(internal::member(object, "line"), number, status, name)) return false;
  present = true;
  line = lineIndex(number);
  return true;
}

}  // namespace

namespace internal {

const std::unordered_map<Event, std::vector<std::string>>& EventTopicTable() {
  static const std::unordered_map<Event, std::vector<std::string>> table{
      {Event::moveExecution, {kLastErrorTopic}},
      {Event::safety, {kCollisionTopic}},
      {Event::rlExecution, {kTaskPointerTopic}},
      {Event::logReporter, {kLogTopic}},
  };
  return table;
}

}  // namespace internal

void BaseRobot::Impl::setEventWatcher(Event event, const EventCallback& callback, std::error_code& ec) {
  if (watcherEvent(event)) {
    watchEvent(event, callback);
    return;
  }
  if (event != Event::moveExecution) return;
  if (!motionControl) {
    ec = internal::makeErrorCode(255);
    return;
  }
  // The callback is in place before the watch goes out, so the first report finds it.
  motionControl->setExecutionInfoCallback(callback);
  std::error_code watchEc;
  service->watch(kLastErrorTopic, true, watchEc);
  if (watchEc) ec = watchEc;
}

void BaseRobot::Impl::watchEvent(Event event, const EventCallback& callback) {
  {
    std::lock_guard<std::mutex> lock(eventMutex_);
    resetInfo(event, eventInfo_[index(event)]);
    watchedEvents_[index(event)] = true;
  }
  auto handler = std::make_shared<internal::EventChannel>(callback);
  {
    std::lock_guard<std::mutex> lock(topicMutex_);
    topicHandlers_[index(event)].swap(handler);
  }
  // The old callback is let go outside the lock, once no call of it runs: the program may free
  // what it captured as soon as this returns. A failed watch is not reported: the handler is in
  // place and the next connection watches again.
  internal::closeEventChannels(&handler, 1);
  handler.reset();
  std::error_code ignored;
  for (const auto& topic : internal::EventTopicTable().at(event)) service->watch(topic, true, ignored);
}

void BaseRobot::Impl::resetEventWatcher(bool motionWatched) noexcept {
  try {
    std::array<bool, kEvents> watched{};
    {
      std::lock_guard<std::mutex> lock(eventMutex_);
      watched = watchedEvents_;
    }
    std::string names;
    std::error_code ignored;
    // In the order of the events' values, so the log line reads the same every time.
    for (std::size_t i = 0; i < kEvents; ++i) {
      if (!watched[i]) continue;
      const auto event = static_cast<Event>(i);
      names.append(eventName(event)).push_back(' ');
      if (motionWatched && event == Event::moveExecution) continue;
      for (const auto& topic : internal::EventTopicTable().at(event)) service->watch(topic, true, ignored);
    }
    internal::logOperation(service->logger(), spdlog::level::info, "uid: {} | re-watch event: {}", internal::logUid,
                           names);
  } catch (...) {
    // Only memory exhaustion gets here; the watches then go out with the next connection.
  }
}

EventInfo BaseRobot::Impl::queryEventInfo(Event event) const {
  if (!knownEvent(event)) return {};
  std::lock_guard<std::mutex> lock(eventMutex_);
  return eventInfo_[index(event)];
}

bool BaseRobot::Impl::eventWatched(Event event) const {
  if (!knownEvent(event)) return false;
  std::lock_guard<std::mutex> lock(eventMutex_);
  return watchedEvents_[index(event)];
}

void BaseRobot::Impl::onNotification(const Json::Value& message) noexcept {
  const Json::Value& topics = internal::member(message, "n");
  if (!topics.isObject()) return;
  for (auto it = topics.begin(); it != topics.end(); ++it) {
    const char* end = nullptr;
    const char* name = it.memberName(&end);
    Event event{};
    if (name == nullptr || !topicEvent(std::string_view(name, static_cast<std::size_t>(end - name)), event)) continue;
    std::shared_ptr<internal::EventChannel> channel;
    {
      std::lock_guard<std::mutex> lock(topicMutex_);
      channel = topicHandlers_[index(event)];
    }
    if (!channel) continue;
    // One topic failing never keeps the others of the same notification from their handlers.
    try {
      switch (event) {
        case Event::safety:
          onCollisionEvent(*it, channel);
          break;
        case Event::rlExecution:
          onTaskPointerEvent(*it, channel);
          break;
        default:
          onLogReporterEvent(*it, channel);
          break;
      }
    } catch (const std::exception& e) {
      try {
        internal::globalLogger()->warn("uid: {} | notification handler failed: {}", internal::logUid, e.what());
      } catch (...) {
      }
    } catch (...) {
    }
  }
}

void BaseRobot::Impl::onCollisionEvent(const Json::Value& value,
                                       const std::shared_ptr<internal::EventChannel>& channel) {
  internal::JsonReadStatus status;
  bool collided = false;
  if (!internal::readBool(value, collided, status, kCollisionTopic)) {
    warnUnreadable(kCollisionTopic, status);
    return;
  }
  EventInfo copy;
  {
    std::lock_guard<std::mutex> lock(eventMutex_);
    EventInfo& info = eventInfo_[index(Event::safety)];
    info["collided"] = collided;
    if (channel->calls) copy = info;
  }
  internal::deliverEvent(channel, std::move(copy));
}

void BaseRobot::Impl::onLogReporterEvent(const Json::Value& value,
                                         const std::shared_ptr<internal::EventChannel>& channel) {
  internal::JsonReadStatus status;
  int error = 0;
  std::string detail;
  bool read = false;
  if (value.isObject()) {
    read = internal::readInt(internal::member(value, "error"), error, status, "error") &&
           internal::readString(internal::member(value, "data"), detail, status, "data");
  } else {
    read = internal::readInt(value, error, status, kLogTopic);
  }
  if (!read) {
    warnUnreadable(kLogTopic, status);
    return;
  }
  EventInfo copy;
  {
    std::lock_guard<std::mutex> lock(eventMutex_);
    EventInfo& info = eventInfo_[index(Event::logReporter)];
    info["ecode"] = error == INT_MIN ? INT_MAX : -error;
    info["edetail"] = std::move(detail);
    if (channel->calls) copy = info;
  }
  internal::deliverEvent(channel, std::move(copy));
}

void BaseRobot::Impl::onTaskPointerEvent(const Json::Value& value,
                                         const std::shared_ptr<internal::EventChannel>& channel) {
  if (!value.isArray()) return;
  // Read whole before anything is stored: an entry that cannot be read drops the notification.
  std::vector<TaskPointer> entries(value.size());
  internal::JsonReadStatus status;
  for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
    const Json::Value& entry = value[i];
    TaskPointer& out = entries[i];
    if (!internal::readString(internal::member(entry, "task_name"), out.taskName, status, "task_name") ||
        !readLine(entry, "adv_line", out.lookahead, out.lookaheadFile, out.lookaheadLine, status) ||
        !readLine(entry, "exe_line", out.execute, out.executeFile, out.executeLine, status)) {
      warnUnreadable(kTaskPointerTopic, status);
      return;
    }
  }
  std::vector<EventInfo> deliveries;
  {
    std::lock_guard<std::mutex> lock(eventMutex_);
    EventInfo& info = eventInfo_[index(Event::rlExecution)];
    for (TaskPointer& entry : entries) {
      info["taskName"] = std::move(entry.taskName);
      if (entry.lookahead) {
        info["lookaheadFile"] = std::move(entry.lookaheadFile);
        info["lookaheadLine"] = entry.lookaheadLine;
      }
      if (entry.execute) {
        info["executeFile"] = std::move(entry.executeFile);
        info["executeLine"] = entry.executeLine;
      }
      if ((entry.lookahead || entry.execute) && channel->calls) deliveries.push_back(info);
    }
  }
  for (EventInfo& info : deliveries) internal::deliverEvent(channel, std::move(info));
}

}  // namespace velmora
