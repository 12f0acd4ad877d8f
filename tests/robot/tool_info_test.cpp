// The project's tools and work objects through the robot: the records written (in the
// controller's units), the lists read (as the controller gives them), and a tool written, then
// chosen by name as the active tool set.
#include <gmock/gmock.h>

#include <limits>
#include <string>

#include "robot/robot_fixture.h"
#include "robot/robot_log_text.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;

WorkToolInfo gripper(bool held) {
  return WorkToolInfo("gripper", held, Frame({{0.5, 0.25, 0.125}}, {{0, 0, 0}}),
                      Load(1.5, {{0.5, 0.25, 0.125}}, {{0.5, 0.25, 0.125}}));
}

TEST_F(RobotOpsTest, ToolAndWobjWritesSendTheControllersRecords) {
  std::error_code ec;
  WorkToolInfo tool = gripper(true);
  tool.alias = "two fingers";
  robot().setToolInfo(tool, ec);
  ASSERT_FALSE(ec) << ec.value();
  EXPECT_EQ(last("project.tools").form, Form::get);
  EXPECT_EQ(last("project.tool").form, Form::command);
  EXPECT_THAT(last("project.tool").payload, JsonIs(R"({"operator": "add", "tools": [{
      "id": 0, "name": "gripper", "identified": true, "calibrated": true, "description": "two fingers",
      "frame": {"pos": {"x": 500, "y": 250, "z": 125},
                "ori": {"euler": {"a": 0, "b": 0, "c": 0}, "quaternion": {"q1": 1, "q2": 0, "q3": 0, "q4": 0}}},
      "method": 3, "pers": false, "robhold": true,
      "load": {"mass": 1.5, "moment": [500000, 250000, 125000],
               "pose": {"pos": {"x": 500, "y": 250, "z": 125},
                        "ori": {"euler": {"a": 0, "b": 0, "c": 0}, "quaternion": {"q1": 1, "q2": 0, "q3": 0, "q4": 0}}}},
      "envelope": {"shape": 0, "box_envelope": [0, 0, 0], "sphere_envelope": 0}}]})"));

  // A global work object, not held: the whole record alone, with no centre of gravity.
  WorkToolInfo wobj = gripper(false);
  wobj.name = "g_wobj_2";
  wobj.pos.rpy = {0, 0, 1.5707963267948966};
  robot().setWobjInfo(wobj, ec);
  ASSERT_FALSE(ec) << ec.value();
  const Json::Value record = last("global.wobjs.set.one").payload;
  EXPECT_EQ(command().log().count("project.wobjs"), 0u);
  EXPECT_EQ(record["id"].asInt(), 2);
  EXPECT_THAT(record["related_frame"], JsonIs(R"("g_user_0")"));
  EXPECT_THAT(record["uf_id"], JsonIs("-100"));
  EXPECT_THAT(record["load"]["pose"]["pos"], JsonIs(R"({"x": 0, "y": 0, "z": 0})"));
  EXPECT_NEAR(record["frame"]["ori"]["euler"]["c"].asDouble(), 90.0, 1e-9);
  EXPECT_NEAR(record["frame"]["ori"]["quaternion"]["q4"].asDouble(), 0.7071067811865476, 1e-12);
  EXPECT_FALSE(record.isMember("envelope"));
}

