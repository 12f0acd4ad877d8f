// EtherCAT: lists the slaves on the controller's bus, brings them to the operational state,
// writes process data to the first slave and reads it back, then writes and reads one of its
// service data objects. The EtherCAT object has a link of its own to the controller.
// Usage: ethercat <controller address>
#include <velmora/exception.h>
#include <velmora/robots.h>

#include <cstdint>
#include <cstdio>

#include "example.h"

int main(int argc, char** argv) {
  if (argc < 2) return example::usage(argv[0], "<controller address>");
  try {
    velmora::OstraMaxRobot robot(argv[1], argv[1]);
    velmora::BaseEthercat bus = robot.ethercat();
    std::error_code ec;
    const auto slaves = bus.GetSlavesInfo(ec);
    if (!example::report("GetSlavesInfo", ec)) return 1;
    std::printf("%zu slaves\n", slaves.size());
    for (const auto& slave : slaves) {
      std::printf("  address %u: %s, vendor 0x%08x, product 0x%08x, state %u\n", slave.slaveAddr,
                  slave.slaveName.c_str(), slave.vendorId, slave.productCode, slave.alStatus);
    }
    if (slaves.empty()) return 1;
    const int address = slaves.front().slaveAddr;

    bus.SetSlavesState(8, ec);  // 1 init, 2 pre-operational, 4 safe-operational, 8 operational
    if (!example::report("SetSlavesState", ec)) return 1;
    std::printf("slave %d state: %u\n", address, bus.GetSlaveState(address, ec));

    // Process data: bytes at an offset in the slave's image.
    const std::uint8_t out[4] = {0x11, 0x22, 0x33, 0x44};
    std::uint8_t in[4] = {};
    bus.WritePDO(address, 0, sizeof out, out, ec);
    bus.ReadPDO(address, 0, sizeof in, in, ec);
    if (!example::report("PDO", ec)) return 1;
    std::printf("PDO read back: %02x %02x %02x %02x\n", in[0], in[1], in[2], in[3]);

    // A service data object by index and sub-index, with a 1000 ms time-out on the bus.
    const std::uint8_t value[2] = {0xE8, 0x03};
    std::uint8_t readBack[2] = {};
    bus.WriteSDO(address, 0x6040, 0, sizeof value, value, 1000, ec);
    bus.ReadSDO(address, 0x6040, 0, sizeof readBack, readBack, 1000, ec);
    if (!example::report("SDO", ec)) return 1;
    std::printf("SDO 0x6040:0 = %u\n", readBack[0] | readBack[1] << 8);
    return 0;
  } catch (const velmora::Exception& e) {
    std::printf("cannot connect: %s\n", e.what());
    return 1;
  }
}
