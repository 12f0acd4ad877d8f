// The motion requests as the controller receives them, and what their replies do.

#include <gmock/gmock.h>

#include <cmath>
#include <functional>
#include <limits>

#include "motion_control/motion_fixture.h"
#include "support/json_match.h"
#include "support/link_options.h"

using namespace velmora;
using namespace velmora::internal;
using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using MotionRequests = MotionTest;

}  // namespace

TEST_F(MotionRequests, WireAndReplies) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  struct Row {
    const char* name;
    std::function<void(std::error_code&)> call;
    Form form;
    const char* key;
    const char* payload;  // null: nothing may be sent
    Json::Value reply;
    int code;
  };
  const Row table[] = {
      {"reset", [&](auto& ec) { mc.moveReset(true, ec); }, Form::command, "move.reset", R"({"remain_traj":true})",
       Json::Value(), 0},
      {"reset refused", [&](auto& ec) { mc.moveReset(false, ec); }, Form::command, "move.reset",
       R"({"remain_traj":false})", -3, -3},
      {"reset answered by a text", [&](auto& ec) { mc.moveReset(false, ec); }, Form::command, "move.reset",
       R"({"remain_traj":false})", "ok", -260},
      {"start", [&](auto& ec) { mc.moveStart(ec); }, Form::command, "move.continue", "0", 0, 0},
      {"start, empty cache", [&](auto& ec) { mc.moveStart(ec); }, Form::command, "move.continue", "0", -1, 768},
      {"start, other code", [&](auto& ec) { mc.moveStart(ec); }, Form::command, "move.continue", "0", -5, -5},
      {"start, text", [&](auto& ec) { mc.moveStart(ec); }, Form::command, "move.continue", "0", "x", -260},
      {"resume", [&](auto& ec) { mc.resume(ec); }, Form::command, "move.continue", "null", -7, 0},
      {"default speed", [&](auto& ec) { mc.setDefaultSpeed(200, ec); }, Form::set, "move.default_speed", "0.2", 0, 0},
      {"default zone refused", [&](auto& ec) { mc.setDefaultZone(5, ec); }, Form::set, "move.default_zone", "0.005", -4,
       -4},
      {"default speed NaN", [&](auto& ec) { mc.setDefaultSpeed(kNaN, ec); }, Form::set, "move.default_speed", nullptr,
       0, 259},
      {"jog", [&](auto& ec) { mc.startJog(JogOpt::Space::toolFrame, 0.01, 0.5, 2, true, ec); }, Form::command,
       "move.jog", R"({"direction":true,"index":2,"rate":0.01,"space":3,"step":0.5})", 0, 0},
      {"jog with ext", [&](auto& ec) { mc.startJogWithExt(JogOpt::Space::world, 1.0, 2, 0, false, "rail", ec, true); },
       Form::command, "move.jog_with_ext",
       R"({"direction":false,"fixed_name":"rail","index":0,"is_ext":true,"rate":1.0,"space":0,"step":2.0})", -9, -9},
      {"jog rate over", [&](auto& ec) { mc.startJog(JogOpt::Space::world, 1.0001, 1, 0, true, ec); }, Form::command,
       "move.jog", nullptr, 0, 258},
      {"jog rate under", [&](auto& ec) { mc.startJog(JogOpt::Space::world, 0.009, 1, 0, true, ec); }, Form::command,
       "move.jog", nullptr, 0, 258},
      {"jog step 0", [&](auto& ec) { mc.startJog(JogOpt::Space::world, 0.5, 0, 0, true, ec); }, Form::command,
       "move.jog", nullptr, 0, 258},
      {"jog rate NaN", [&](auto& ec) { mc.startJog(JogOpt::Space::world, kNaN, 1, 0, true, ec); }, Form::command,
       "move.jog", nullptr, 0, 258},
      {"jog step NaN", [&](auto& ec) { mc.startJog(JogOpt::Space::world, 0.5, kNaN, 0, true, ec); }, Form::command,
       "move.jog", nullptr, 0, 258},
      {"jog step inf",
       [&](auto& ec) { mc.startJog(JogOpt::Space::world, 0.5, std::numeric_limits<double>::infinity(), 0, true, ec); },
       Form::command, "move.jog", nullptr, 0, 258},
  };
  for (const auto& row : table) {
    command().log().clear();
    if (row.payload) command().script(row.form, row.key, Behaviour::reply(row.reply).times(1));
    std::error_code ec = makeErrorCode(12345);
    row.call(ec);
    EXPECT_EQ(ec.value(), row.code) << row.name;
    EXPECT_EQ(&ec.category(), &apiErrorCategory()) << row.name;
    const auto seen = command().log().withKey(row.key);
    if (!row.payload) {
      EXPECT_TRUE(seen.empty()) << row.name;
      continue;
    }
    ASSERT_EQ(seen.size(), 1u) << row.name;
    EXPECT_EQ(seen[0].form, row.form) << row.name;
    EXPECT_THAT(seen[0].payload, JsonIs(std::string(row.payload))) << row.name;
  }
}