TEST_F(RobotOpsTest, WrittenToolsAreListedAndEditedInTheirOwnUnits) {
  std::error_code ec;
  robot().setToolInfo(gripper(true), ec);
  ASSERT_FALSE(ec);
  auto tools = robot().toolsInfo(ec);
  ASSERT_FALSE(ec);
  ASSERT_EQ(tools.size(), 2u);
  EXPECT_EQ(tools[0].name, "gripper");
  EXPECT_EQ(tools[1].name, "tool0");
  EXPECT_TRUE(tools[0].robotHeld);
  EXPECT_TRUE(tools[0].alias.empty());
  EXPECT_DOUBLE_EQ(tools[0].pos.trans[1], 0.25);
  EXPECT_DOUBLE_EQ(tools[0].load.inertia[2], 0.125);
  EXPECT_DOUBLE_EQ(tools[0].load.cog[0], 0.5);

  WorkToolInfo moved = gripper(true);
  moved.pos.trans[2] = 0.5;
  robot().setToolInfo(moved, ec);
  ASSERT_FALSE(ec);
  EXPECT_EQ(last("project.tool").payload["operator"].asString(), "edit");
  EXPECT_EQ(last("project.tool").payload["tools"][0]["old_name"].asString(), "gripper");
  tools = robot().toolsInfo(ec);
  ASSERT_EQ(tools.size(), 2u);
  EXPECT_DOUBLE_EQ(tools[0].pos.trans[2], 0.5);

  // The tool just written becomes the active tool set by its name.
  const Toolset active = robot().setToolset("gripper", "wobj0", ec);
  ASSERT_FALSE(ec) << ec.value();
  EXPECT_DOUBLE_EQ(active.end.trans[2], 0.5);
  EXPECT_DOUBLE_EQ(active.load.mass, 1.5);
  const Toolset read = robot().toolset(ec);
  EXPECT_FALSE(ec);
  EXPECT_DOUBLE_EQ(read.end.trans[2], 0.5);
  EXPECT_EQ(sim().frames().toolset()["end"]["name"].asString(), "gripper");
  EXPECT_EQ(sim().frames().toolset()["ref"]["name"].asString(), "wobj0");
  robot().setToolset("gripper", "no such wobj", ec);
  EXPECT_EQ(ec.value(), -50501);
}

TEST_F(RobotOpsTest, ListsAreReadAsTheControllerGivesThem) {
  command().script(Form::get, "project.wobj.info",
                   Behaviour::reply(parseJson(R"({"wobj": {
      "table": {"load": {"mass": 3, "cog": [1, 2, 3, 4], "inertia": [5]}, "coord": {"trans": [100, 200, 300],
                "rot": [90, 0, 0]}, "held": false},
      "fixture": {"coord": {"trans": [1, 2], "rot": [1, 2, 3]}, "held": true}}})"))
                       .times(1));
  std::error_code ec;
  const auto wobjs = robot().wobjsInfo(ec);
  EXPECT_FALSE(ec);
  ASSERT_EQ(wobjs.size(), 2u);
  EXPECT_EQ(wobjs[0].name, "fixture");
  EXPECT_TRUE(wobjs[0].robotHeld);
  EXPECT_EQ(wobjs[0].pos.rpy, (std::array<double, 3>{})) << "no rotation without a translation";
  EXPECT_EQ(wobjs[1].name, "table");
  EXPECT_EQ(wobjs[1].pos.trans, (std::array<double, 3>{100, 200, 300}));
  EXPECT_EQ(wobjs[1].pos.rpy, (std::array<double, 3>{90, 0, 0}));
  EXPECT_EQ(wobjs[1].load.cog, (std::array<double, 3>{1, 2, 3}));
  EXPECT_EQ(wobjs[1].load.inertia, (std::array<double, 3>{}));

  const struct {
    const char* reply;
    int code;
  } cases[] = {
      {"-3", -3},    {R"({"wobj": {"w": {"held": "yes"}}})", -260}, {R"({"wobj": [1]})", -260}, {R"({"tool": {}})", 0},
      {R"("x")", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    command().script(Form::get, "project.wobj.info", Behaviour::reply(parseJson(c.reply)).times(1));
    EXPECT_TRUE(robot().wobjsInfo(ec).empty());
    EXPECT_EQ(ec.value(), c.code);
  }
}

TEST_F(RobotOpsTest, RefusedToolWritesAndTheirRobotLogLine) {
  LogCapture global;
  std::error_code ec;
  command().script(Form::command, "project.tool", Behaviour::reply(-1).times(1));
  robot().setToolInfo(gripper(true), ec);
  EXPECT_EQ(ec.value(), -50501);
  WorkToolInfo bad = gripper(true);
  bad.load.mass = std::numeric_limits<double>::quiet_NaN();
  command().log().clear();
  robot().setWobjInfo(bad, ec);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(command().log().size(), 0u);
  robot().disconnectFromRobot(ec);
  const std::string text = robotLogText();
  EXPECT_THAT(text, ::testing::HasSubstr("setToolInfo name gripper trans:[0.5, 0.25, 0.125], rpy:[0, 0, 0] "
                                         "m:1.5, cog:[0.5, 0.25, 0.125] (-50501)"));
  EXPECT_THAT(text, ::testing::HasSubstr("setWobjInfo name gripper"));
  EXPECT_FALSE(global.contains("setToolInfo name")) << "robot log only";
}

}  // namespace
}  // namespace velmora
