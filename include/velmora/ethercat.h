#pragma once
// EtherCAT slave access through the controller. An EtherCAT object opens and owns a command link
// of its own to the robot's controller (its own I/O thread), so it does not share the robot's
// link and stays usable after the robot object is gone. Each operation sends "c" requests on
// that link and blocks the calling thread for at most 10 s per request; the link gives 256
// (down), 257 (reply without the key) and 263 (no reply in time); a bare integer reply where
// data was expected is its code (257 for 0), and a reply of another unexpected shape gives 257. Concurrent calls on one
// object each wait for their own reply. An object that was moved from owns nothing; its operations give 255 and a false
// or zero result.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <velmora/base.h>
#include <velmora/export.h>

namespace velmora {

namespace internal {
class XService;  // the command link, defined inside the library
}  // namespace internal

/// Identity and state of one slave on the bus.
struct VELMORA_API SlaveInfo {
  std::uint32_t vendorId = 0;         ///< the maker's EtherCAT vendor id
  std::uint32_t productCode = 0;      ///< the maker's product code
  std::uint32_t reversionNumber = 0;  ///< the slave's revision number
  std::uint16_t slaveAddr = 0;        ///< the slave's station address on the bus
  std::uint32_t slaveId = 0;          ///< the slave's position on the bus
  std::uint16_t alStatus = 0;         ///< application-layer state from the slave state list
  std::string slaveName;              ///< the name the slave reports
};

/// One service data object to write with `BaseEthercat::WriteMultiSDO`.
struct VELMORA_API SDOData {
  std::int32_t index = 0;               ///< the object's index in the dictionary
  std::int32_t sub_index = 0;           ///< the object's sub-index
  std::int32_t length = 0;              ///< bytes of `data` that count, at most 50
  std::int32_t over_time = 0;           ///< the controller's time-out for the write, sent as given
  std::int32_t wait_time = 0;           ///< the controller's pause after the write, sent as given
  std::int32_t print_data = 0;          ///< the controller's print flag, sent as given
  std::array<std::uint8_t, 50> data{};  ///< the bytes to write, the first `length` of them
};

/// Access to the slaves of the controller's EtherCAT bus. Move-only: exactly one object owns
/// (and finally stops) its link.
class VELMORA_API BaseEthercat : public Base<BaseEthercat> {
 public:
  /// Opens a link of its own to the controller that `robotLink` is connected to (port 6666) and
  /// logs to the robot's log; throws `NetworkException` when that link does not start (an
  /// unconnected robot link has no address and fails without connecting anywhere; so does a
  /// null one).
  explicit BaseEthercat(std::shared_ptr<internal::XService> robotLink);
  BaseEthercat(const BaseEthercat&) = delete;
  BaseEthercat& operator=(const BaseEthercat&) = delete;
  ///@{
  /// The link passes to the new object; the moved-from one reports 255 from every operation.
  BaseEthercat(BaseEthercat&& other) noexcept;
  BaseEthercat& operator=(BaseEthercat&& other) noexcept;
  ///@}
  /// Stops and releases the object's own link.
  virtual ~BaseEthercat();

  /// "ethercat.get_con_slaves_num": the number of slaves; 0 on failure.
  int GetSlaveCount(std::error_code& ec) noexcept;
  /// "ethercat.get_slave_info" for the address, then "ethercat.get_slaves_state" for its state;
  /// an integer reply is the code; a zero record on failure.
  SlaveInfo GetSlaveInfo(int slave_addr, std::error_code& ec) noexcept;
  /// "ethercat.get_slaves_state", then `GetSlaveInfo` of every listed slave in order (1 + 2n
  /// requests); one record per listed slave, zero or partly filled where its requests failed;
  /// the first failure stays in `ec`, and after 256 or 263 nothing more is sent.
  std::vector<SlaveInfo> GetSlavesInfo(std::error_code& ec) noexcept;
  /// "ethercat.get_slaves_state": the state of the first entry with the address; 0 when none.
  std::uint16_t GetSlaveState(int slave_addr, std::error_code& ec) noexcept;
  /// "ethercat.set_slaves_state" with "init" (1), "preop" (2), "bootstrap" (3), "safeop" (4) or
  /// "op" (8); another value gives 259 and nothing is sent; true only on success (a reply of
  /// -1 gives false, another negative reply false and its code).
  bool SetSlavesState(std::uint16_t state, std::error_code& ec) noexcept;
  /// "ethercat.read_PDO_data": copies at most `size` reply bytes into `data` (nothing for a
  /// size <= 0; 259 for a null buffer with a positive size); an integer reply is the code; a
  /// failed request also writes one line to the standard error stream.
  bool ReadPDO(int slave_addr, int offset, int size, std::uint8_t* data, std::error_code& ec) noexcept;
  /// "ethercat.write_PDO_data" with `size` bytes of `data` (259 for a null buffer with a positive
  /// size or more than 1 MiB); a reply of -1 gives false, another negative reply its code.
  bool WritePDO(int slave_addr, int offset, int size, const std::uint8_t* data, std::error_code& ec) noexcept;
  /// "ethercat.read_SDO_data": copies at most `length` reply bytes into `data`, as `ReadPDO`; a
  /// reply of -1 gives false.
  bool ReadSDO(int slave_addr, int index, int sub_index, int length, std::uint8_t* data, int over_time,
               std::error_code& ec) noexcept;
  /// "ethercat.write_SDO_data" with `length` bytes of `data`, as `WritePDO`.
  bool WriteSDO(int slave_addr, int index, int sub_index, int length, const std::uint8_t* data, int over_time,
                std::error_code& ec) noexcept;
  /// "ethercat.write_multi_SDO_data" with one object per item in order (an item length over 50
  /// gives 259 and nothing is sent); as `WritePDO` for the reply.
  bool WriteMultiSDO(std::uint16_t slave_addr, std::vector<SDOData> items, std::error_code& ec) noexcept;

 public:
  /// The private part, defined inside the library.
  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
