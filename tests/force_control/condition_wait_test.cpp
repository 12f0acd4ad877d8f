#include <gmock/gmock.h>
#include <spdlog/sinks/ostream_sink.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "fc_fixture.h"
#include "support/link_options.h"
#include "support/log_capture.h"

using velmora::Frame;
using velmora::FrameType;
using velmora_sim::Behaviour;
using namespace std::chrono_literals;

namespace {

// The wait time follows ceil(timeout) + 5 s, only ever downwards, and only after the controller
// accepted the condition; the result line prints it.
TEST_F(ForceControlTest, ConditionsLowerTheWaitTimeAndNeverRaiseIt) {
  LogCapture log;
  EXPECT_EQ(fc.conditionWait(), 600s);
  struct Step {
    double timeout;
    int reply;
    std::chrono::seconds wait;
    const char* line;
  };
  const Step steps[] = {
      {594.5, 0, 600s, "setForceCondition range:[0, 0, 0, 0, 0, 0], inside:true, timeout:594.5|600000000000ns (0)"},
      {594.0, 0, 599s, "setForceCondition range:[0, 0, 0, 0, 0, 0], inside:true, timeout:594|599000000000ns (0)"},
      {1.5, -7, 599s, "setForceCondition range:[0, 0, 0, 0, 0, 0], inside:true, timeout:1.5|599000000000ns (-7)"},
      {2.2, 0, 8s, "setForceCondition range:[0, 0, 0, 0, 0, 0], inside:true, timeout:2.2|8000000000ns (0)"},
      {100.0, 0, 8s, "setForceCondition range:[0, 0, 0, 0, 0, 0], inside:true, timeout:100|8000000000ns (0)"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.timeout);
    command().script("eci.fc.set", Behaviour::reply(s.reply).times(1));
    fc.setForceCondition({}, true, s.timeout, ec);
    EXPECT_EQ(ec.value(), s.reply);
    EXPECT_EQ(fc.conditionWait(), s.wait);
    EXPECT_TRUE(log.contains(s.line)) << log.text();
  }
  // A copy carries the wait on; each object has its own afterwards.
  ForceControlProbe<6> copy(fc);
  EXPECT_EQ(copy.conditionWait(), 8s);
  copy.setTorqueCondition({}, false, 1.0, ec);
  EXPECT_EQ(copy.conditionWait(), 6s);
  EXPECT_EQ(fc.conditionWait(), 8s);
  ForceControlProbe<6> fresh(link);
  EXPECT_EQ(fresh.conditionWait(), 600s);
}

// The wait is the condition wait, not the link's request wait.
TEST_F(ForceControlTest, WaitConditionWaitsForTheControllerBeyondTheRequestWait) {
  const auto link = connectedLink(address(), withRequestWait(50ms));
  ForceControlProbe<6> fc(link);
  controller.setConditionWait(300ms);
  const auto start = std::chrono::steady_clock::now();
  fc.waitCondition(ec);
  EXPECT_EQ(ec.value(), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
}

// Log lines: one result line at info level in the global log and then the robot log; an
// over-range line at error level and no request; two lines around the wait; none for the end
// torque.
TEST_F(ForceControlTest, LinesGoToBothLogs) {
  LogCapture global;
  std::ostringstream robotText;
  auto robotLog =
      std::make_shared<spdlog::logger>("fc_test_robot", std::make_shared<spdlog::sinks::ostream_sink_mt>(robotText));
  robotLog->set_pattern("%l %v");
  link->setLogger(robotLog);

  fc.fcMonitor(true, ec);
  fc.setLoad(velmora::Load(2, {0.1, 0, 0}, {}), ec);
  fc.setPoseBoxCondition(Frame({1, 2, 3}, {0, 0, 0}), {0.5, 1, -0.25, 0.25, 0, 2}, false, 10.0, ec);
  fc.setFcGain({1, 2, 3, 4, 5, 60.5}, ec);
  fc.setSineOverlay(3, 1, 2, 0.5, 1, ec);
  fc.setLissajousOverlay(1, 2, 3, 4, 5, 1, ec);
  fc.setCartesianStiffness({std::nan("")}, ec);
  fc.waitCondition(ec);
  std::array<double, 6> joint{};
  std::array<double, 3> torque{}, force{};
  fc.getEndTorque(FrameType::world, joint, joint, torque, force, ec);

  const char* const lines[] = {
      "info uid: default_uid | fcMonitor (0)",
      "info uid: default_uid | setFcLoad m:2, cog:[0.1, 0, 0] (0)",
      "info uid: default_uid | setPoseBoxCondition frame:trans:[1, 2, 3], rpy:[0, 0, 0], "
      "box:[0.5, 1, -0.25, 0.25, 0, 2], inside:false, timeout:10|15000000000ns (0)",
      "error uid: default_uid | setFcGain [1, 2, 3, 4, 5, 60.5] over-range",
      "error uid: default_uid | setSineOverlay axis:3, phase:0.5, bias:1 over-range",
      "info uid: default_uid | setLissajousOverlay 1,2,3,4,5,1 (0)",
      "error uid: default_uid | setCartesianStiffness [nan, 0, 0, 0, 0, 0] (259)",
      "info uid: default_uid | Execute waitCondition",
      "info uid: default_uid | waitCondition finish (0)",
  };
  std::string expected;
  for (const char* line : lines) {
    expected += std::string(line) + "\n";
    const std::string text = line;
    EXPECT_TRUE(global.contains(text.substr(text.find("uid:")))) << line;
  }
  EXPECT_EQ(robotText.str(), expected);
  EXPECT_EQ(command().log().count("eci.fc.monitor"), 1u);
}

// One thread keeps setting conditions while another waits on the same object: the wait time
// is read and lowered without a data race (TSan), and never goes up.
TEST_F(ForceControlTest, SettersAndWaitRunOnDifferentThreads) {
  std::atomic<bool> done{false};
  std::thread setter([&] {
    std::error_code setterEc;
    for (int i = 0; i < 200; ++i) {
      const double timeout = 600.0 - 3 * i;
      if (i % 2 == 0) {
        fc.setForceCondition({}, true, timeout, setterEc);
      } else {
        fc.setTorqueCondition({}, false, timeout, setterEc);
      }
      EXPECT_FALSE(setterEc);
    }
    done = true;
  });
  auto previous = fc.conditionWait();
  int waits = 0;
  while (!done || waits == 0) {
    fc.waitCondition(ec);
    EXPECT_FALSE(ec);
    const auto now = fc.conditionWait();
    EXPECT_LE(now, previous);
    previous = now;
    ++waits;
  }
  setter.join();
  EXPECT_EQ(fc.conditionWait(), 8s);  // the last timeout, 3 s, plus 5
}

// The one test that really waits (about 6 s): a condition of 1 s leaves 6 s for the wait, and a
// controller that never reports the conditions met gives 263 then, not after 600 s.
TEST_F(ForceControlTest, SlowWaitConditionRunsOutAfterTheLoweredWait) {
  controller.setConditionWait(std::nullopt);
  fc.setForceCondition({}, true, 1.0, ec);
  ASSERT_FALSE(ec);
  const auto start = std::chrono::steady_clock::now();
  fc.waitCondition(ec);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(ec.value(), 263);
  EXPECT_GE(waited, 6s);
  EXPECT_LT(waited, 7s);
}

}  // namespace
