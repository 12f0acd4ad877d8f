// I/O and registers: with input simulation on, sets a digital input and reads it back, switches
// a digital output and an analog output, reads an analog input, then reads and writes a float
// register and an element of an integer-array register. Signals are named by board and port
// ("DI0_3" is board 0, port 3); registers by their names in the controller's RL project.
// Usage: io_and_registers <controller address>
#include <velmora/exception.h>
#include <velmora/robots.h>

#include <cstdio>
#include <string>
#include <vector>

#include "example.h"

int main(int argc, char** argv) {
  if (argc < 2) return example::usage(argv[0], "<controller address>");
  try {
    velmora::OstraMaxRobot robot(argv[1], argv[1]);
    std::error_code ec;

    // Inputs can be set only while the controller simulates them.
    robot.setSimulationMode(true, ec);
    robot.setDI(0, 3, true, ec);
    if (!example::report("setDI", ec)) return 1;
    std::printf("DI0_3: %d\n", robot.getDI(0, 3, ec));
    robot.setSimulationMode(false, ec);

    robot.setDO(0, 1, true, ec);
    if (!example::report("setDO", ec)) return 1;
    std::printf("DO0_1: %d\n", robot.getDO(0, 1, ec));
    robot.setAO(0, 0, 2.5, ec);
    example::report("setAO", ec);
    std::printf("AI0_0: %.3f\n", robot.getAI(0, 0, ec));

    float speed = 0;
    robot.readRegister("reg_float", 0, speed, ec);
    std::printf("reg_float: %.2f\n", speed);
    robot.writeRegister("reg_float", 0, speed * 2, ec);
    robot.readRegister("reg_float", 0, speed, ec);
    if (!example::report("reg_float", ec)) return 1;
    std::printf("reg_float after writing: %.2f\n", speed);

    // An array register: one element by its index, or the whole array as a vector.
    robot.writeRegister("reg_int", 1, 42, ec);
    std::vector<int> counts;
    robot.readRegister("reg_int", 0, counts, ec);
    if (!example::report("reg_int", ec)) return 1;
    std::printf("reg_int:");
    for (const int count : counts) std::printf(" %d", count);
    std::printf("\n");
    robot.disconnectFromRobot(ec);
    return 0;
  } catch (const velmora::Exception& e) {
    std::printf("cannot connect: %s\n", e.what());
    return 1;
  }
}
