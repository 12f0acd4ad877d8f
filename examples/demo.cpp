// The library against a controller: connects a robot, prints what the controller reports,
// powers the arm on, reads its state and posture, takes the state stream for a second, runs a
// short motion, disconnects. Usage: velmora_demo [address]
// (default 127.0.0.1; tools/run-demo.sh starts the simulator and passes its address). The
// robot log stays under ./_velmora_log_/<controller id>/ of the working directory.
#include <velmora/robots.h>
#include <velmora/version.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "demo_motion.h"
#include "demo_stream.h"

namespace {

const char* powerName(velmora::PowerState state) {
  switch (state) {
    case velmora::PowerState::on:
      return "on";
    case velmora::PowerState::off:
      return "off";
    case velmora::PowerState::estop:
      return "emergency stop";
    case velmora::PowerState::gstop:
      return "guard stop";
    default:
      return "unknown";
  }
}

// Prints a failed step; true when it went well.
bool ok(const char* step, const std::error_code& ec) {
  if (ec) std::printf("  %s failed: %d %s\n", step, ec.value(), ec.message().c_str());
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmora;
  const std::string address = argc > 1 ? argv[1] : "127.0.0.1";
  const VersionInfo& v = internal::sdkVersionInfo();
  std::printf("velmora %s (built %s)\n", v.shortString().c_str(), v.buildTime.c_str());

  try {
    // Connects at once: "sys.info", the compatibility check, the ports, the local address.
    OstraMaxRobot robot(address, address);
    std::error_code ec;
    const Info info = robot.robotInfo(ec);
    if (!ok("robotInfo", ec)) return 1;
    std::printf("connected to %s: id %s, type %s, controller %s, %d joints, MAC %s\n", address.c_str(), info.id.c_str(),
                info.type.c_str(), info.version.c_str(), info.joint_num, info.mac.c_str());

    std::printf("power: %s\n", powerName(robot.powerState(ec)));
    robot.setPowerState(true, ec);
    if (!ok("setPowerState", ec)) return 1;
    std::printf("power after switching on: %s\n", powerName(robot.powerState(ec)));

    const OperationState state = robot.operationState(ec);
    if (ok("operationState", ec)) std::printf("operation state: %d (0 idle, 9 moving)\n", static_cast<int>(state));
    const auto pose = robot.posture(CoordinateType::flangeInBase, ec);
    if (ok("posture", ec)) {
      std::printf("flange in base: x %.3f y %.3f z %.3f m, rx %.3f ry %.3f rz %.3f rad\n", pose[0], pose[1], pose[2],
                  pose[3], pose[4], pose[5]);
    }

    runStateStreamDemo(robot);
    demoMotion(robot);

    robot.disconnectFromRobot(ec);
    ok("disconnectFromRobot", ec);
    std::printf("disconnected\n");
    const std::filesystem::path logs = std::filesystem::current_path() / "_velmora_log_" / info.id;
    std::error_code fsError;
    for (const auto& entry : std::filesystem::directory_iterator(logs, fsError)) {
      std::printf("robot log %s:\n", entry.path().c_str());
      std::ifstream file(entry.path());
      for (std::string line; std::getline(file, line);) std::printf("  %s\n", line.c_str());
    }
  } catch (const std::exception& e) {
    std::printf("cannot connect to %s: %s\n", address.c_str(), e.what());
    return 1;
  }
  return 0;
}