TEST_F(MotionRequests, StateAndJogging) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  std::error_code ec;
  EXPECT_EQ(mc.state(), kMotionReset);
  command().script("move.continue", Behaviour::reply(-1).times(1));
  mc.moveStart(ec);
  EXPECT_EQ(ec.value(), 768);
  EXPECT_EQ(mc.state(), kMotionReset);
  mc.moveStart(ec);
  EXPECT_EQ(mc.state(), kMotionRunning);

  command().script("move.pause", Behaviour::reply(-1).times(1));
  mc.stop(2, ec);
  EXPECT_EQ(ec.value(), 769);
  EXPECT_EQ(mc.state(), kMotionPaused);
  mc.resume(ec);
  EXPECT_EQ(mc.state(), kMotionRunning);

  command().script("move.jog", Behaviour::reply(-2).times(1));
  mc.startJog(JogOpt::Space::jointSpace, 0.5, 1, 1, true, ec);
  EXPECT_EQ(ec.value(), -2);
  EXPECT_FALSE(mc.jogging());
  mc.startJog(JogOpt::Space::jointSpace, 0.5, 1, 1, true, ec);
  EXPECT_TRUE(mc.jogging());
  mc.stop(2, ec);
  EXPECT_FALSE(ec);
  EXPECT_FALSE(mc.jogging());
  EXPECT_EQ(mc.state(), kMotionRunning) << "stopping a jog does not pause";
  const auto stops = command().log().withKey("move.stop");
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_THAT(stops[0].payload, JsonIs(std::string(R"({"task_space":1})")));

  mc.moveReset(true, ec);
  EXPECT_EQ(mc.state(), kMotionReset);
}

// Jogging ends with the stop request whatever becomes of it.
TEST_F(MotionRequests, StopEndsJoggingWithoutReply) {
  auto link = connectLink(withRequestWait(200ms));
  MotionControl<1> mc(link);
  std::error_code ec;
  mc.startJog(JogOpt::Space::world, 0.5, 1, 0, false, ec);
  ASSERT_TRUE(mc.jogging());
  command().script("move.stop", Behaviour::silent().times(1));
  mc.stop(2, ec);
  EXPECT_EQ(ec.value(), 263);
  EXPECT_FALSE(mc.jogging());
  mc.stop(2, ec);
  EXPECT_TRUE(command().log().waitFor("move.pause", 1s));
}

TEST_F(MotionRequests, LinkDown) {
  auto link = connectLink();
  MotionControl<1> mc(link);
  std::error_code ec;
  mc.moveStart(ec);
  link->stop();
  mc.resume(ec);
  EXPECT_EQ(ec.value(), 256);
  mc.stop(2, ec);
  EXPECT_EQ(ec.value(), 256);
  EXPECT_EQ(mc.state(), kMotionPaused) << "the pause is recorded before the request";
  mc.resume(ec);
  EXPECT_EQ(mc.state(), kMotionRunning) << "resume sets running whatever the outcome";
  mc.moveReset(true, ec);
  EXPECT_EQ(ec.value(), 256);
  EXPECT_EQ(mc.state(), kMotionRunning);
}
