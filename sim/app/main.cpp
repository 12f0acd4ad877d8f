// velmora-sim: the controller simulator as a program, for trying the library or a client by
// hand. It serves until Ctrl-C (SIGINT) or SIGTERM.

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "velmora_sim/ethercat_bus.h"
#include "velmora_sim/force_control_model.h"
#include "velmora_sim/project_store.h"
#include "velmora_sim/simulator.h"

namespace {

const char* const kUsage =
    "usage: velmora-sim [--arm CLASS] [--address A] [--command-port N] [--file-port N]\n"
    "                   [--rt-port N] [--broadcast-port N] [--stream-interval-us N]\n"
    "                   [--time-scale X] [--packet-numbers] [--upgrade] [--verbose]\n"
    "\n"
    "Simulates a robot controller on one address until Ctrl-C.\n"
    "  --arm CLASS        the arm behind it, as the robot class a program connects with:\n"
    "                     OstraLiteRobot (5 joints, collaborative), OstraRobot (6, collaborative),\n"
    "                     OstraMaxRobot (7, collaborative; the default), LynRobot (7,\n"
    "                     collaborative), Sorn3Robot (3, industrial SCARA), Sorn4Robot (4,\n"
    "                     industrial SCARA), StandardRobot (6, industrial); or identity, the\n"
    "                     7-joint wire model whose pose is its joints, which answers every\n"
    "                     motion and kinematics request without power or limits\n"
    "  --address A        IPv4 address to listen on (default 127.0.0.1)\n"
    "  --command-port N   command service, JSON ended by a carriage return (default 6666)\n"
    "  --file-port N      file service (default 7777)\n"
    "  --upgrade          also serve the upgrade service on 4567: packages are checked against\n"
    "                     their MD5, backup exports send a small text file\n"
    "  --rt-port N        real-time port named by \"eci.port\" (default 1337)\n"
    "  --broadcast-port N UDP port the state stream goes to until the client names one\n"
    "                     (default 1338)\n"
    "  --stream-interval-us N\n"
    "                     publish the state stream every N microseconds whatever\n"
    "                     \"eci.pub.start\" asks (sub-millisecond streams; default: as asked)\n"
    "  --time-scale X     real seconds per second of the arm's motion: 1 real time (default),\n"
    "                     0.1 ten times faster, 0 every motion ends as it begins\n"
    "  --packet-numbers   the stream's \"ts\" counts packets instead of the arm's milliseconds\n"
    "                     (losses and staleness of a reader show as gaps)\n"
    "  --verbose          print every request received\n"
    "  --help             print this text\n"
    "\n"
    "\n"
    "One simulated arm stands behind the state queries, the posture, the kinematics requests\n"
    "and the state stream, with its own joint count, DH parameters, joint limits and\n"
    "kinematics. Motion needs the power on (\"sys.power.on\"); power off stops it at once.\n"
    "Queued and immediate motion commands move it over time at the speed they give (and the\n"
    "speed override): joint moves in joint space, linear, circular and spiral moves along\n"
    "their path in space. Targets past the joint (or soft) limits or out of reach are refused\n"
    "with the controller's codes. Each queued command is reported finished when its motion\n"
    "ends, \"sys.state\" answers \"idleing\" (moving) meanwhile; \"move.pause\" halts it,\n"
    "\"move.continue\" resumes, \"move.reset\" clears, a jog moves it by its step.\n"
    "A collaborative arm's force controller answers the \"eci.fc.\" keys (its conditions are met\n"
    "at once), an EtherCAT bus holds two slaves (addresses 1 and 2) and the RL project \"demo\"\n"
    "has the task \"T_ROB1\". Unknown keys are answered with 0 (command and set forms), null (get)\n"
    "or the flag (watch).\n";

bool parsePort(const char* text, std::uint16_t& port) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

bool parseScale(const char* text, double& scale) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(value) || value < 0 || value > 1000) return false;
  scale = value;
  return true;
}

bool parseMicroseconds(const char* text, std::chrono::nanoseconds& interval) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value <= 0 || value > 10'000'000) return false;
  interval = std::chrono::microseconds(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  velmora_sim::SimulatorOptions options;
  options.timeScale = 1;
  // A program appending motion sees the arm move and hears each command finish when it
  // arrives, as on an arm; from its first connection on.
  options.followArm = true;
  options.arm = "OstraMaxRobot";
  bool verbose = false;
  bool packetNumbers = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--arm" && hasValue && std::string(argv[i + 1]) == "identity") {
      options.arm.clear();
      ++i;
    } else if (arg == "--arm" && hasValue && velmora_sim::arm::findArm(argv[i + 1])) {
      options.arm = argv[++i];
    } else if (arg == "--address" && hasValue) {
      options.address = argv[++i];
    } else if (arg == "--command-port" && hasValue && parsePort(argv[i + 1], options.commandPort)) {
      ++i;
    } else if (arg == "--file-port" && hasValue && parsePort(argv[i + 1], options.filePort)) {
      ++i;
    } else if (arg == "--upgrade") {
      options.upgradeService = true;
    } else if (arg == "--rt-port" && hasValue && parsePort(argv[i + 1], options.rtPort)) {
      ++i;
    } else if (arg == "--broadcast-port" && hasValue && parsePort(argv[i + 1], options.broadcastPort)) {
      ++i;
    } else if (arg == "--stream-interval-us" && hasValue && parseMicroseconds(argv[i + 1], options.streamInterval)) {
      ++i;
    } else if (arg == "--time-scale" && hasValue && parseScale(argv[i + 1], options.timeScale)) {
      ++i;
    } else if (arg == "--packet-numbers") {
      packetNumbers = true;
    } else if (arg == "--verbose") {
      verbose = true;
    } else {
      std::cerr << "velmora-sim: bad argument '" << arg << "'\n" << kUsage;
      return 2;
    }
  }

  // Blocked before any thread starts, so only sigwait below sees them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    velmora_sim::Simulator sim(options);
    // A long-running simulator keeps no record of what it received.
    sim.command().log().setEnabled(false);
    if (options.upgradeService) sim.upgrade().setRecording(false);
    if (packetNumbers) sim.state().setSource(nullptr);
    // What a program tries first beyond the arm: a bus with a drive and an I/O coupler, the
    // force controller and a project to load.
    velmora_sim::EthercatBus bus;
    bus.addSlave({1, 0x1001, 0x00000A11, 0x00001020, 1, "drive-1", 1});
    bus.addSlave({2, 0x1002, 0x00000A11, 0x00002040, 1, "io-2", 1});
    bus.install(sim.command());
    // Force control is a collaborative arm's.
    std::optional<velmora_sim::ForceControlModel> forceControl;
    if (sim.info().workType == "cobot") {
      forceControl.emplace(sim.info().jointCount);
      forceControl->install(sim.command());
    }
    sim.projects().addProject("demo", {"T_ROB1"});
    if (verbose) {
      sim.command().observe(
          [](const velmora_sim::Request& r) { std::cout << r.raw.substr(0, r.raw.size() - 1) << std::endl; });
    }
    std::cout << "velmora-sim on " << sim.address() << " as " << (options.arm.empty() ? "identity" : options.arm)
              << ": command " << sim.command().port() << ", file " << sim.file().port() << ", real-time "
              << sim.rtPort().port();
    if (options.upgradeService) std::cout << ", upgrade " << sim.upgrade().port();
    std::cout << ", time scale " << options.timeScale << " (Ctrl-C stops)" << std::endl;
    int received = 0;
    sigwait(&signals, &received);
    sim.stop();
  } catch (const std::exception& e) {
    std::cerr << "velmora-sim: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
