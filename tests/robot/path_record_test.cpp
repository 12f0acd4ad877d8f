// Path recording, the saved paths and their replay through the motion queue, as the simulated
// controller received them.
#include <gmock/gmock.h>

#include <functional>
#include <limits>
#include <string>

#include "robot/project_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

class PathTest : public ProjectTest {
 protected:
  /// The `nth` replay the controller received.
  velmora_sim::Request replay(std::size_t nth) {
    const auto request = command().log().waitFor("move.replay", 2s, nth);
    return request ? *request : velmora_sim::Request{};
  }
};

TEST_F(PathTest, RecordingCommandsSendTheirKeysAndTakeTheReplyCode) {
  const struct {
    const char* name;
    std::function<void(OstraMaxRobot&, std::error_code&)> call;
    const char* key;
    const char* payload;
  } cases[] = {
      {"start", [](auto& r, auto& ec) { r.startRecordPath(30, ec); }, "move.record.start",
       R"({"type": "time", "duration": 30, "signals": []})"},
      {"stop", [](auto& r, auto& ec) { r.stopRecordPath(ec); }, "move.record.stop", "null"},
      {"cancel", [](auto& r, auto& ec) { r.cancelRecordPath(ec); }, "move.record.cancel", "null"},
      {"save", [](auto& r, auto& ec) { r.saveRecordPath("a", ec); }, "move.record.save", R"({"name": "a"})"},
      {"save as", [](auto& r, auto& ec) { r.saveRecordPath("a", ec, "b"); }, "move.record.save",
       R"({"name": "a", "as": "b"})"},
      {"remove", [](auto& r, auto& ec) { r.removePath("x", ec); }, "move.record.remove", R"("x")"},
      {"remove all", [](auto& r, auto& ec) { r.removePath("x", ec, true); }, "move.record.remove.all", "null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    command().script(Form::command, c.key, Behaviour::reply(-3).times(1));
    std::error_code ec;
    c.call(robot(), ec);
    EXPECT_EQ(ec.value(), -3);
    ASSERT_EQ(command().log().size(), 1u);
    EXPECT_EQ(last(c.key).form, Form::command);
    EXPECT_THAT(last(c.key).payload, JsonIs(c.payload));
  }
}

TEST_F(PathTest, ARecordingIsSavedListedAndRemoved) {
  std::error_code ec;
  robot().startRecordPath(5, ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(sim().paths().recording());
  robot().stopRecordPath(ec);
  EXPECT_FALSE(ec);
  robot().saveRecordPath("first", ec, "kept");
  EXPECT_FALSE(ec);
  sim().paths().addPath("other");
  EXPECT_THAT(robot().queryPathLists(ec), ::testing::ElementsAre("kept", "other"));
  robot().saveRecordPath("again", ec);
  EXPECT_EQ(ec.value(), -1) << "nothing recorded to save";
  robot().removePath("kept", ec);
  EXPECT_FALSE(ec);
  robot().removePath("kept", ec);
  EXPECT_EQ(ec.value(), -1);
  robot().removePath("", ec, true);
  EXPECT_TRUE(robot().queryPathLists(ec).empty());
  EXPECT_FALSE(ec);

  for (const char* reply : {R"({"a": 1})", R"([{"a": 1}])", R"(["a", ["b"]])", "7"}) {
    command().script(Form::get, "move.record.paths", Behaviour::reply(parseJson(reply)).times(1));
    EXPECT_TRUE(robot().queryPathLists(ec).empty()) << reply;
    EXPECT_EQ(ec.value(), 257) << reply;
  }
}

TEST_F(PathTest, ReplayIsQueuedInOrderInEveryModeButRlTaskAndRealTime) {
  std::error_code ec;
  robot().replayPath("p", 0.5, ec);
  EXPECT_FALSE(ec);
  robot().replayPath("q", 2, ec);
  EXPECT_FALSE(ec);
  const auto first = replay(1);
  const auto second = replay(2);
  EXPECT_THAT(first.payload, JsonIs(R"({"name": "p", "rate": 0.5})"));
  EXPECT_THAT(second.payload, JsonIs(R"({"name": "q", "rate": 2})"));
  ASSERT_TRUE(first.id.isString() && second.id.isString());
  EXPECT_THAT(first.id.asString(), ::testing::StartsWith("path#"));
  EXPECT_LT(std::stoll(first.id.asString().substr(5)), std::stoll(second.id.asString().substr(5)));

  using Mode = MotionControlMode;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    Mode mode;
    double rate;
    int expected;
  } cases[] = {{Mode::NrtRLTask, 1, 262},
               {Mode::RtCommand, 1, 262},
               {Mode::NrtCommand, nan, 259},
               {Mode::Idle, -inf, 259},
               {Mode::NrtCommand, 1, 0}};
  for (const auto& c : cases) {
    enterMode(c.mode);
    robot().replayPath("r", c.rate, ec);
    EXPECT_EQ(ec.value(), c.expected) << static_cast<int>(c.mode);
  }
  EXPECT_THAT(replay(3).payload, JsonIs(R"({"name": "r", "rate": 1})"));
  EXPECT_EQ(command().log().count("move.replay"), 3u);

  OstraMaxRobot unconnected;
  unconnected.replayPath("p", 1, ec);
  EXPECT_EQ(ec.value(), 255);
}

}  // namespace
}  // namespace velmora
