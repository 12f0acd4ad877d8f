// The tool-end board's CAN bus: sending frames and receiving one.
//
// Data types: "uint8" values are the payload bytes; "int16"/"uint16" values travel as byte
// pairs, low byte first, of which the record's byte vector carries the low one (a 16-bit value
// above 255 cannot be put in or taken out of a `CANFrame`).

#include <velmora/cobot.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/json_read.h"
#include "robot/flangebox_bus.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr int kStandardIdMax = 0x7FF;       // 11-bit identifier
constexpr int kExtendedIdMax = 0x1FFFFFFF;  // 29-bit identifier
constexpr int kClassicCan = 2;
/// The largest payload a frame carries (CAN FD), in values of either data type.
constexpr int kMaxFrameValues = 64;

bool isWordType(const std::string& type) { return type == "int16" || type == "uint16"; }
bool isKnownType(const std::string& type) { return isWordType(type) || type == "uint8"; }

bool oneOf(int value, std::initializer_list<int> allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

/// Checks one frame in the order the controller's rules are given; true when it may be sent.
bool checkFrame(const BaseRobot::Impl& impl, const std::string& type, const CANFrame& frame, std::error_code& ec) {
  const int length = frame.frame_valid_length;
  const bool words = isWordType(type);
  if (frame.frame_id < 0) {
    internal::refuseBus(impl, ec, "uid: {} |  CANSendData error: Parameter frame_id out of range | ({})", logUid, ec);
    return false;
  }
  if (frame.frame_format != 0 && frame.frame_format != 1) {
    internal::refuseBus(impl, ec, "uid: {} |  CANSendData error: Parameter frame_format out of range | ({})", logUid,
                        ec);
    return false;
  }
  // An identifier wider than its format would be cut on the bus and reach another device.
  if (frame.frame_id > (frame.frame_format == 0 ? kStandardIdMax : kExtendedIdMax)) {
    internal::refuseBus(impl, ec, "uid: {} |  CANSendData error: Parameter frame_id out of range | ({})", logUid, ec);
    return false;
  }
  if (frame.frame_type < 0 || frame.frame_type > kClassicCan) {
    internal::refuseBus(impl, ec, "uid: {} |  CANSendData error: Parameter frame_type out of range | ({})", logUid, ec);
    return false;
  }
  if (frame.frame_type == kClassicCan) {
    if (words && (length < 0 || length > 4)) {
      internal::refuseBus(impl, ec,
                          "uid: {} |  CANSendData error: Parameter frame_valid_length exceeds the limit, the "
                          "data_type is int16/uint16, length range is 0-4  | ({})",
                          logUid, ec);
      return false;
    }
    if (!words && (length < 0 || length > 8)) {
      internal::refuseBus(impl, ec,
                          "uid: {} |  CANSendData error: Parameter frame_valid_length exceeds the limit, the "
                          "data_type is uint8, length range is 0-8  | ({})",
                          logUid, ec);
      return false;
    }
  } else {
    if (length < 0) {
      internal::refuseBus(
          impl, ec, "uid: {} |  CANSendData error: Parameter frame_valid_length exceeds the limit  | ({})", logUid, ec);
      return false;
    }
    if (words && length > 4 && !oneOf(length, {6, 8, 10, 12, 16, 24, 32})) {
      internal::refuseBus(impl, ec,
                          "uid: {} |  CANSendData error: Parameter frame_valid_length exceeds the limit, the "
                          "data_type is int16/uint16, length range is (0-4)/6/8/10/12/16/24/32 | ({})",
                          logUid, ec);
      return false;
    }
    if (!words && length > 8 && !oneOf(length, {12, 16, 20, 24, 32, 48, 64})) {
      internal::refuseBus(impl, ec,
                          "uid: {} |  CANSendData error: Parameter frame_valid_length exceeds the limit, the "
                          "data_type is uint8, length range is (0-8)/12/16/20/24/32/48/64 | ({})",
                          logUid, ec);
      return false;
    }
  }
  if (frame.data.size() != static_cast<std::size_t>(length)) {
    internal::refuseBus(
        impl, ec, "uid: {} |  CANSendData error: Parameter data does not match frame_valid_length | ({})", logUid, ec);
    return false;
  }
  return true;
}

Json::Value frameValue(const std::string& type, const CANFrame& frame) {
  Json::Value value(Json::objectValue);
  value["frame_id"] = frame.frame_id;
  value["frame_format"] = frame.frame_format;
  value["frame_type"] = frame.frame_type;
  Json::Value& data = value["data_array"] = Json::Value(Json::arrayValue);
  const bool words = isWordType(type);
  for (const std::uint8_t byte : frame.data) {
    data.append(byte);
    if (words) data.append(0);
  }
  value["frame_valid_length"] = words ? 2 * frame.frame_valid_length : frame.frame_valid_length;
  return value;
}

/// The frame of a receive answer into `frame`; false with `ec` -260 (and `frame` untouched)
/// when a member has a kind that cannot be read or the length is not one a frame can have.
bool readFrame(const BaseRobot::Impl& impl, const Json::Value& data, const std::string& type, CANFrame& frame,
               std::error_code& ec) {
  CANFrame received;
  int length = 0;
  const Json::Value& values = internal::member(data, "data_array");
  // The length comes from the controller: it is bounded by the largest payload and by the
  // values that actually came, never padded and never a huge allocation.
  bool readable = internal::readInt(internal::member(data, "frame_id"), received.frame_id) &&
                  internal::readInt(internal::member(data, "frame_format"), received.frame_format) &&
                  internal::readInt(internal::member(data, "frame_type"), received.frame_type) &&
                  internal::readInt(internal::member(data, "frame_valid_length"), length) && length >= 0 &&
                  length <= kMaxFrameValues &&
                  (length == 0 || (values.isArray() && values.size() >= static_cast<Json::ArrayIndex>(length)));
  std::uint16_t words[kMaxFrameValues] = {};
  for (int i = 0; readable && i < length; ++i) {
    readable = internal::readLowBits(values[static_cast<Json::ArrayIndex>(i)], words[i]);
  }
  if (!readable) {
    ec = makeErrorCode(internal::kReplyExceptionCode);
    return false;
  }
  for (int i = 0; i < length; ++i) internal::logBus(impl, "uid: {} |  CANReceiveData data:{}", logUid, words[i]);
  if (isWordType(type)) {
    for (int i = 0; i + 1 < length; i += 2) received.data.push_back(static_cast<std::uint8_t>(words[i]));
  } else {
    for (int i = 0; i < length; ++i) received.data.push_back(static_cast<std::uint8_t>(words[i]));
  }
  received.frame_valid_length = static_cast<int>(received.data.size());
  frame = std::move(received);
  return true;
}

}  // namespace

