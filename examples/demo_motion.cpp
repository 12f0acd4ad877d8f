#include "demo_motion.h"

#include <velmora/exception.h>

#include <any>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "example.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the callback heard and when; it runs on a thread of the library.
struct Reports {
  std::mutex mutex;
  std::vector<std::pair<Clock::time_point, velmora::EventInfo>> heard;

  std::size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return heard.size();
  }
};

double secondsSince(Clock::time_point start, Clock::time_point t) {
  return std::chrono::duration<double>(t - start).count();
}

// One line of the stream's last packet: joints, and the flange pose (the position from the
// pose matrix, the orientation as rx, ry, rz).
void printSample(velmora::BaseRobot& robot, double t) {
  std::vector<double> joints;
  std::vector<double> pose;
  std::vector<double> angles;
  robot.getStateData("q_m", joints);
  robot.getStateData("pos_m", pose);
  robot.getStateData("pos_abc_m", angles);
  std::printf("  %6.3f s  q_m", t);
  for (const double q : joints) std::printf(" %6.3f", q);
  if (pose.size() == 16) std::printf("  flange %.3f %.3f %.3f m", pose[3], pose[7], pose[11]);
  if (angles.size() >= 6) std::printf(" %.3f %.3f %.3f rad", angles[3], angles[4], angles[5]);
  std::printf("\n");
}

}  // namespace

template <int W, unsigned short N>
bool demoMotion(velmora::Robot_T<W, N>& robot) {
  using namespace velmora;
  using namespace std::chrono_literals;
  // Shared with the callback, which may still be on its way out when this function returns.
  const auto reports = std::make_shared<Reports>();
  std::error_code ec;
  robot.setEventWatcher(
      Event::moveExecution,
      [reports](const EventInfo& info) {
        std::lock_guard<std::mutex> lock(reports->mutex);
        reports->heard.emplace_back(Clock::now(), info);
      },
      ec);
  if (ec) {
    std::printf("  setEventWatcher failed: %d %s\n", ec.value(), ec.message().c_str());
    return false;
  }
  robot.setDefaultSpeed(200, ec);  // mm/s, for commands without a speed of their own
  robot.setDefaultZone(5, ec);

  // Each call queues one batch and names it; the queue sends it to the controller.
  std::string id;
  // A joint move to a bent arm, then straight lines from the flange pose it reaches there, as
  // the controller's forward kinematics gives it.
  std::array<double, N> bent{};
  const double joints[] = {0.3, 0.6, 0.0, -1.2, 0.0, 0.9, 0.0};
  for (std::size_t i = 0; i < N; ++i) bent[i] = joints[i];
  robot.moveAppend(std::vector<MoveAbsJCommand>{MoveAbsJCommand(
                       JointPosition(std::vector<double>(bent.begin(), bent.end())), 500, 0)},
                   id, ec);
  std::printf("queued %s: joint move\n", id.c_str());
  const CartesianPosition from = robot.model().calcFk(bent, ec);
  if (ec) {
    std::printf("  calcFk failed: %d %s\n", ec.value(), ec.message().c_str());
    return false;
  }
  std::printf("flange there: %.3f %.3f %.3f m, %.3f %.3f %.3f rad\n", from.trans[0], from.trans[1], from.trans[2],
              from.rpy[0], from.rpy[1], from.rpy[2]);
  std::vector<MoveLCommand> line;
  for (double dx : {0.05, 0.10, 0.15}) {
    CartesianPosition to = from;
    to.trans[0] -= dx;
    to.confData.clear();
    line.emplace_back(to, 300, 10);
  }
  robot.moveAppend(line, id, ec);
  std::printf("queued %s: %zu linear moves of 5 cm towards the base at 300 mm/s\n", id.c_str(), line.size());
  robot.moveAppend(MoveWaitCommand(100ms), id, ec);
  std::printf("queued %s: a wait of 100 ms\n", id.c_str());
  if (ec) {
    std::printf("  moveAppend failed: %d %s\n", ec.value(), ec.message().c_str());
    return false;
  }

  try {
    robot.startReceiveRobotState(1ms, {"q_m", "pos_m", "pos_abc_m"});
  } catch (const velmora::Exception& e) {
    std::printf("state stream failed: %s\n", e.what());
    return false;
  }
  const auto start = Clock::now();
  robot.moveStart(ec);
  if (ec) {
    robot.stopReceiveRobotState();
    std::printf("  moveStart failed: %d %s\n", ec.value(), ec.message().c_str());
    return false;
  }
  std::printf("started; the stream while the arm moves:\n");
  const std::size_t expected = 1 + line.size() + 1;
  const auto until = start + 30s;
  Clock::time_point printed{};
  bool askedState = false;
  while (reports->count() < expected && Clock::now() < until) {
    // Datagrams are taken oldest first, one per call: read as fast as they come.
    robot.updateRobotState(10ms);
    const auto now = Clock::now();
    if (now - printed < 50ms) continue;
    printSample(robot, secondsSince(start, now));
    printed = now;
    if (!askedState && now - start > 300ms) {
      askedState = true;
      std::printf("  operation state while moving: %d (9 moving)\n", static_cast<int>(robot.operationState(ec)));
    }
  }
  // Where the arm came to rest, unless the last line already showed it.
  robot.updateRobotState(10ms);
  if (Clock::now() - printed > 50ms) printSample(robot, secondsSince(start, Clock::now()));
  robot.stopReceiveRobotState();
  std::printf("operation state after: %d (0 idle)\n", static_cast<int>(robot.operationState(ec)));

  std::lock_guard<std::mutex> lock(reports->mutex);
  for (const auto& [when, info] : reports->heard) {
    std::printf("reported %s, point %d: %s (error %d) at %.3f s\n",
                example::eventValue<std::string>(info, "cmdID").c_str(),
                example::eventValue<int>(info, "wayPointIndex"),
                example::eventValue<bool>(info, "reachTarget") ? "reached" : "not reached",
                example::eventValue<std::error_code>(info, "error").value(), secondsSince(start, when));
  }
  const bool done = reports->heard.size() >= expected;
  if (!done) std::printf("  not every command was reported finished in time\n");
  return done;
}

template bool demoMotion(velmora::Robot_T<1, 5>&);
template bool demoMotion(velmora::Robot_T<1, 6>&);
template bool demoMotion(velmora::Robot_T<1, 7>&);
template bool demoMotion(velmora::Robot_T<0, 6>&);
