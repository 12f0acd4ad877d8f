// Connecting and power: connects to a controller, prints what it reports about itself, switches
// the arm's power on and reads the power and operation states back, then disconnects.
// Usage: connect_and_power <controller address>   (e.g. a velmora-sim's --address)
#include <velmora/exception.h>
#include <velmora/robots.h>

#include <cstdio>
#include <string>

#include "example.h"

int main(int argc, char** argv) {
  if (argc < 2) return example::usage(argv[0], "<controller address>");
  const std::string address = argv[1];
  std::printf("library %s\n", velmora::BaseRobot::sdkVersion().c_str());
  try {
    // The connecting constructor connects at once and throws when it cannot. The second address
    // is this computer's on the controller's network, where the state stream will be sent.
    velmora::OstraMaxRobot robot(address, address);
    std::error_code ec;
    const velmora::Info info = robot.robotInfo(ec);
    if (!example::report("robotInfo", ec)) return 1;
    std::printf("controller %s: type %s, version %s, %d joints\n", info.id.c_str(), info.type.c_str(),
                info.version.c_str(), info.joint_num);

    // Operations report through the trailing error code and never throw.
    robot.setOperateMode(velmora::OperateMode::automatic, ec);
    robot.setPowerState(true, ec);
    if (!example::report("setPowerState", ec)) return 1;
    const bool on = robot.powerState(ec) == velmora::PowerState::on;
    std::printf("power: %s\n", on ? "on" : "not on");
    std::printf("operation state: %d (0 idle)\n", static_cast<int>(robot.operationState(ec)));

    robot.setPowerState(false, ec);
    robot.disconnectFromRobot(ec);
    return on ? 0 : 1;
  } catch (const velmora::Exception& e) {
    std::printf("cannot connect to %s: %s\n", address.c_str(), e.what());
    return 1;
  }
}
