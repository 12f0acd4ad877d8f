// Modbus RTU through the tool-end board: coils and registers.
//
// Registers of the 32-bit types go out as two words, low word first. "int16" and "uint16"
// registers both come back zero-extended (0 to 65535): the controller does not say which
// registers are signed.
//
// On success the caller's array holds what the controller read back (for the write codes, the
// values written); on any failure it is left as it was, so a retried write sends the values
// the caller gave, not zeros.

#include <velmora/cobot.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/json_read.h"
#include "robot/flangebox_bus.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr int kAddressMax = 65535;
constexpr int kWriteSingleCoil = 5;
constexpr int kWriteSingleRegister = 6;

bool isCoilFunction(int code) { return code == 1 || code == 2 || code == kWriteSingleCoil || code == 15; }
bool isRegisterFunction(int code) { return code == 3 || code == 4 || code == kWriteSingleRegister || code == 16; }

/// Sends the request and, on success, the `count` values of the answer's array `name`, each
/// read by `read(value, index)` (false for a value of a kind it cannot take).
template <typename Read>
void busExchange(const BaseRobot::Impl& impl, const char* key, const Json::Value& request, const char* name,
                 std::size_t count, std::error_code& ec, Read&& read) {
  Json::Value reply;
  internal::command(*impl.service, key, request, reply, ec);
  if (ec || internal::takeBusFailure(reply, ec)) return;
  const Json::Value* values = internal::busResult(reply, name, count, ec);
  if (values == nullptr) return;
  for (Json::ArrayIndex i = 0; i < count; ++i) {
    if (!read((*values)[i], i)) {
      ec = makeErrorCode(internal::kReplyExceptionCode);
      return;
    }
  }
}

}  // namespace

void BaseCobot::FBRWModbusRTUCoil(int slave_addr, int fun_cmd, int coil_addr, int num, std::vector<bool>& data_array,
                                  bool if_crc_reverse, std::error_code& ec) noexcept {
  internal::logEntry(
      "uid: {} | FBRWModbusRTUCoil slave_addr: {} fun_cmd: {} coil_addr: {} num: {} ec: {} if_crc_reverse: {} ", logUid,
      slave_addr, fun_cmd, coil_addr, num, ec, if_crc_reverse);
  auto& robotImpl = impl();
  if (slave_addr < 0 || slave_addr > kAddressMax) {
    internal::refuseBus(robotImpl, ec, "uid: {} |  FBRWModbusRTUCoil error: Parameter slaver_addr out of range | ({})",
                        logUid, ec);
    return;
  }
  if (!isCoilFunction(fun_cmd)) {
    internal::refuseBus(robotImpl, ec, "uid: {} |  FBRWModbusRTUCoil error: Parameter fun_cmd out of range | ({})",
                        logUid, ec);
    return;
  }
  if (coil_addr < 0 || coil_addr > kAddressMax) {
    internal::refuseBus(robotImpl, ec, "uid: {} |  FBRWModbusRTUCoil error: Parameter coi_addr out of range | ({})",
                        logUid, ec);
    return;
  }
  const int limit = internal::boardLimits(internal::boardType(robotImpl)).coils;
  internal::logBus(robotImpl, "uid: {} |  FBRWModbusRTUCoil valid_size  | ({})", logUid, limit);
  if (num < 0 || num > limit) {
    internal::refuseBus(robotImpl, ec, "uid: {} |  FBRWModbusRTUCoil error: Parameter num out of range | ({})", logUid,
                        ec);
    return;
  }
  const auto count = static_cast<std::size_t>(num);
  // The single write may come with a longer array (its first values are sent), never a
  // shorter one: the request takes `num` values from it.
  if (fun_cmd == kWriteSingleCoil ? data_array.size() < count : data_array.size() != count) {
    internal::refuseBus(robotImpl, ec,
                        "uid: {} |  FBRWModbusRTUCoil error: Parameter data_array does not match num  | ({})", logUid,
                        ec);
    return;
  }
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["slave_addr"] = slave_addr;
    request["fun_cmd"] = fun_cmd;
    request["coil_addr"] = coil_addr;
    request["num"] = num;
    request["if_crc_reverse"] = if_crc_reverse;
    Json::Value& values = request["data_array"] = Json::Value(Json::arrayValue);
    for (std::size_t i = 0; i < count; ++i) values.append(static_cast<bool>(data_array[i]));
    std::vector<bool> coils(count);
    busExchange(robotImpl, "modbusRTU.coil.rw", request, "rev_data", count, ec,
                [&](const Json::Value& value, Json::ArrayIndex i) {
                  bool on = false;
                  if (!internal::readBool(value, on)) return false;
                  coils[i] = on;
                  return true;
                });
    if (!ec) data_array = std::move(coils);
  });
  internal::logBus(robotImpl, "uid: {} |  FBRWModbusRTUCoil end, ec:{}", logUid, ec);
}

