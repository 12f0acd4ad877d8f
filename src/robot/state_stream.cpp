// The state stream: subscribing fields at the controller, the UDP receiver's life, taking
// datagrams in on the caller's thread and reading fields out of the last one. Failures are
// exceptions, as the stream's callers (and the managed layer) expect; nothing here takes a lock
// of its own: start, update and stop run on one thread, field reads on any.

#include <velmora/error.h>
#include <velmora/exception.h>
#include <velmora/robot_t.h>

#include <fmt/chrono.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <climits>
#include <set>
#include <thread>

#include "robot/operation_frame.h"
#include "robot/robot_instances.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr int kFieldsUnsupportedCode = 513;
// The controller begins publishing a moment after it accepted the start.
constexpr std::chrono::milliseconds kPublishSettle{200};

// Whole milliseconds, truncated toward zero; a duration beyond the wire's 32-bit integer is
// clamped rather than wrapped into an unrelated interval.
int wireInterval(std::chrono::nanoseconds interval) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(interval).count();
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(ms, INT_MIN, INT_MAX));
}

// After "eci.pub.start" went out, a start that fails must not leave the controller publishing
// to a receiver nobody reads (stopping the stream does nothing while it is not receiving).
void stopPublishing(const BaseRobot::Impl& impl) noexcept {
  try {
    Json::Value ignoredReply;
    std::error_code ignored;
    internal::command(*impl.service, "eci.pub.stop", Json::Value(), ignoredReply, ignored);
  } catch (...) {
  }
}

void startStateStream(BaseRobot::Impl& impl, std::chrono::nanoseconds interval, const std::vector<std::string>& fields,
                      std::uint16_t axes) {
  internal::logEntry("uid: {} | startReceiveRobotState {} {}", logUid, interval, internal::textList(fields));
  if (fields.empty()) {
    internal::logBoth(impl, spdlog::level::err, "uid: {} | startReceiveRobotState empty fields", logUid);
    return;
  }
  const std::set<std::string> requested(fields.begin(), fields.end());
  internal::DataReceiver& receiver = *impl.receiver;
  if (receiver.isReceiving()) {
    if (receiver.fieldSet() == requested) {
      internal::logRobotOnly(impl, spdlog::level::err, "startReceiveRobotState already start receiving");
      return;
    }
    internal::logRobotOnly(impl, spdlog::level::err, "startReceiveRobotState already start receive");
    throw RealtimeStateException(internal::messageText(2));
  }

  const int ms = wireInterval(interval);
  impl.streamStarting(ms);
  std::error_code ec;
  Json::Value names(Json::arrayValue);
  for (const std::string& name : requested) names.append(name);
  int answer = 0;
  internal::set(*impl.service, "eci.fields.out", names, answer, ec);
  if (!ec && answer != 0) ec = makeErrorCode(kFieldsUnsupportedCode);
  if (ec) throw RealtimeControlException(std::string(internal::messageText(3)) + ec.message());

  if (receiver.setRecipe(requested, axes) != 0) {
    ec = makeErrorCode(kFieldsUnsupportedCode);
    internal::logBoth(impl, spdlog::level::err, "uid: {} | startReceiveRobotState receiver set recipe failed {}, ({})",
                      logUid, internal::textList(requested), ec);
    throw RealtimeControlException(ec.message());
  }

  // Falls back to a free port when the configured one is taken; the controller is told below
  // which port is actually bound.
  receiver.open(ec, true);
  if (!receiver.isOpen()) {
    internal::logBoth(impl, spdlog::level::err, "uid: {} | startReceiveRobotState start receiver failed ({})", logUid,
                      ec.message());
    throw RealtimeControlException(std::to_string(receiver.port()) + " " + internal::messageText(5) + ec.message());
  }

  const int port = receiver.port();
  Json::Value broadcastIn(Json::objectValue);
  broadcastIn["broadcast_in"] = port;
  internal::set(*impl.service, "eci.port", broadcastIn, ec);
  if (ec) {
    internal::logBoth(impl, spdlog::level::info, "uid: {} | set state data local port {} failed {}", logUid, port, ec);
  } else {
    internal::logBoth(impl, spdlog::level::info, "uid: {} | set state data port to {}", logUid, port);
  }

  std::error_code rtEc;
  try {
    Json::Value reply;
    internal::command(*impl.service, "eci.pub.start", Json::Value(ms), reply, ec);
    internal::takeReplyCode(reply, ec);
    if (ec) throw RealtimeControlException(std::string(internal::messageText(6)) + ec.message());
    std::this_thread::sleep_for(kPublishSettle);
    // Only opened: nothing is sent or read on it here, and its failure shows in the end line.
    impl.rtService->start(rtEc);
    receiver.receiveFirst();
  } catch (...) {
    stopPublishing(impl);
    throw;
  }
  internal::logEnd(impl, "uid: {} | startReceiveRobotState end, {} {} ({})", logUid, ms, internal::textList(requested),
                   rtEc);
}

}  // namespace

template <int W, unsigned short N>
template <bool Stream, std::enable_if_t<Stream, int>>
void Robot_T<W, N>::startReceiveRobotState(std::chrono::nanoseconds interval, const std::vector<std::string>& fields) {
  startStateStream(this->impl(), interval, fields, N);
}

#define VELMORA_INSTANTIATE(W, N)                                                        \
  template void Robot_T<W, N>::startReceiveRobotState<true, 0>(std::chrono::nanoseconds, \
                                                               const std::vector<std::string>&);
VELMORA_FOR_EACH_STREAMING_ROBOT_T(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

void BaseRobot::stopReceiveRobotState() noexcept { impl_->stopReceiveRobotState(); }

unsigned BaseRobot::updateRobotState(std::chrono::nanoseconds timeout) {
  internal::DataReceiver& receiver = *impl_->receiver;
  if (!receiver.isReceiving()) throw RealtimeStateException(internal::messageText(7));
  const std::size_t received = receiver.receive(timeout);
  // Marked stopped meanwhile (a restore refused, or nothing came after it): never silent zeros.
  if (received == 0 && !receiver.isReceiving()) throw RealtimeStateException(internal::messageText(7));
  return static_cast<unsigned>(received);
}

template <typename T>
int BaseRobot::getStateData(const std::string& name, T& data) {
  const internal::DataReceiver& receiver = *impl_->receiver;
  // The socket, not the receiving flag: after a start that failed late the subscribed fields
  // still read (as zeros).
  if (!receiver.isOpen()) throw RealtimeStateException(makeErrorCode(256).message());
  if constexpr (std::is_same_v<T, std::vector<double>>) data.clear();
  return receiver.readField(name, data) ? 0 : -1;
}

template int BaseRobot::getStateData<double>(const std::string&, double&);
template int BaseRobot::getStateData<std::uint64_t>(const std::string&, std::uint64_t&);
template int BaseRobot::getStateData<std::vector<double>>(const std::string&, std::vector<double>&);

}  // namespace velmora
