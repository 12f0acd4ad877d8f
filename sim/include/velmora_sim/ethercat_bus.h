#pragma once
// An EtherCAT bus behind the simulated controller: slaves with identity and state, process data
// per slave (kPdoBytes bytes, addressed by offset) and service data objects per (index,
// sub_index), so what a client writes can be read back. Slaves are kept in the order added;
// two slaves may share an address (the state list then has both, every other key finds the
// first).
//
//   "ethercat.get_con_slaves_num"   null                   -> {"data": count}
//   "ethercat.get_slave_info"       {"addr"}               -> {"data": {"addr", "slaveId",
//                                   "vendorId", "productCode", "reversionNumber", "slaveName"}}
//   "ethercat.get_slaves_state"     null                   -> {"data": [{"addr", "state"}, ...]}
//   "ethercat.set_slaves_state"     {"state": "init" | "preop" | "bootstrap" | "safeop" | "op"}
//                                                          -> 0, every slave takes the state
//   "ethercat.read_PDO_data"        {"addr", "offset", "size"}         -> {"data": [size bytes]}
//   "ethercat.write_PDO_data"       {"addr", "offset", "size", "data"} -> 0
//   "ethercat.read_SDO_data"        {"addr", "index", "sub_index", "length", "over_time"}
//                                   -> {"data": the stored bytes, at most length}, -1 when none
//   "ethercat.write_SDO_data"       {"addr", "index", "sub_index", "length", "over_time",
//                                    "data"}                            -> 0
//   "ethercat.write_multi_SDO_data" [{"addr", "index", "sub_index", "length", "over_time",
//                                     "wait_time", "print_data", "data"}, ...] -> 0
//
// Refusals: -1 an unknown state name, -2 an unknown slave, -3 a request of another shape (a
// missing member, a count that does not match "data", a byte outside 0..255, a range outside
// the process data). A multiple write stores nothing unless every item is good.

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

struct SimSlave {
  int addr = 0;
  std::uint32_t slaveId = 0;
  std::uint32_t vendorId = 0;
  std::uint32_t productCode = 0;
  std::uint32_t reversionNumber = 0;
  std::string name;
  std::uint16_t state = 1;  ///< "init"
};

class EthercatBus {
 public:
  static constexpr int kPdoBytes = 64;

  EthercatBus();
  /// Appends a slave with zeroed process data and no service data objects. Any thread.
  void addSlave(SimSlave slave);
  /// Answers the keys above in the command form on `service`; the bus state is shared with
  /// the handlers, so this object may go before the service. Scripted steps still come first.
  void install(CommandService& service) const;

  // What the slaves hold now (first slave with the address). Any thread.
  std::vector<std::uint8_t> pdo(int addr) const;
  std::optional<std::vector<std::uint8_t>> sdo(int addr, int index, int subIndex) const;
  void setSdo(int addr, int index, int subIndex, std::vector<std::uint8_t> bytes);
  std::uint16_t state(int addr) const;

  /// The reply to one request of a key above (used by `install`).
  Json::Value answer(const std::string& key, const Json::Value& request) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
