#include "demo_motion.h"

#include <any>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

template <typename T>
T value(const velmora::EventInfo& info, const char* key) {
  const auto it = info.find(key);
  const T* held = it == info.end() ? nullptr : std::any_cast<T>(&it->second);
  return held ? *held : T{};
}

// What the callback heard; it runs on a thread of the library.
struct Reports {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<velmora::EventInfo> heard;
};

}  // namespace

bool demoMotion(velmora::BaseRobot& robot) {
  using namespace velmora;
  using namespace std::chrono_literals;
  // Shared with the callback, which may still be on its way out when this function returns.
  const auto shared = std::make_shared<Reports>();
  Reports& reports = *shared;
  std::error_code ec;
  robot.setEventWatcher(Event::moveExecution, [shared](const EventInfo& info) {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->heard.push_back(info);
    shared->changed.notify_all();
  }, ec);
  if (ec) {
    std::printf("  setEventWatcher failed: %d %s\n", ec.value(), ec.message().c_str());
    return false;
  }
  robot.setDefaultSpeed(200, ec);  // mm/s, for commands without a speed of their own
  robot.setDefaultZone(5, ec);

  // Each call queues one batch and names it; the queue sends it to the controller.
  std::string id;
  robot.moveAppend(std::vector<MoveAbsJCommand>{MoveAbsJCommand(JointPosition({0, 0.5, 0, 1.2, 0, 0.6, 0}), 500, 0)},
                   id, ec);
  std::printf("queued %s: joint move\n", id.c_str());
  std::vector<MoveLCommand> line;
  for (double x : {0.45, 0.50, 0.55}) line.emplace_back(CartesianPosition{x, 0.1, 0.5, 3.14159, 0, 0}, 300, 10);
  robot.moveAppend(line, id, ec);
  std::printf("queued %s: %zu linear moves\n", id.c_str(), line.size());
  robot.moveAppend(MoveWaitCommand(100ms), id, ec);
  std::printf("queued %s: a wait of 100 ms\n", id.c_str());
  if (ec) {
    std::printf("  moveAppend failed: %d %s\n", ec.value(), ec.message().c_str());
    return false;
  }
  robot.moveStart(ec);
  if (ec) {
    std::printf("  moveStart failed: %d %s\n", ec.value(), ec.message().c_str());
    return false;
  }

  const std::size_t expected = 1 + line.size() + 1;
  std::unique_lock<std::mutex> lock(reports.mutex);
  const bool done = reports.changed.wait_for(lock, 5s, [&] { return reports.heard.size() >= expected; });
  for (const auto& info : reports.heard) {
    std::printf("reported %s, point %d: %s (error %d)\n", value<std::string>(info, "cmdID").c_str(),
                value<int>(info, "wayPointIndex"), value<bool>(info, "reachTarget") ? "reached" : "not reached",
                value<std::error_code>(info, "error").value());
  }
  lock.unlock();
  if (!done) std::printf("  not every command was reported finished in time\n");
  return done;
}
