// Process data (PDO) and service data objects (SDO) of one slave.

#include <json/value.h>
#include <velmora/error.h>
#include <velmora/ethercat.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "common/json_read.h"
#include "common/reply_read.h"
#include "common/result_codes.h"
#include "ethercat/ethercat_impl.h"
#include "robot/operation_frame.h"

namespace velmora {
namespace internal {
namespace {

/// The controller's plain "not done", which callers see only in the result.
constexpr int kNotDoneReply = -1;

bool unreadable(std::error_code& ec) {
  ec = makeErrorCode(kUnreadableReplyCode);
  return false;
}

}  // namespace

bool readByteData(const Json::Value& reply, std::uint8_t* out, int capacity, std::error_code& ec) {
  if (takeIntegerReply(reply, ec, kUnreadableReplyCode)) return false;
  const Json::Value& data = member(reply, "data");
  if (!data.isArray()) return unreadable(ec);
  std::int64_t ignored = 0;
  for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
    if (!readInteger64(data[i], ignored)) return unreadable(ec);
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
  if (code == kNotDoneReply) return false;
  if (code < 0) {
    ec = makeErrorCode(code);
    return false;
  }
  return true;
}

}  // namespace internal

namespace {

/// Checks shared by every operation that takes a byte buffer, before anything is sent: 259 for
/// a count with no buffer behind it, or a write too large to build.
bool bufferRefused(int count, const void* data, bool write, std::error_code& ec) {
  if ((count > 0 && data == nullptr) || (write && count > internal::kMaxWriteBytes)) {
    ec = internal::makeErrorCode(internal::kArgumentInvalidCode);
    return true;
  }
  return false;
}

/// {"addr": slave} and the integer fields of one request on a slave's data.
Json::Value slaveRequest(int slave, std::initializer_list<std::pair<const char*, int>> fields) {
  Json::Value request(Json::objectValue);
  request["addr"] = slave;
  for (const auto& [name, value] : fields) request[name] = value;
  return request;
}

/// A write request and its verdict: true only when the controller took it.
bool sendWrite(internal::XService& link, const char* key, const Json::Value& request, std::error_code& ec) {
  Json::Value reply;
  internal::command(link, key, request, reply, ec);
  return !ec && internal::writeVerdict(reply, ec);
}

/// A write of `count` bytes from `data` as the request's "data".
bool writeBytes(internal::XService& link, const char* key, Json::Value request, int count, const std::uint8_t* data,
                std::error_code& ec) {
  if (bufferRefused(count, data, true, ec)) return false;
  request["data"] = internal::byteArray(data, count);
  return sendWrite(link, key, request, ec);
}

}  // namespace

bool BaseEthercat::ReadPDO(int slave_addr, int offset, int size, std::uint8_t* data, std::error_code& ec) noexcept {
  bool done = false;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) {
    if (bufferRefused(size, data, false, ec)) return;
    Json::Value reply;
    internal::command(*impl.link, "ethercat.read_PDO_data",
                      slaveRequest(slave_addr, {{"offset", offset}, {"size", size}}), reply, ec);
    if (ec) {
      std::fprintf(stderr, "ReadPDO ec: %s\n", ec.message().c_str());
      return;
    }
    done = internal::readByteData(reply, data, size, ec);
  });
  return done && !ec;
}

bool BaseEthercat::WritePDO(int slave_addr, int offset, int size, const std::uint8_t* data,
                            std::error_code& ec) noexcept {
  bool done = false;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) {
    done = writeBytes(*impl.link, "ethercat.write_PDO_data",
                      slaveRequest(slave_addr, {{"offset", offset}, {"size", size}}), size, data, ec);
  });
  return done && !ec;
}

bool BaseEthercat::ReadSDO(int slave_addr, int index, int sub_index, int length, std::uint8_t* data, int over_time,
                           std::error_code& ec) noexcept {
  bool done = false;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) {
    if (bufferRefused(length, data, false, ec)) return;
    const Json::Value request = slaveRequest(
        slave_addr, {{"index", index}, {"sub_index", sub_index}, {"length", length}, {"over_time", over_time}});
    Json::Value reply;
    internal::command(*impl.link, "ethercat.read_SDO_data", request, reply, ec);
    if (ec) return;
    // The controller's plain "not done": false, with no code of its own.
    if (internal::isIntegerReply(reply) && reply.asInt() == internal::kNotDoneReply) return;
    done = internal::readByteData(reply, data, length, ec);
  });
  return done && !ec;
}

bool BaseEthercat::WriteSDO(int slave_addr, int index, int sub_index, int length, const std::uint8_t* data,
                            int over_time, std::error_code& ec) noexcept {
  bool done = false;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) {
    done = writeBytes(
        *impl.link, "ethercat.write_SDO_data",
        slaveRequest(slave_addr,
                     {{"index", index}, {"sub_index", sub_index}, {"length", length}, {"over_time", over_time}}),
        length, data, ec);
  });
  return done && !ec;
}

bool BaseEthercat::WriteMultiSDO(std::uint16_t slave_addr, std::vector<SDOData> items, std::error_code& ec) noexcept {
  bool done = false;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) {
    for (const SDOData& item : items) {
      // `data` holds 50 bytes; a longer length would read past it.
      if (item.length > internal::kSdoItemBytes) {
        ec = internal::makeErrorCode(internal::kArgumentInvalidCode);
        return;
      }
    }
    Json::Value request(Json::arrayValue);
    for (const SDOData& item : items) {
      Json::Value object(Json::objectValue);
      object["addr"] = slave_addr;
      object["index"] = item.index;
      object["sub_index"] = item.sub_index;
      object["length"] = item.length;
      object["over_time"] = item.over_time;
      object["wait_time"] = item.wait_time;
      object["print_data"] = item.print_data;
      object["data"] = internal::byteArray(item.data.data(), item.length);
      request.append(std::move(object));
    }
    done = sendWrite(*impl.link, "ethercat.write_multi_SDO_data", request, ec);
  });
  return done && !ec;
}

}  // namespace velmora
