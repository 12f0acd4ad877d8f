#include "robot_impl/robot_impl.h"

#include <velmora/error.h>

#include <spdlog/sinks/stdout_color_sinks.h>

#include "common/log_registry.h"

namespace velmora {

BaseRobot::Impl::Impl(const internal::LinkOptions& options) {
  internal::useEnglish = internal::isChineseLocale() ? 0 : 1;
  service = std::make_shared<internal::XService>(options);
  rtService = std::make_unique<internal::XService>(options);
  receiver = std::make_unique<internal::DataReceiver>(options.firstPacketWait);
  // Every robot of the process shares one console logger; its line format and error handler
  // are the library registry's, never those of the host's spdlog registry.
  service->setLogger(internal::LogRegistry::instance().getOrCreate(internal::kConsoleLoggerName, [] {
    return std::make_shared<spdlog::logger>(internal::kConsoleLoggerName,
                                            std::make_shared<spdlog::sinks::stdout_color_sink_mt>());
  }));
  // Installed last: nothing above can fail with them in place.
  service->setNotificationCallback([this](const Json::Value& message) { onNotification(message); });
  service->setConnectionHandler([this](bool connected) { connectionHandler(connected); });
}

BaseRobot::Impl::~Impl() {
  // The link outlives this object when an extension holds it. Each setter returns only when
  // no call of the old callback is running, so after these two nothing reaches `this`.
  try {
    service->setNotificationCallback(nullptr);
    service->setConnectionHandler(nullptr);
    // The stream's restore left reply callbacks that reach the receiver.
    service->clearReplyCallbacks(this);
  } catch (...) {
  }
  // With the dispatcher detached no delivery is queued any more; once those under way return,
  // no callback of this robot runs after the destructor.
  std::array<std::shared_ptr<internal::EventChannel>, kEvents> handlers;
  {
    std::lock_guard<std::mutex> lock(topicMutex_);
    handlers.swap(topicHandlers_);
  }
  internal::closeEventChannels(handlers.data(), handlers.size());
  handlers = {};
  stopReceiveRobotState();
  rtService.reset();
  receiver.reset();
  rlTaskControl.reset();
  motionControl.reset();
}

const std::unordered_map<std::string, OperationState>& BaseRobot::Impl::operationStateNames() {
  static const std::unordered_map<std::string, OperationState> names{
      {"idle", OperationState::idle},
      {"jog", OperationState::jog},
      {"rci", OperationState::rtControlling},
      {"drag", OperationState::drag},
      {"program", OperationState::rlProgram},
      {"demo", OperationState::demo},
      {"dynamic_identify", OperationState::dynamicIdentify},
      {"friction_identify", OperationState::frictionIdentify},
      {"load_identify", OperationState::loadIdentify},
      {"debug", OperationState::unknown},
      {"idleing", OperationState::moving},
      {"unknowning", OperationState::moving},
      {"joging", OperationState::jogging},
      {"unknown", OperationState::unknown},
  };
  return names;
}

int BaseRobot::Impl::stateNameToOperationState(const std::string& name) {
  const auto& names = operationStateNames();
  const auto it = names.find(name);
  return it == names.end() ? -1 : static_cast<int>(it->second);
}

namespace internal {

std::string shortenUid(const std::string& id) {
  if (id.size() < 12) return id;
  return id.substr(0, 8) + "-" + id.substr(id.size() - 4);
}

}  // namespace internal

}  // namespace velmora
