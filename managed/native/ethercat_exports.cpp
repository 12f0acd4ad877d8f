// EtherCAT access: the handle that owns an EtherCAT object and its own command link, and the
// slave operations. Byte buffers are the export's own, sized as the call asks, so a controller
// reply longer than asked, or a caller array shorter than the size it names, can never make the
// library read or write past an array.

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "native/abi_records.h"
#include "native/extension_handles.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

/// `size` bytes for the native call: the caller's first bytes, zeros after them. Never empty,
/// so the native side is never handed a null buffer whatever the size.
std::vector<std::uint8_t> outgoing(std::int32_t size, const std::uint8_t* data, std::int32_t dataCount) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int32_t>(size, 1)), 0);
  if (data != nullptr && size > 0 && dataCount > 0) {
    std::memcpy(bytes.data(), data, static_cast<std::size_t>(std::min(size, dataCount)));
  }
  return bytes;
}

/// Copies what a read left in `bytes` into the caller's array of `capacity` bytes.
void deliver(const std::vector<std::uint8_t>& bytes, std::int32_t size, std::uint8_t* data, std::int32_t capacity) {
  const std::int32_t n = std::min(std::max<std::int32_t>(size, 0), std::max<std::int32_t>(capacity, 0));
  if (data != nullptr && n > 0) std::memcpy(data, bytes.data(), static_cast<std::size_t>(n));
}

}  // namespace

extern "C" {

int32_t vel_robot_ethercat(vel_robot* robot, vel_ethercat** ethercat) noexcept {
  return abiCall([&] {
    vel_ethercat*& out = required(ethercat, "ethercat");
    auto handle = std::make_unique<vel_ethercat>();
    // The accessor's object hands its link over; what is left behind owns nothing.
    handle->object = std::make_unique<BaseEthercat>(baseRobot(robot).ethercat());
    out = handle.release();
  });
}

int32_t vel_ethercat_destroy(vel_ethercat* ethercat) noexcept {
  return abiCall([&] { delete ethercat; });
}

int32_t vel_ethercat_read_sdo(vel_ethercat* ethercat, int32_t slave_addr, int32_t index, int32_t sub_index,
                              int32_t length, uint8_t* data, int32_t capacity, int32_t over_time, uint8_t* done,
                              vel_err* ec) noexcept {
  return abiCall([&] {
    uint8_t& out = required(done, "done");
    std::vector<std::uint8_t> bytes = outgoing(length, nullptr, 0);
    reportCode(ec, [&](std::error_code& code) {
      out = ethercatOf(ethercat).ReadSDO(slave_addr, index, sub_index, length, bytes.data(), over_time, code) ? 1 : 0;
    });
    deliver(bytes, length, data, capacity);
  });
}

int32_t vel_ethercat_write_sdo(vel_ethercat* ethercat, int32_t slave_addr, int32_t index, int32_t sub_index,
                               int32_t length, const uint8_t* data, int32_t data_count, int32_t over_time,
                               uint8_t* done, vel_err* ec) noexcept {
  return abiCall([&] {
    uint8_t& out = required(done, "done");
    const std::vector<std::uint8_t> bytes = outgoing(length, data, data_count);
    reportCode(ec, [&](std::error_code& code) {
      out = ethercatOf(ethercat).WriteSDO(slave_addr, index, sub_index, length, bytes.data(), over_time, code) ? 1 : 0;
    });
  });
}

int32_t vel_ethercat_write_multi_sdo(vel_ethercat* ethercat, uint16_t slave_addr, const uint8_t* items, int64_t length,
                                     uint8_t* done, vel_err* ec) noexcept {
  return abiCall([&] {
    uint8_t& out = required(done, "done");
    auto records = decoded<std::vector<SDOData>>(items, length);
    reportCode(ec, [&](std::error_code& code) {
      out = ethercatOf(ethercat).WriteMultiSDO(slave_addr, std::move(records), code) ? 1 : 0;
    });
  });
}

int32_t vel_ethercat_read_pdo(vel_ethercat* ethercat, int32_t slave_addr, int32_t offset, int32_t size, uint8_t* data,
                              int32_t capacity, uint8_t* done, vel_err* ec) noexcept {
  return abiCall([&] {
    uint8_t& out = required(done, "done");
    std::vector<std::uint8_t> bytes = outgoing(size, nullptr, 0);
    reportCode(ec, [&](std::error_code& code) {
      out = ethercatOf(ethercat).ReadPDO(slave_addr, offset, size, bytes.data(), code) ? 1 : 0;
    });
    deliver(bytes, size, data, capacity);
  });
}

int32_t vel_ethercat_write_pdo(vel_ethercat* ethercat, int32_t slave_addr, int32_t offset, int32_t size,
                               const uint8_t* data, int32_t data_count, uint8_t* done, vel_err* ec) noexcept {
  return abiCall([&] {
    uint8_t& out = required(done, "done");
    const std::vector<std::uint8_t> bytes = outgoing(size, data, data_count);
    reportCode(ec, [&](std::error_code& code) {
      out = ethercatOf(ethercat).WritePDO(slave_addr, offset, size, bytes.data(), code) ? 1 : 0;
    });
  });
}

}  // extern "C"
