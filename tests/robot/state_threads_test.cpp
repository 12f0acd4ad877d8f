// Field reads on other threads while the stream thread updates, stops and restarts with other
// fields, a failed start among them: every read sees one whole packet or a clear refusal.
#include <gmock/gmock.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "robot/state_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

struct ReaderCounts {
  std::atomic<int> reads{0};
  std::atomic<int> refused{0};  // receiver closed
  std::atomic<int> torn{0};     // a vector mixing packets, or of a size no subscription gives
};

void readUntil(BaseRobot& robot, const std::atomic<bool>& done, ReaderCounts& counts) {
  std::vector<double> vector;
  vector.reserve(16);
  double scalar = 0;
  std::uint64_t ts = 0;
  while (!done.load()) {
    try {
      for (const char* name : {"q_m", "dq_m"}) {
        if (robot.getStateData(name, vector) == 0) {
          // Every double of a packet holds its number (the test takes the arm out of the stream).
          bool whole = vector.size() == 7;
          for (const double value : vector) whole = whole && value == vector.front();
          if (!whole) ++counts.torn;
        } else if (!vector.empty()) {
          ++counts.torn;
        }
      }
      robot.getStateData("psi_m", scalar);
      robot.getStateData("ts", ts);
      ++counts.reads;
    } catch (const RealtimeStateException&) {
      ++counts.refused;
    }
  }
}

TEST_F(StateStreamTest, RestartingWithOtherFieldsWhileFourThreadsRead) {
  auto robot = connect<OstraMaxRobot>(7);
  // Packet numbers in every double instead of the arm's values, so a torn read shows.
  sim().state().setSource(nullptr);
  std::atomic<bool> done{false};
  ReaderCounts counts;
  std::vector<std::thread> readers;
  for (int i = 0; i < 4; ++i) readers.emplace_back([&] { readUntil(*robot, done, counts); });

  auto run = [&](const std::vector<std::string>& fields) {
    robot->startReceiveRobotState(1ms, fields);
    int full = 0;
    for (int i = 0; i < 60; ++i) {
      if (robot->updateRobotState(50ms) > 0) ++full;
    }
    EXPECT_GT(full, 50);
  };
  run({"q_m", "psi_m"});
  robot->stopReceiveRobotState();
  run({"q_m", "dq_m"});
  robot->stopReceiveRobotState();
  command().script(Form::command, "eci.pub.start", Behaviour::reply(-1).times(1));
  EXPECT_THROW(robot->startReceiveRobotState(1ms, {"dq_m", "psi_m"}), RealtimeControlException);
  std::this_thread::sleep_for(20ms);  // readers meet the open, never-fed receiver
  run({"dq_m", "psi_m"});
  robot->stopReceiveRobotState();

  done = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(counts.torn.load(), 0);
  EXPECT_GT(counts.reads.load(), 0);
}

}  // namespace
}  // namespace velmora
