// Queued motion with progress callbacks: queues a joint move, a batch of linear moves and a
// wait, starts them, and prints each of the controller's progress reports as the moveExecution
// callback hears it, until the last command is reached (or 60 s pass).
// Usage: queued_motion <controller address>
#include <velmora/exception.h>
#include <velmora/robots.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "example.h"

namespace {

// What the callback heard. Shared with it, since a late report may still be on its way when
// main returns.
struct Progress {
  std::mutex mutex;
  std::condition_variable changed;
  std::string lastId;
  bool finished = false;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace std::chrono_literals;
  if (argc < 2) return example::usage(argv[0], "<controller address>");
  try {
    velmora::OstraMaxRobot robot(argv[1], argv[1]);
    std::error_code ec;
    robot.setPowerState(true, ec);

    // The callback runs on a thread of the library: it only records and signals.
    const auto progress = std::make_shared<Progress>();
    robot.setEventWatcher(
        velmora::Event::moveExecution,
        [progress](const velmora::EventInfo& info) {
          const auto id = example::eventValue<std::string>(info, "cmdID");
          const int point = example::eventValue<int>(info, "wayPointIndex");
          const bool reached = example::eventValue<bool>(info, "reachTarget");
          std::printf("progress: %s point %d %s\n", id.c_str(), point, reached ? "reached" : "on its way");
          std::lock_guard<std::mutex> lock(progress->mutex);
          if (reached && id == progress->lastId) progress->finished = true;
          progress->changed.notify_all();
        },
        ec);

    // Speeds in mm/s, zones (blending radii) in mm; positions in metres and radians.
    std::string id;
    robot.moveAppend(
        std::vector<velmora::MoveAbsJCommand>{velmora::MoveAbsJCommand({{0.4, 0.1, 0.5, 0.4, 0.5, 0.6, 0.7}}, 500, 0)},
        id, ec);
    std::printf("queued %s: a joint move\n", id.c_str());
    std::vector<velmora::MoveLCommand> lines;
    for (const double x : {0.45, 0.50, 0.55}) {
      lines.emplace_back(velmora::CartesianPosition{x, 0.1, 0.5, 0.4, 0.5, 0.6}, 300, 10);
      lines.back().target.elbow = 0.7;
    }
    robot.moveAppend(lines, id, ec);
    std::printf("queued %s: %zu linear moves\n", id.c_str(), lines.size());
    {
      std::lock_guard<std::mutex> lock(progress->mutex);
      robot.moveAppend(velmora::MoveWaitCommand(100ms), progress->lastId, ec);
    }
    if (!example::report("moveAppend", ec)) return 1;
    robot.moveStart(ec);
    if (!example::report("moveStart", ec)) return 1;

    std::unique_lock<std::mutex> lock(progress->mutex);
    const bool done = progress->changed.wait_for(lock, 60s, [&] { return progress->finished; });
    lock.unlock();
    std::printf("%s\n", done ? "every command reached" : "not finished within 60 s");
    robot.disconnectFromRobot(ec);
    return done ? 0 : 1;
  } catch (const velmora::Exception& e) {
    std::printf("cannot connect: %s\n", e.what());
    return 1;
  }
}
