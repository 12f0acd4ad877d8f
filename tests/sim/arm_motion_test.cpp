// The simulated arm's paths and its timeline on a clock of the test's own: where each command
// takes the arm, how long it takes, and how pause, continue, reset, the override and jogs
// change that.
#include <gmock/gmock.h>

#include <json/value.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/json_match.h"
#include "velmora_sim/arm_timeline.h"
#include "velmora_sim/state_layout.h"

namespace {

using velmora_sim::ArmTimeline;
using velmora_sim::arm::Joints;
using velmora_sim::arm::Path;
using Clock = ArmTimeline::Clock;
using namespace std::chrono_literals;

constexpr double kPi = 3.141592653589793;
const Joints kStart = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7};

Path begun(const std::string& key, const std::string& body, const Joints& from = kStart) {
  Path path = Path::command(key, parseJson(body));
  path.begin(from, 0.2);
  return path;
}

MATCHER_P(Near, expected, "") {
  if (arg.size() != expected.size()) return false;
  for (std::size_t i = 0; i < arg.size(); ++i) {
    if (std::abs(arg[i] - expected[i]) > 1e-9) return false;
  }
  return true;
}

TEST(ArmPath, EachCommandEndsWhereItSaysInTheTimeItsSpeedGives) {
  const struct {
    const char* what;
    const char* key;
    const char* body;
    Joints end;
    double seconds;
  } cases[] = {
      {"joints at their speed read per radian",
       "move.j",
       R"({"point": [0.5, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 9], "traj": {"speed": 0.4}})",
       {0.5, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7},
       1.0},
      {"a joint speed of their own",
       "move.j",
       R"({"point": [0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 1.7], "traj": {"speed": 0.4, "jnt_speed": 2}})",
       {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 1.7},
       0.5},
      {"fewer joints leave the rest", "move.j", R"({"point": [0.3]})", {0.3, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7}, 1.0},
      {"a pose reached by joints",
       "move.jc",
       R"({"point": {"trans": [0.1, 0.2, 0.5], "rot": [0.4, 0.5, 0.6], "elb": 0.7}})",
       {0.1, 0.2, 0.5, 0.4, 0.5, 0.6, 0.7},
       1.0},
      {"a line at the default speed",
       "move.l",
       R"({"point": {"trans": [0.1, 0.2, 0.7], "rot": [0.4, 0.5, 0.6], "elb": 0.7}})",
       {0.1, 0.2, 0.7, 0.4, 0.5, 0.6, 0.7},
       2.0},
      {"a line slowed by its rotation speed",
       "move.l",
       R"({"point": {"trans": [0.2, 0.2, 0.3], "rot": [0.4, 0.5, 1.6], "elb": 0.7}, "traj": {"speed": 1, "rot_speed": 0.5}})",
       {0.2, 0.2, 0.3, 0.4, 0.5, 1.6, 0.7},
       2.0},
      {"a turn on the spot",
       "move.l",
       R"({"point": {"trans": [0.1, 0.2, 0.3], "rot": [0.4, 0.5, 1.1], "elb": 0.7}})",
       {0.1, 0.2, 0.3, 0.4, 0.5, 1.1, 0.7},
       1.0},
      {"an offset in the base",
       "move.l",
       R"({"point": {"trans": [0.1, 0.2, 0.3], "rot": [0.4, 0.5, 0.6], "elb": 0.7, "offset": {"type": "offs", "trans": [0, 0, 0.2], "rot": [0, 0, 0]}}})",
       {0.1, 0.2, 0.5, 0.4, 0.5, 0.6, 0.7},
       1.0},
      {"an offset along the tool",
       "move.l",
       R"({"point": {"trans": [0.1, 0.2, 0.3], "rot": [0, 0, 1.5707963267948966], "elb": 0.7, "offset": {"type": "reltool", "trans": [0.2, 0, 0], "rot": [0, 0, 0]}}, "traj": {"speed": 10}})",
       {0.1, 0.4, 0.3, 0, 0, 1.5707963267948966, 0.7},
       0.02},
      {"a wait stands still", "move.wait", R"({"time": 0.25})", kStart, 0.25},
      {"a replay ends at once", "move.replay", R"({"name": "p", "rate": 0.5})", kStart, 0},
      {"no point", "move.l", R"({"traj": {"speed": 1}})", kStart, 0},
      {"a point of texts", "move.j", R"({"point": ["a"]})", kStart, 0},
      {"an arc without its aux point", "move.c", R"({"point": {"trans": [1, 0, 0], "rot": [0, 0, 0]}})", kStart, 0},
      {"a body that is no object", "move.l", "[1, 2]", kStart, 0},
      {"an endless way ends in time", "move.l", R"({"point": {"trans": [1e300, 1e300, 0], "rot": [0, 0, 0]}})", kStart,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Path path = begun(c.key, c.body);
    EXPECT_NEAR(path.duration(), c.seconds, 1e-9);
    EXPECT_THAT(path.at(1), Near(c.end));
    EXPECT_THAT(path.at(0), Near(kStart));
  }
  EXPECT_FALSE(begun("move.wait", R"({"time": 1})").followsOverride()) << "the override speeds motion, not waiting";
  EXPECT_TRUE(begun("move.l", R"({"point": {"trans": [0, 0, 0], "rot": [0, 0, 0]}})").followsOverride());
}

TEST(ArmPath, CurvesFollowTheirCircleAndSpiral) {
  const Joints onX = {1, 0, 0, 0, 0, 0, 0};
  const double h = std::sqrt(0.5);
  // A quarter circle.
  const Path arc = begun(
      "move.c",
      R"({"point": {"trans": [0, 1, 0], "rot": [0, 0, 0]}, "aux": {"trans": [0.6, 0.8, 0], "rot": [0, 0, 0]}, "traj": {"speed": 1}})",
      onX);
  EXPECT_NEAR(arc.duration(), kPi / 2, 1e-6);
  EXPECT_THAT(arc.at(0.5), Near(Joints{h, h, 0, 0, 0, 0, 0}));
  EXPECT_THAT(arc.at(1), Near(Joints{0, 1, 0, 0, 0, 0, 0}));
  // Round the same circle, half a turn, the orientation kept.
  const Path circle = begun(
      "move.cf",
      R"({"point": {"trans": [-1, 0, 0], "rot": [0, 0, 1]}, "aux": {"trans": [0, 1, 0], "rot": [0, 0, 0]}, "circle": {"angle": 180, "rot_type": "const_pose"}, "traj": {"speed": 2}})",
      onX);
  EXPECT_NEAR(circle.duration(), kPi / 2, 1e-6);
  EXPECT_THAT(circle.at(0.5), Near(Joints{0, 1, 0, 0, 0, 0, 0}));
  EXPECT_THAT(circle.at(1), Near(Joints{-1, 0, 0, 0, 0, 0, 0}));
  // Three points on a line make a straight way.
  const Path flat = begun(
      "move.c",
      R"({"point": {"trans": [3, 0, 0], "rot": [0, 0, 0]}, "aux": {"trans": [2, 0, 0], "rot": [0, 0, 0]}, "traj": {"speed": 1}})",
      onX);
  EXPECT_NEAR(flat.duration(), 2, 1e-9);
  // A spiral of two turns round the way up: it starts and ends on the line, longer than it.
  const Path spiral = begun(
      "move.sp",
      R"({"point": {"trans": [1, 0, 1], "rot": [0, 0, 0]}, "spiral": {"radius": 0.1, "step": 0.05, "angle": 720, "dir": true}, "traj": {"speed": 1}})",
      onX);
  EXPECT_THAT(spiral.at(0), Near(onX));
  EXPECT_THAT(spiral.at(1), Near(Joints{1, 0, 1, 0, 0, 0, 0}));
  EXPECT_GT(spiral.duration(), 1.5);
  const Joints quarter = spiral.at(0.125);
  EXPECT_GT(std::hypot(quarter[0] - 1, quarter[1]), 0.05) << "a quarter turn in, the arm is off the line";
}

TEST(ArmPath, JogsMoveByTheirStepInTheirSpace) {
  const Joints turned = {0.1, 0.2, 0.3, 0, 0, kPi / 2, 0.7};
  const struct {
    const char* what;
    const char* request;
    Joints from;
    Joints end;
    double seconds;
  } cases[] = {
      {"joint 2 back by 10 degrees",
       R"({"space": 5, "rate": 0.5, "step": 10, "index": 2, "direction": false})",
       kStart,
       {0.1, 0.2, 0.3 - 10 * kPi / 180, 0.4, 0.5, 0.6, 0.7},
       10 * kPi / 180 / 0.125},
      {"x of the base by 50 mm",
       R"({"space": 0, "rate": 1, "step": 50, "index": 0, "direction": true})",
       turned,
       {0.15, 0.2, 0.3, 0, 0, kPi / 2, 0.7},
       0.2},
      {"x of the flange turned to y",
       R"({"space": 1, "rate": 1, "step": 50, "index": 0, "direction": true})",
       turned,
       {0.1, 0.25, 0.3, 0, 0, kPi / 2, 0.7},
       0.2},
      {"rz by 5 degrees",
       R"({"space": 2, "rate": 1, "step": 5, "index": 5, "direction": true})",
       kStart,
       {0.1, 0.2, 0.3, 0.4, 0.5, 0.6 + 5 * kPi / 180, 0.7},
       5 * kPi / 180 / 0.25},
      {"no such joint", R"({"space": 5, "rate": 1, "step": 5, "index": 7, "direction": true})", kStart, kStart, 0},
      {"no such axis", R"({"space": 0, "rate": 1, "step": 5, "index": 6, "direction": true})", kStart, kStart, 0},
      {"no rate", R"({"space": 0, "step": 5, "index": 0, "direction": true})", kStart, kStart, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Path path = Path::jog(parseJson(c.request));
    path.begin(c.from, 0.2);
    EXPECT_THAT(path.at(1), Near(c.end));
    EXPECT_NEAR(path.duration(), c.seconds, 1e-9);
  }
}

// A timeline at one tenth of real time on the test's clock.
class ArmTimelineTest : public ::testing::Test {
 protected:
  ArmTimelineTest() { arm.setTimeScale(0.1, t0); }

  void queue(const std::string& key, const std::string& body, Clock::time_point now) {
    const int n = static_cast<int>(appended++);
    arm.append({Path::command(key, parseJson(body)),
                [this, n] { events.push_back("start " + std::to_string(n)); },
                [this, n] { events.push_back("end " + std::to_string(n)); },
                false,
                0,
                {}},
               now);
  }
  void advance(Clock::time_point now) {
    for (const auto& call : arm.advance(now)) call();
  }
  /// Milliseconds from t0 to when the motion under way is due.
  double due() {
    const auto when = arm.deadline();
    return when ? std::chrono::duration<double, std::milli>(*when - t0).count() : -1;
  }
  std::string lineTo(double z, double speed) {
    return R"({"point": {"trans": [0.1, 0.2, )" + std::to_string(z) +
           R"(], "rot": [0.4, 0.5, 0.6], "elb": 0.7}, "traj": {"speed": )" + std::to_string(speed) + "}}";
  }

  const Clock::time_point t0 = Clock::now();
  ArmTimeline arm{kStart};
  std::vector<std::string> events;
  std::size_t appended = 0;
};

TEST_F(ArmTimelineTest, TheQueueRunsInOrderEachMotionEndingWhenDue) {
  queue("move.l", lineTo(0.4, 0.1), t0);  // 1 s of motion, 100 ms here
  queue("move.wait", R"({"time": 0.5})", t0);
  advance(t0 + 1s);
  EXPECT_TRUE(events.empty()) << "nothing moves before the queue runs";
  EXPECT_FALSE(arm.moving());

  const auto start = t0 + 1s;
  arm.run(start);
  EXPECT_TRUE(arm.moving());
  advance(start);
  EXPECT_EQ(events, (std::vector<std::string>{"start 0"}));
  EXPECT_NEAR(due(), 1100, 1e-3);
  const auto half = arm.view(start + 50ms);
  EXPECT_NEAR(half.q[2], 0.35, 1e-9);
  EXPECT_NEAR(half.dq[2], 0.1, 1e-6) << "velocities per second of motion";
  EXPECT_NEAR(half.dq[0], 0.0, 1e-9);

  // Come round late: the wait still begins when the line ended.
  advance(start + 130ms);
  EXPECT_EQ(events, (std::vector<std::string>{"start 0", "end 0", "start 1"}));
  EXPECT_NEAR(due(), 1150, 1e-3);
  EXPECT_NEAR(arm.view(start + 130ms).q[2], 0.4, 1e-12);
  advance(*arm.deadline());
  EXPECT_EQ(events.back(), "end 1");
  EXPECT_FALSE(arm.moving());
  EXPECT_FALSE(arm.deadline());
  EXPECT_THAT(arm.view(start + 1s).q, Near(Joints{0.1, 0.2, 0.4, 0.4, 0.5, 0.6, 0.7}));
}

TEST_F(ArmTimelineTest, HaltKeepsThePlaceRunFinishesTheRestClearDropsIt) {
  queue("move.l", lineTo(0.5, 0.1), t0);  // 2 s of motion, 200 ms here
  queue("move.l", lineTo(0.3, 0.1), t0);
  arm.run(t0);
  advance(t0);
  arm.halt(t0 + 50ms);
  advance(t0 + 50ms);
  EXPECT_FALSE(arm.moving());
  EXPECT_FALSE(arm.deadline());
  const auto halted = arm.view(t0 + 1s);
  EXPECT_NEAR(halted.q[2], 0.35, 1e-9);
  EXPECT_NEAR(halted.dq[2], 0.0, 1e-12);

  arm.run(t0 + 1s);
  EXPECT_NEAR(due(), 1150, 1e-3) << "the rest of the way at the same speed";
  advance(*arm.deadline());
  EXPECT_EQ(events, (std::vector<std::string>{"start 0", "end 0", "start 1"}));

  arm.clear(t0 + 1s + 200ms);
  advance(t0 + 5s);
  EXPECT_EQ(events.size(), 3u) << "a dropped motion never ends";
  EXPECT_NEAR(arm.view(t0 + 5s).q[2], 0.45, 1e-9);
  EXPECT_EQ(arm.queued(), 0u);
}

TEST_F(ArmTimelineTest, TheOverrideSlowsMotionButNoWait) {
  arm.setOverride(0.5, t0);
  queue("move.l", lineTo(0.4, 0.1), t0);
  queue("move.wait", R"({"time": 0.5})", t0);
  arm.run(t0);
  advance(t0);
  EXPECT_NEAR(due(), 200, 1e-3);
  advance(*arm.deadline());
  EXPECT_NEAR(due(), 250, 1e-3);
  // Back to full speed half way through the wait changes nothing of it.
  arm.setOverride(1.0, t0 + 225ms);
  EXPECT_NEAR(due(), 250, 1e-3);
}

TEST_F(ArmTimelineTest, InstantTimeEndsEverythingAtOnceAndAHaltingMotionDropsTheQueue) {
  arm.setTimeScale(0, t0);
  queue("move.l", lineTo(0.4, 0.1), t0);
  arm.append(
      {Path::command("move.l", parseJson(lineTo(0.9, 0.1))), [this] { events.push_back("failed"); }, {}, true, 0, {}},
      t0);
  queue("move.l", lineTo(0.5, 0.1), t0);
  arm.run(t0);
  advance(t0);
  EXPECT_EQ(events, (std::vector<std::string>{"start 0", "end 0", "failed"}));
  EXPECT_EQ(arm.queued(), 0u);
  EXPECT_FALSE(arm.moving());
  EXPECT_NEAR(arm.view(t0).q[2], 0.4, 1e-12);
}

TEST_F(ArmTimelineTest, AJogMovesByItsStepAndTheInterruptedMotionStartsAgainFromThere) {
  queue("move.l", lineTo(0.5, 0.1), t0);
  arm.run(t0);
  advance(t0);
  arm.jog(Path::jog(parseJson(R"({"space": 0, "rate": 1, "step": 100, "index": 0, "direction": true})")), t0 + 100ms);
  EXPECT_FALSE(arm.moving()) << "a jog halts the queue";
  advance(t0 + 100ms);
  EXPECT_NEAR(due(), 140, 1e-3) << "0.1 m at 0.25 m/s";
  EXPECT_NEAR(arm.view(t0 + 120ms).q[0], 0.15, 1e-9);
  advance(*arm.deadline());
  EXPECT_FALSE(arm.deadline());
  EXPECT_THAT(arm.view(t0 + 1s).q, Near(Joints{0.2, 0.2, 0.4, 0.4, 0.5, 0.6, 0.7}));

  arm.run(t0 + 1s);
  advance(t0 + 1s);
  EXPECT_NEAR(due(), 1000 + 100 * std::sqrt(2.0), 1e-3) << "from where the jog left it, 0.14 m to go";
  advance(t0 + 2s);
  EXPECT_THAT(arm.view(t0 + 2s).q, Near(Joints{0.1, 0.2, 0.5, 0.4, 0.5, 0.6, 0.7}));
}

TEST(StateSample, FeedsTheFieldsOfItsMeaningAndNothingElse) {
  velmora::sim::StatePacketBuilder builder;
  ASSERT_TRUE(builder.configure(6, {"q_m", "pos_m", "psi_c", "theta_m", "motion_mode"}));
  velmora::sim::StateSample sample;
  sample.ts = 4242;
  for (std::size_t slot = 0; slot < sample.values.size(); ++slot) sample.values[slot].fill(double(slot + 1));
  builder.setDoubles("psi_c", {-3.0});
  std::vector<std::uint8_t> packet;
  builder.build(sample, packet);
  ASSERT_EQ(packet.size(), builder.packetSize());
  auto doubleAt = [&](const std::string& field, std::size_t i) {
    double value = 0;
    std::memcpy(&value, &packet[*builder.offsetOf(field) + 8 * i], 8);
    return value;
  };
  std::uint64_t ts = 0;
  std::memcpy(&ts, packet.data(), 8);
  EXPECT_EQ(ts, 4242u);
  EXPECT_EQ(doubleAt("q_m", 5), double(velmora::sim::StateSample::joints + 1));
  EXPECT_EQ(doubleAt("pos_m", 15), double(velmora::sim::StateSample::pose + 1));
  EXPECT_EQ(doubleAt("psi_c", 0), -3.0) << "fixed values come first";
  EXPECT_EQ(doubleAt("theta_m", 0), 0.0) << "no slot, no counter";
  EXPECT_EQ(packet[*builder.offsetOf("motion_mode")], 0);
}

}  // namespace
