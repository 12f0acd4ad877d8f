// What the tool-end bus operations share, the board type's read, and the board's raw RS485
// exchange.

#include "robot/flangebox_bus.h"

#include <velmora/cobot.h>

#include <cstdint>
#include <vector>

#include "common/json_read.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace internal {

BoardLimits boardLimits(int type) noexcept {
  switch (type) {
    case 2:
    case 4:
      return {128, 944, 59};
    case 3:
      return {64, 432, 27};
    default:
      return {16, 48, 3};
  }
}

int boardType(BaseRobot::Impl& impl) noexcept {
  // The type is stored before the flag is set, so a set flag always comes with its type.
  if (impl.flangeBoxTypeKnown.load()) return impl.flangeBoxType.load();
  return impl.GetFlangeBoxType();
}

bool takeBusFailure(const Json::Value& reply, std::error_code& ec) noexcept {
  if (!member(reply, "error").isNull()) {
    ec = makeErrorCode(kBusFailureCode);
    return true;
  }
  if (isIntegerReply(reply) && reply.asInt() != 0) {
    ec = makeErrorCode(reply.asInt());
    return true;
  }
  return false;
}

const Json::Value* busResult(const Json::Value& reply, const char* name, std::size_t count,
                             std::error_code& ec) noexcept {
  static const Json::Value kNone(Json::arrayValue);
  if (count == 0) return &kNone;
  const Json::Value& values = member(member(reply, "data"), name);
  if (!values.isArray() || values.size() < count) {
    ec = makeErrorCode(kReplyExceptionCode);
    return nullptr;
  }
  return &values;
}

}  // namespace internal

int BaseRobot::Impl::GetFlangeBoxType() noexcept {
  int type = 0;
  bool known = false;
  std::error_code ec;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*service, "flangebox_support_rs485_param", Json::Value(), reply, ec);
    // Only an integer is a board type; anything else is a failed read, asked again next time.
    if (!ec && internal::isIntegerReply(reply)) {
      type = reply.asInt();
      known = true;
    }
    internal::globalLogger()->debug("uid: {}| GetFlangeBoxType: {}", logUid, type);
  });
  if (!known) return 0;
  // Another board operation may see the flag at once: the type must be there before it.
  flangeBoxType = type;
  flangeBoxTypeKnown = true;
  return type;
}

void BaseCobot::FBRS485SendData(int send_byte, int rev_byte, const std::vector<std::uint8_t>& send_data,
                                std::vector<std::uint8_t>& recv_data, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | FBRS485SendData send_byte: {} rev_byte: {} ec: {}", logUid, send_byte, rev_byte, ec);
  auto& robotImpl = impl();
  const int limit = internal::boardLimits(internal::boardType(robotImpl)).rs485Bytes;
  internal::logBus(robotImpl, "uid: {} |  FBRS485SendData valid_size  | ({})", logUid, limit);
  if (send_byte < 0 || send_byte > limit || rev_byte < 0 || rev_byte > limit) {
    internal::refuseBus(robotImpl, ec,
                        "uid: {} |  FBRS485SendData error: Parameter send_byte or rev_byte out of range | ({})", logUid,
                        ec);
    return;
  }
  if (send_data.size() != static_cast<std::size_t>(send_byte) ||
      recv_data.size() != static_cast<std::size_t>(rev_byte)) {
    internal::refuseBus(robotImpl, ec,
                        "uid: {} |  FBRS485SendData error: Parameter byte len does not match data array size | ({})",
                        logUid, ec);
    return;
  }
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["send_len"] = send_byte;
    request["rev_len"] = rev_byte;
    Json::Value& bytes = request["send_data"] = Json::Value(Json::arrayValue);
    for (const std::uint8_t byte : send_data) bytes.append(byte);
    Json::Value reply;
    internal::command(*robotImpl.service, "modbusRTU.data.rw", request, reply, ec);
    if (ec) {
      // Nothing came back: as many zero bytes as were asked for.
      recv_data.assign(static_cast<std::size_t>(rev_byte), 0);
      return;
    }
    recv_data.clear();
    if (internal::takeBusFailure(reply, ec)) return;
    const Json::Value* received = internal::busResult(reply, "rev_data", static_cast<std::size_t>(rev_byte), ec);
    if (received == nullptr) return;
    std::vector<std::uint8_t> bytesRead(static_cast<std::size_t>(rev_byte));
    for (Json::ArrayIndex i = 0; i < bytesRead.size(); ++i) {
      if (!internal::readLowBits((*received)[i], bytesRead[i])) {
        ec = makeErrorCode(internal::kReplyExceptionCode);
        return;
      }
    }
    recv_data = std::move(bytesRead);
  });
  internal::logBus(robotImpl, "uid: {} |  FBRS485SendData end, ec:{}", logUid, ec);
}

}  // namespace velmora
