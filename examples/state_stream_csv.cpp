// The state stream to CSV: subscribes to the time stamp, joint positions, velocities and
// torques at 1 ms while the arm makes a joint move, and writes one CSV row per datagram for two
// seconds. Field names are those of the stream ("ts", "q_m", "dq_m", "tau_m", ...).
// Usage: state_stream_csv <controller address> [file, default state.csv]
#include <velmora/exception.h>
#include <velmora/robots.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "example.h"

int main(int argc, char** argv) {
  using namespace std::chrono_literals;
  if (argc < 2) return example::usage(argv[0], "<controller address> [file]");
  const std::string path = argc > 2 ? argv[2] : "state.csv";
  std::FILE* csv = std::fopen(path.c_str(), "w");
  if (!csv) {
    std::perror(path.c_str());
    return 1;
  }
  int rows = 0;
  try {
    // The second address is where the controller sends the stream: this computer's.
    velmora::OstraMaxRobot robot(argv[1], argv[1]);
    std::error_code ec;
    robot.setPowerState(true, ec);
    std::string id;
    robot.moveAppend(
        std::vector<velmora::MoveAbsJCommand>{velmora::MoveAbsJCommand({{0.2, 0.3, 0.1, 0.5, 0.1, 0.4, 0.2}}, 500, 0)},
        id, ec);
    robot.moveStart(ec);

    const std::vector<std::string> fields = {"q_m", "dq_m", "tau_m"};
    robot.startReceiveRobotState(1ms, fields);  // throws when no datagram comes
    std::fprintf(csv, "ts");
    for (const auto& name : fields) {
      for (int joint = 1; joint <= 7; ++joint) std::fprintf(csv, ",%s%d", name.c_str(), joint);
    }
    std::fprintf(csv, "\n");

    std::vector<double> values;
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < until) {
      // Takes at most one datagram per call, oldest first: read as fast as they come.
      if (robot.updateRobotState(10ms) == 0) continue;
      std::uint64_t ts = 0;
      robot.getStateData("ts", ts);
      std::fprintf(csv, "%llu", static_cast<unsigned long long>(ts));
      for (const auto& name : fields) {
        values.clear();  // a vector is appended to
        robot.getStateData(name, values);
        for (const double v : values) std::fprintf(csv, ",%.6f", v);
      }
      std::fprintf(csv, "\n");
      ++rows;
    }
    robot.stopReceiveRobotState();
    robot.stop(ec);
    robot.disconnectFromRobot(ec);
  } catch (const velmora::Exception& e) {
    std::printf("failed: %s\n", e.what());
    std::fclose(csv);
    return 1;
  }
  std::fclose(csv);
  std::printf("wrote %d rows to %s\n", rows, path.c_str());
  return rows > 0 ? 0 : 1;
}