// The declared API takes data_type by value.
void BaseCobot::FBRWModbusRTUReg(int slave_addr, int fun_cmd, int reg_addr,
                                 std::string data_type,  // NOLINT(performance-unnecessary-value-param)
                                 int num, std::vector<int>& data_array, bool if_crc_reverse,
                                 std::error_code& ec) noexcept {
  internal::logEntry(
      "uid: {} | FBRWModbusRTUReg slave_addr: {} fun_cmd: {} reg_addr: {} data_type: {} num: {} ec:{} "
      "if_crc_reverse:{}",
      logUid, slave_addr, fun_cmd, reg_addr, data_type, num, ec, if_crc_reverse);
  auto& robotImpl = impl();
  if (slave_addr < 0 || slave_addr > kAddressMax) {
    internal::refuseBus(robotImpl, ec, "uid: {} |  FBRWModbusRTUReg error: Parameter slaver_addr out of range | ({})",
                        logUid, ec);
    return;
  }
  if (!isRegisterFunction(fun_cmd)) {
    internal::refuseBus(robotImpl, ec, "uid: {} |  FBRWModbusRTUReg error: Parameter fun_cmd out of range | ({})",
                        logUid, ec);
    return;
  }
  if (reg_addr < 0 || reg_addr > kAddressMax) {
    internal::refuseBus(robotImpl, ec, "uid: {} |  FBRWModbusRTUReg error: Parameter reg_addr out of range | ({})",
                        logUid, ec);
    return;
  }
  const int limit = internal::boardLimits(internal::boardType(robotImpl)).registers;
  internal::logBus(robotImpl, "uid: {} |  FBRWModbusRTUReg valid_size  | ({})", logUid, limit);
  const bool wide = data_type == "int32" || data_type == "uint32";
  if (wide) {
    if (num < 0 || num > limit / 2 || fun_cmd == kWriteSingleRegister) {
      internal::refuseBus(robotImpl, ec,
                          "uid: {} |  FBRWModbusRTUReg error: Parameter num does not match data_type  | ({})", logUid,
                          ec);
      return;
    }
  } else if (data_type == "int16" || data_type == "uint16") {
    if (num < 0 || num > limit) {
      internal::refuseBus(robotImpl, ec,
                          "uid: {} |  FBRWModbusRTUReg error: Parameter num does not match data_type | ({})", logUid,
                          ec);
      return;
    }
  } else {
    internal::refuseBus(robotImpl, ec, "uid: {} |  FBRWModbusRTUReg error: Parameter data_type out of range  | ({})",
                        logUid, ec);
    return;
  }
  const auto count = static_cast<std::size_t>(num);
  // As for coils: the single write takes `num` values and may not read past the array.
  if (fun_cmd == kWriteSingleRegister ? data_array.size() < count : data_array.size() != count) {
    internal::refuseBus(
        robotImpl, ec, "uid: {} |  FBRWModbusRTUReg error: Parameter data_array does not match num | ({})", logUid, ec);
    return;
  }
  const std::size_t words = wide ? 2 * count : count;
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["slave_addr"] = slave_addr;
    request["fun_cmd"] = fun_cmd;
    request["reg_addr"] = reg_addr;
    request["num"] = static_cast<int>(words);
    request["if_crc_reverse"] = if_crc_reverse;
    Json::Value& values = request["data_array"] = Json::Value(Json::arrayValue);
    for (std::size_t i = 0; i < count; ++i) {
      const auto bits = static_cast<std::uint32_t>(data_array[i]);
      values.append(static_cast<Json::UInt>(bits & 0xFFFFu));
      if (wide) values.append(static_cast<Json::UInt>(bits >> 16));
    }
    std::vector<std::uint16_t> read(words);
    busExchange(robotImpl, "modbusRTU.register.rw", request, "data_array", words, ec,
                [&](const Json::Value& value, Json::ArrayIndex i) { return internal::readLowBits(value, read[i]); });
    if (ec) return;
    std::vector<int> result;
    result.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t value =
          wide ? static_cast<std::uint32_t>(read[2 * i]) | (static_cast<std::uint32_t>(read[2 * i + 1]) << 16)
               : read[i];
      // A uint32 above INT_MAX keeps its bits (two's complement), as the caller's array held it.
      result.push_back(static_cast<int>(value));
    }
    data_array = std::move(result);
  });
  internal::logBus(robotImpl, "uid: {} |  FBRWModbusRTUReg end, ec:{}", logUid, ec);
}

}  // namespace velmora
