#include "demo_stream.h"

#include <velmora/exception.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void printValues(const char* name, const std::vector<double>& values) {
  std::printf("  %-6s", name);
  for (const double value : values) std::printf(" %.4f", value);
  std::printf("\n");
}

}  // namespace

template <int W, unsigned short N>
int runStateStreamDemo(velmora::Robot_T<W, N>& robot) {
  using namespace std::chrono_literals;
  try {
    robot.startReceiveRobotState(1ms, {"q_m", "pos_m"});
    unsigned packets = 0;
    const auto until = std::chrono::steady_clock::now() + 1s;
    // Datagrams are taken oldest first, one per call: read as fast as they come.
    while (std::chrono::steady_clock::now() < until) {
      if (robot.updateRobotState(10ms) > 0) ++packets;
    }
    std::uint64_t ts = 0;
    std::vector<double> joints;
    std::vector<double> flange;
    robot.getStateData("ts", ts);
    robot.getStateData("q_m", joints);
    robot.getStateData("pos_m", flange);
    robot.stopReceiveRobotState();
    std::printf("state stream: %u packets in 1 s, last ts %llu\n", packets, static_cast<unsigned long long>(ts));
    printValues("q_m", joints);
    printValues("pos_m", flange);
    return 0;
  } catch (const velmora::Exception& e) {
    robot.stopReceiveRobotState();
    std::printf("state stream failed: %s\n", e.what());
    return 1;
  }
}

template int runStateStreamDemo(velmora::Robot_T<1, 5>&);
template int runStateStreamDemo(velmora::Robot_T<1, 6>&);
template int runStateStreamDemo(velmora::Robot_T<1, 7>&);
template int runStateStreamDemo(velmora::Robot_T<0, 6>&);
