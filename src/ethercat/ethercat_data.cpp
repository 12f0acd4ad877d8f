// Process data (PDO) and service data objects (SDO) of one slave.

#include <json/value.h>
#include <velmora/error.h>
#include <velmora/ethercat.h>

#include <cstdio>

#include "common/reply_read.h"
#include "ethercat/ethercat_impl.h"

namespace velmora {
namespace {

using internal::guardReply;

// Checks shared by every operation that takes a byte buffer, before anything is sent.
bool refuseBuffer(const BaseEthercat::Impl* impl, int count, const void* data, bool write,
                  std::error_code& ec) {
  ec = internal::makeErrorCode(0);
  if (impl == nullptr) {
    ec = internal::makeErrorCode(internal::kNoObjectCode);
    return true;
  }
  if ((count > 0 && data == nullptr) || (write && count > internal::kMaxWriteBytes)) {
    ec = internal::makeErrorCode(259);
    return true;
  }
  return false;
}

bool sendWrite(const BaseEthercat::Impl& impl, const char* key, const Json::Value& request,
               std::error_code& ec) {
  bool done = false;
  guardReply(ec, [&] {
    Json::Value reply;
    done = impl.request(key, request, reply, ec) && internal::writeVerdict(reply, ec);
  });
  return done && !ec;
}

}  // namespace

bool BaseEthercat::ReadPDO(int slave_addr, int offset, int size, std::uint8_t* data,
                           std::error_code& ec) noexcept {
  if (refuseBuffer(impl_.get(), size, data, false, ec)) return false;
  bool done = false;
  guardReply(ec, [&] {
    Json::Value request(Json::objectValue);
    request["addr"] = slave_addr;
    request["offset"] = offset;
    request["size"] = size;
    Json::Value reply;
    if (!impl_->request("ethercat.read_PDO_data", request, reply, ec)) {
      std::fprintf(stderr, "ReadPDO ec: %s\n", ec.message().c_str());
      return;
    }
    done = internal::readByteData(reply, data, size, ec);
  });
  return done && !ec;
}

bool BaseEthercat::WritePDO(int slave_addr, int offset, int size, const std::uint8_t* data,
                            std::error_code& ec) noexcept {
  if (refuseBuffer(impl_.get(), size, data, true, ec)) return false;
  Json::Value request(Json::objectValue);
  if (!guardReply(ec, [&] {
        request["addr"] = slave_addr;
        request["offset"] = offset;
        request["size"] = size;
        request["data"] = internal::byteArray(data, size);
      })) {
    return false;
  }
  return sendWrite(*impl_, "ethercat.write_PDO_data", request, ec);
}

bool BaseEthercat::ReadSDO(int slave_addr, int index, int sub_index, int length, std::uint8_t* data,
                           int over_time, std::error_code& ec) noexcept {
  if (refuseBuffer(impl_.get(), length, data, false, ec)) return false;
  bool done = false;
  guardReply(ec, [&] {
    Json::Value request(Json::objectValue);
    request["addr"] = slave_addr;
    request["index"] = index;
    request["sub_index"] = sub_index;
    request["length"] = length;
    request["over_time"] = over_time;
    Json::Value reply;
    if (!impl_->request("ethercat.read_SDO_data", request, reply, ec)) return;
    // The controller's plain "not done": false, with no code of its own.
    if (internal::isIntegerReply(reply) && reply.asInt() == -1) return;
    done = internal::readByteData(reply, data, length, ec);
  });
  return done && !ec;
}

bool BaseEthercat::WriteSDO(int slave_addr, int index, int sub_index, int length,
                            const std::uint8_t* data, int over_time, std::error_code& ec) noexcept {
  if (refuseBuffer(impl_.get(), length, data, true, ec)) return false;
  Json::Value request(Json::objectValue);
  if (!guardReply(ec, [&] {
        request["addr"] = slave_addr;
        request["index"] = index;
        request["sub_index"] = sub_index;
        request["length"] = length;
        request["over_time"] = over_time;
        request["data"] = internal::byteArray(data, length);
      })) {
    return false;
  }
  return sendWrite(*impl_, "ethercat.write_SDO_data", request, ec);
}

bool BaseEthercat::WriteMultiSDO(std::uint16_t slave_addr, std::vector<SDOData> items,
                                 std::error_code& ec) noexcept {
  if (refuseBuffer(impl_.get(), 0, nullptr, true, ec)) return false;
  for (const SDOData& item : items) {
    // `data` holds 50 bytes; a longer length would read past it.
    if (item.length > internal::kSdoItemBytes) {
      ec = internal::makeErrorCode(259);
      return false;
    }
  }
  Json::Value request(Json::arrayValue);
  if (!guardReply(ec, [&] {
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
      })) {
    return false;
  }
  return sendWrite(*impl_, "ethercat.write_multi_SDO_data", request, ec);
}

}  // namespace velmora
