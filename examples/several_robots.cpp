// Several robots in one program: one robot object per controller, each driven from a thread of
// its own (robots are independent; one robot's operations may also be called from several
// threads). Each arm is powered on, makes a joint move and is waited for until its joints reach
// the target (at most 60 s).
// Usage: several_robots <controller address> [more controller addresses...]
#include <velmora/exception.h>
#include <velmora/robots.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "example.h"

namespace {

bool reached(const std::vector<double>& joints, const std::vector<double>& target) {
  if (joints.size() != target.size()) return false;
  for (std::size_t i = 0; i < joints.size(); ++i) {
    if (std::abs(joints[i] - target[i]) > 1e-3) return false;
  }
  return true;
}

// Returns whether the arm reached the target; prints what went wrong otherwise.
bool drive(const std::string& address, double angle) {
  using namespace std::chrono_literals;
  try {
    velmora::OstraMaxRobot robot(address, address);
    std::error_code ec;
    robot.setPowerState(true, ec);
    const std::vector<double> target = {angle, 0.2, 0, 0.6, 0, 0.4, 0};
    std::string id;
    robot.moveAppend(std::vector<velmora::MoveAbsJCommand>{velmora::MoveAbsJCommand({target}, 500, 0)}, id, ec);
    robot.moveStart(ec);
    if (ec) {
      std::printf("%s: moveStart failed: %d %s\n", address.c_str(), ec.value(), ec.message().c_str());
      return false;
    }
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (!reached(robot.jointPos(ec), target)) {
      if (std::chrono::steady_clock::now() > until) {
        std::printf("%s: target not reached in 60 s\n", address.c_str());
        return false;
      }
      std::this_thread::sleep_for(50ms);
    }
    std::printf("%s: joint 1 at %.2f rad\n", address.c_str(), angle);
    robot.disconnectFromRobot(ec);
    return true;
  } catch (const velmora::Exception& e) {
    std::printf("%s: cannot connect: %s\n", address.c_str(), e.what());
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return example::usage(argv[0], "<controller address>...");
  std::vector<std::thread> threads;
  std::vector<char> done(argc - 1, 0);
  for (int i = 1; i < argc; ++i) {
    threads.emplace_back([&done, i, argv] { done[i - 1] = drive(argv[i], 0.3 * i); });
  }
  for (auto& thread : threads) thread.join();
  int count = 0;
  for (const char d : done) count += d;
  std::printf("%d of %d robots reached their targets\n", count, argc - 1);
  return count == argc - 1 ? 0 : 1;
}
