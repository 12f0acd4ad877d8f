// Readers of the bus replies and the write verdict.

#include <velmora/error.h>

#include <algorithm>
#include <string>

#include "common/json_read.h"
#include "common/reply_read.h"
#include "ethercat/ethercat_impl.h"

namespace velmora::internal {
namespace {

bool refuse(std::error_code& ec) {
  ec = makeErrorCode(kUnreadableReplyCode);
  return false;
}

// A member that is missing reads as 0, as the controller leaves out fields it does not know.
template <typename T>
bool readOptional(const Json::Value& object, const char* key, T& out) {
  if (!hasMember(object, key)) {
    out = 0;
    return true;
  }
  return readLowBits(member(object, key), out);
}

}  // namespace

bool readStateList(const Json::Value& reply, std::vector<SlaveStateEntry>& out,
                   std::error_code& ec) {
  if (takeIntegerReply(reply, ec, kUnreadableReplyCode)) return false;
  if (!reply.isObject() && !reply.isNull()) return refuse(ec);
  const Json::Value& data = member(reply, "data");
  std::vector<SlaveStateEntry> entries;
  if (!data.isNull()) {
    if (!data.isArray()) return refuse(ec);
    entries.resize(data.size());
    for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
      if (!data[i].isObject() || !readOptional(data[i], "addr", entries[i].addr) ||
          !readOptional(data[i], "state", entries[i].state)) {
        return refuse(ec);
      }
    }
  }
  out = std::move(entries);
  return true;
}

bool readSlaveInfo(const Json::Value& reply, SlaveInfo& out, std::error_code& ec) {
  if (takeIntegerReply(reply, ec, kUnreadableReplyCode)) return false;
  const Json::Value& data = member(reply, "data");
  if (!data.isObject()) return refuse(ec);
  SlaveInfo info;
  // Identifiers are 32-bit unsigned: a vendor id of 0xFFFFFFFF is an ordinary value.
  if (!readOptional(data, "addr", info.slaveAddr) || !readOptional(data, "slaveId", info.slaveId) ||
      !readOptional(data, "vendorId", info.vendorId) ||
      !readOptional(data, "productCode", info.productCode) ||
      !readOptional(data, "reversionNumber", info.reversionNumber) ||
      !readString(member(data, "slaveName"), info.slaveName)) {
    return refuse(ec);
  }
  out = std::move(info);
  return true;
}

bool readByteData(const Json::Value& reply, std::uint8_t* out, int capacity, std::error_code& ec) {
  if (takeIntegerReply(reply, ec, kUnreadableReplyCode)) return false;
  const Json::Value& data = member(reply, "data");
  if (!data.isArray()) return refuse(ec);
  std::int64_t ignored = 0;
  for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
    if (!readInteger64(data[i], ignored)) return refuse(ec);
  }
  // The caller's buffer holds `capacity` bytes; what the controller sends beyond it is dropped.
  const Json::ArrayIndex count =
      std::min<Json::ArrayIndex>(data.size(), static_cast<Json::ArrayIndex>(std::max(capacity, 0)));
  for (Json::ArrayIndex i = 0; i < count; ++i) readLowBits(data[i], out[i]);
  return true;
}

Json::Value byteArray(const std::uint8_t* data, int count) {
  Json::Value array(Json::arrayValue);
  if (count <= 0) return array;
  array.resize(static_cast<Json::ArrayIndex>(count));
  for (int i = 0; i < count; ++i)
    array[static_cast<Json::ArrayIndex>(i)] = Json::Value(static_cast<Json::UInt>(data[i]));
  return array;
}

bool writeVerdict(const Json::Value& reply, std::error_code& ec) {
  if (!isIntegerReply(reply)) return true;
  const int code = reply.asInt();
  // -1 is the controller's plain "not done", which callers see only in the result.
  if (code == -1) return false;
  if (code < 0) {
    ec = makeErrorCode(code);
    return false;
  }
  return true;
}

}  // namespace velmora::internal
