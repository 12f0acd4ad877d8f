// The robot's own log: a daily file per controller, set up at the first connection.

#include "common/logging.h"
#include "robot_impl/log_settings.h"
#include "robot_impl/robot_impl.h"

namespace velmora {

void BaseRobot::Impl::setupLogger() {
  // By name: another console logger object (an older one) still means "not set up yet".
  const auto current = service->logger();
  if (current && current->name() != internal::kConsoleLoggerName) return;

  const std::string component = internal::logPathComponent(info.id);
  // In the working folder, looked up by the relative name: no need to ask the system which
  // folder that is first.
  const internal::LogSettings settings = internal::readLogSettings("user_log_settings.json", component);

  // Named after the full id: a second robot of the same controller gets the same logger, so
  // their lines share one file and one sink.
  auto logger = internal::dailyFileLogger(info.id, settings.directory + "/" + component + "/TarvikSDK.log",
                                          settings.retentionDays);
  service->setLogger(logger);
  if (settings.code != 0) logger->error(internal::logSettingsMessage(settings.code));
}

}  // namespace velmora