void BaseCobot::CANSendData(std::string data_type, const std::vector<CANFrame>& send_frame,
                            std::error_code& ec) noexcept {
  const auto& robotImpl = impl();
  // A frame of another type would go out without its data.
  if (!isKnownType(data_type)) {
    internal::logEntry("uid: {} | CANSendData data_type: {} ec:{}", logUid, data_type, ec);
    internal::refuseBus(robotImpl, ec, "uid: {} |  CANSendData error: Parameter data_type out of range | ({})", logUid,
                        ec);
    return;
  }
  for (const CANFrame& frame : send_frame) {
    internal::logEntry(
        "uid: {} | CANSendData data_type: {} frame_id: {} frame_format: {} frame_type: {} data: {} "
        "frame_valid_length: {} ec:{}",
        logUid, data_type, frame.frame_id, frame.frame_format, frame.frame_type, frame.data, frame.frame_valid_length,
        ec);
    if (!checkFrame(robotImpl, data_type, frame, ec)) return;
  }
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    Json::Value& frames = request["send_frames"] = Json::Value(Json::arrayValue);
    for (const CANFrame& frame : send_frame) frames.append(frameValue(data_type, frame));
    Json::Value reply;
    internal::command(*robotImpl.service, "modbusRTU.can.send", request, reply, ec);
    // A bus off or a refused frame is not a frame sent.
    if (!ec) internal::takeBusFailure(reply, ec);
  });
  internal::logBus(robotImpl, "uid: {} |  CANSendData end, ec:{}", logUid, ec);
}

void BaseCobot::CANReceiveData(int timeout_ms, std::string data_type, CANFrame& recv_frame,
                               std::error_code& ec) noexcept {
  const auto& robotImpl = impl();
  // A negative wait means nothing to the controller.
  if (timeout_ms < 0) {
    internal::refuseBus(robotImpl, ec, "uid: {} |  CANReceiveData error: Parameter timeout_ms out of range | ({})",
                        logUid, ec);
    return;
  }
  // A frame taken off the bus for a type that keeps none of its data would be lost.
  if (!isKnownType(data_type)) {
    internal::refuseBus(robotImpl, ec, "uid: {} |  CANReceiveData error: Parameter data_type out of range | ({})",
                        logUid, ec);
    return;
  }
  bool received = false;
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["timeout_ms"] = timeout_ms;
    // The controller waits up to `timeout_ms` for a frame before it answers: the request waits
    // that long and then as long as for any answer (at most 2^31 ms more, far from overflowing).
    const std::chrono::nanoseconds wait = robotImpl.service->requestWait() + std::chrono::milliseconds(timeout_ms);
    Json::Value reply;
    internal::command(*robotImpl.service, "modbusRTU.can.recv", request, reply, ec, wait);
    if (ec || !reply.isObject() || !internal::member(reply, "error").isNull()) return;
    const Json::Value& data = internal::member(reply, "data");
    if (data.isNull()) return;
    received = true;
    if (!data.isObject()) {
      ec = makeErrorCode(internal::kReplyExceptionCode);
      return;
    }
    readFrame(robotImpl, data, data_type, recv_frame, ec);
  });
  if (!received && ec.value() != internal::kReplyExceptionCode) {
    // No frame, whatever the reason (none within the wait, a bus error, a lost link).
    ec = makeErrorCode(internal::kBusFailureCode);
    internal::logBus(robotImpl, "uid: {} | CANReceiveData warning : No data received after timeout | ({})", logUid, ec);
    return;
  }
  internal::logBus(robotImpl, "uid: {} |  CANReceiveData end, ec:{}", logUid, ec);
}

}  // namespace velmora
