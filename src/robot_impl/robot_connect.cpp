// Connecting, reconnecting and the compatibility check; the connection handler.

#include <velmora/error.h>
#include <velmora/exception.h>
#include <velmora/version.h>

#include "common/globals.h"
#include "common/json_convert.h"
#include "common/json_read.h"
#include "common/logging.h"
#include "common/operation_log.h"
#include "robot_impl/robot_impl.h"

namespace velmora {

namespace {

constexpr int kCommandPort = 6666;
constexpr std::uint32_t kDefaultRtPort = 1337;
constexpr std::uint32_t kDefaultBroadcastPort = 1338;

// A port named by the controller: an absent member means the default, an integral number
// 1..65535 is taken (1400.0 included), anything else keeps the port in force (a wrong port must
// never be narrowed into a connection elsewhere, nor a flag or null read as one).
void takePort(const Json::Value& ports, const char* name, std::uint32_t fallback, std::uint32_t& port) {
  if (!internal::hasMember(ports, name)) {
    port = fallback;
    return;
  }
  const Json::Value& value = internal::member(ports, name);
  if (value.isInt() && value.asInt() >= 1 && value.asInt() <= 65535) {
    port = static_cast<std::uint32_t>(value.asInt());
    return;
  }
  try {
    internal::globalLogger()->warn("uid: {} | eci.port: \"{}\" is not a port ({}), keeping {}", internal::logUid, name,
                                   internal::kindName(value), port);
  } catch (...) {
  }
}

}  // namespace

void BaseRobot::Impl::reconnect(const std::string& remote, const std::string& local, int expectedWorkType,
                                std::uint16_t jointCount) {
  // Copies: the caller may hand in this object's own fields.
  const std::string remoteAddress = remote;  // NOLINT(performance-unnecessary-copy-initialization)
  const std::string localAddress = local;    // NOLINT(performance-unnecessary-copy-initialization)
  // The caller tells the local address itself and waits for the answer; the connection handler
  // restores only after the link came back by itself.
  connecting_.store(true);
  const std::shared_ptr<void> endConnecting(nullptr, [this](void*) { connecting_.store(false); });
  disconnect();
  remoteIp = remoteAddress;

  std::error_code ec;
  service->connect(remoteIp, kCommandPort);
  // Nothing here needs the file link: it connects meanwhile, and a transfer waits for it.
  service->start(ec, false);
  if (ec) throw NetworkException(ec.message());
  // The steps after "sys.info" tolerate a refusal or report no failure at all (the ports, motion
  // control's reset, the watches), so a link lost or a controller gone silent during them would
  // pass for a connection, and every later request would wait out its time. The link marks
  // itself down before it fails its waiters, and the handler counts the loss even when the
  // link is back by the time it is looked at; the link counts its requests that timed out.
  const std::uint64_t losses = linkLosses_.load();
  const std::uint64_t timeouts = service->timeouts();
  const auto failIfLost = [&] {
    if (!service->isConnected() || linkLosses_.load() != losses) {
      throw NetworkException(internal::makeErrorCode(256).message());
    }
    if (service->timeouts() != timeouts) throw internal::ConnectTimeout(internal::makeErrorCode(263).message());
  };

  Json::Value reply;
  service->getValue("sys.info", reply, ec);
  if (ec == internal::makeErrorCode(263)) throw internal::ConnectTimeout(ec.message());
  if (ec) throw NetworkException(ec.message());
  // An integer refusal or any other kind is a reply without the information.
  if (!reply.isObject()) throw NetworkException(internal::makeErrorCode(257).message());
  internal::JsonReadStatus status;
  info = internal::jsonToInfo(reply, status);
  if (!status.ok()) {
    internal::logOperation(nullptr, spdlog::level::warn, "uid: {} | sys.info: {}", internal::logUid, status.describe());
  }
  workType = expectedWorkType;
  const Json::Value& controllerWorkType = internal::member(reply, "work_type");
  if (controllerWorkType.isString()) {
    if (controllerWorkType.asString() == "cobot") workType = 1;
    if (controllerWorkType.asString() == "industrial") workType = 0;
  }
  internal::logUid.set(internal::shortenUid(info.id));
  checkCompatibility(expectedWorkType, jointCount);

  // A refusal or a reply of another kind keeps the ports in force.
  Json::Value ports;
  service->getValue("eci.port", ports, ec);
  failIfLost();
  if (!ec && ports.isObject()) {
    takePort(ports, "rt", kDefaultRtPort, rtPort);
    takePort(ports, "broadcast", kDefaultBroadcastPort, broadcastPort);
  }
  receiver->setEndpoint(broadcastPort, remoteIp, localAddress);
  // Addressed only: the real-time link starts with the state stream.
  rtService->connect(remoteIp, static_cast<int>(rtPort));

  setupLogger();
  if (!motionControl) {
    motionControl = std::make_unique<internal::MotionControl<1>>(service);
  } else {
    motionControl->_startThreads();
  }
  // Motion control's start has watched the move-execution topic on this connection when its
  // threads run (unless the link was lost, which is found right here): it goes out once.
  failIfLost();
  resetEventWatcher(motionControl->threadsRunning() && motionControl->lastErrorWatched());
  failIfLost();
  internal::logOperation(service->logger(), spdlog::level::info, "uid: {} | Connect to {} from {}", internal::logUid,
                         remoteAddress, localAddress);
}

void BaseRobot::Impl::disconnect() noexcept {
  // While the link is still up: a controller left publishing would stream to a closed port.
  stopReceiveRobotState();
  try {
    if (motionControl) motionControl->_stopThreads();
  } catch (...) {
  }
  try {
    service->stop();
    rtService->stop();
    receiver->close();
  } catch (...) {
  }
  // Only this robot's log: the registry and its periodic flush serve every other logger too.
  try {
    if (const auto log = service->logger()) log->flush();
  } catch (...) {
  }
}

void BaseRobot::Impl::checkCompatibility(int expectedWorkType, std::uint16_t jointCount) const {
  const VersionInfo& minimum = internal::minControllerVersion();
  if (VersionInfo(info.version) < minimum) {
    throw ProtocolException(std::string(internal::messageText(11)) + minimum.toString());
  }
  if (jointCount != info.joint_num || expectedWorkType != workType) {
    throw ExecutionException(std::string(internal::messageText(13)) + info.type);
  }
}

void BaseRobot::Impl::setLocalIp(const std::string& local) {
  if (local.empty()) return;
  std::error_code ec;
  service->setValue("eci.ip", Json::Value(local), ec);
  if (ec) throw NetworkException(internal::messageText(14));
  localIp = local;
  std::lock_guard<std::mutex> lock(streamMutex_);
  streamAddress_ = local;
}

void BaseRobot::Impl::streamStarting(int intervalMs) {
  std::lock_guard<std::mutex> lock(streamMutex_);
  streamInterval_ = intervalMs;
  ++streamStarts_;
}

void BaseRobot::Impl::stopReceiveRobotState() noexcept {
  try {
    if (!receiver->isReceiving()) return;
    Json::Value result;
    std::error_code ignored;
    service->sendCommand("eci.pub.stop", Json::Value(), result, ignored, service->requestWait());
  } catch (...) {
  }
  try {
    receiver->close();
  } catch (...) {
  }
}

void BaseRobot::Impl::connectionHandler(bool connected) noexcept {
  if (!connected) ++linkLosses_;
  if (connected && connectionState.load() == 2) {
    resetEventWatcher();
    if (!connecting_.load()) restoreStateStream();
  }
  connectionState.exchange(connected ? 1 : 2);
  try {
    std::function<void(bool)> handler;
    {
      std::lock_guard<std::mutex> lock(handlerMutex_);
      handler = userConnectionHandler_;
    }
    // Called outside the lock: the program's handler may replace itself.
    if (handler) handler(connected);
  } catch (const std::exception& e) {
    internal::logOperation(service->logger(), spdlog::level::info, "uid: {}| Connection handler throw: {}",
                           internal::logUid, e.what());
  } catch (...) {
    internal::logOperation(service->logger(), spdlog::level::info, "uid: {}| Connection handler throw: {}",
                           internal::logUid, "non-standard exception");
  }
}

void BaseRobot::Impl::setUserConnectionHandler(std::function<void(bool)> handler) {
  std::lock_guard<std::mutex> lock(handlerMutex_);
  userConnectionHandler_.swap(handler);
  // The old handler is destroyed after the lock is released (`handler` goes out of scope).
}

}  // namespace velmora
