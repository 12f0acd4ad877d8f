#include <velmora/types.h>

#include <climits>
#include <cmath>
#include <limits>

#include "impl_requests_fixture.h"
#include "robot/tool_operations.h"
#include "support/link_options.h"

using velmora::Frame;
using velmora::Load;
using velmora::WorkToolInfo;
using velmora::internal::parseWorkToolName;
using velmora_sim::Behaviour;
using namespace std::chrono_literals;

namespace {

constexpr double kHalfPi = 1.57079632679489661923;

// Roll and yaw of a quarter turn each: the quaternion of qZ * qX is (0.5, 0.5, 0.5, 0.5), while
// the other order would give (0.5, 0.5, -0.5, 0.5).
WorkToolInfo sampleTool(const std::string& name, bool held) {
  WorkToolInfo info(name, held, Frame({0.1, 0.2, 0.3}, {kHalfPi, 0.0, kHalfPi}),
                    Load(1.5, {0.01, 0.02, 0.03}, {0.001, 0.002, 0.003}));
  info.alias = "gripper";
  return info;
}

constexpr const char* kToolRecord = R"({
  "id": 0, "name": "tool1", "identified": true, "calibrated": true, "description": "gripper",
  "frame": {"pos": {"x": 100.0, "y": 200.0, "z": 300.0},
            "ori": {"euler": {"a": 90.0, "b": 0.0, "c": 90.0},
                    "quaternion": {"q1": 0.5, "q2": 0.5, "q3": 0.5, "q4": 0.5}}},
  "method": 3, "pers": false, "robhold": true,
  "load": {"mass": 1.5, "moment": [1000.0, 2000.0, 3000.0],
           "pose": {"pos": {"x": 10.0, "y": 20.0, "z": 30.0},
                    "ori": {"euler": {"a": 0, "b": 0, "c": 0},
                            "quaternion": {"q1": 1, "q2": 0, "q3": 0, "q4": 0}}}},
  "envelope": {"shape": 0, "box_envelope": [0, 0, 0], "sphere_envelope": 0}})";

constexpr const char* kGlobalWobjRecord = R"({
  "id": 0, "name": "g_wobj_0", "identified": true, "calibrated": true, "description": "gripper",
  "frame": {"pos": {"x": 100.0, "y": 200.0, "z": 300.0},
            "ori": {"euler": {"a": 90.0, "b": 0.0, "c": 90.0},
                    "quaternion": {"q1": 0.5, "q2": 0.5, "q3": 0.5, "q4": 0.5}}},
  "method": 3, "pers": false, "robhold": false,
  "load": {"mass": 1.5, "moment": [1000.0, 2000.0, 3000.0],
           "pose": {"pos": {"x": 0, "y": 0, "z": 0},
                    "ori": {"euler": {"a": 0, "b": 0, "c": 0},
                            "quaternion": {"q1": 1, "q2": 0, "q3": 0, "q4": 0}}}},
  "mechanic": "robot", "movable": true, "related_frame": "g_user_0", "uf_id": -100})";

TEST_F(RobotRequestsTest, ToolRecordGolden) {
  std::error_code ec;
  robot().setWorkToolInfo(sampleTool("tool1", true), "tool", ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(sent("project.tools"), JsonIs("null"));
  const Json::Value body = sent("project.tool");
  EXPECT_THAT(body["operator"], JsonIs(R"("add")"));
  ASSERT_EQ(body["tools"].size(), 1u);
  EXPECT_THAT(body["tools"][0], JsonNear(kToolRecord, 1e-12));
  EXPECT_EQ(body.size(), 2u);
}

TEST_F(RobotRequestsTest, WorkObjectRecordGolden) {
  std::error_code ec;
  robot().setWorkToolInfo(sampleTool("g_wobj_0", false), "wobj", ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(sent("global.wobjs.set.one"), JsonNear(kGlobalWobjRecord, 1e-12));
  EXPECT_EQ(count("project.wobjs"), 0u);
  EXPECT_FALSE(config().globalRecord("wobj", 0).isNull());

  // A project work object relates to the project's user frame.
  robot().setWorkToolInfo(sampleTool("wobj1", false), "wobj", ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(sent("project.wobj")["wobjs"][0]["related_frame"], JsonIs(R"("userframe0")"));
}

TEST_F(RobotRequestsTest, GlobalNameTable) {
  struct Case {
    const char* name;
    const char* kind;
    int id;
    bool global;
  };
  const Case cases[] = {
      {"g_tool_3", "tool", 3, true},
      {"g_tool_0", "tool", 0, true},
      {"g_tool_15", "tool", 15, true},
      {"g_tool_03", "tool", 3, true},
      {"g_wobj_7", "wobj", 7, true},
      {"g_tool_16", "tool", 16, false},
      {"g_tool_3a", "tool", 3, false},
      {"g_tool_x", "tool", 0, false},
      {"tool1", "tool", 0, false},
      {"g_tool_ 3", "tool", 3, false},
      {"g_tool_\t7", "tool", 7, false},
      {"g_tool_+3", "tool", 3, false},
      {"g_tool_-0", "tool", 0, false},
      {"g_tool_-2", "tool", -2, false},
      {"g_tool_", "tool", 0, false},
      {"g_tool_3 ", "tool", 3, false},
      {"g_wobj_3", "tool", 0, false},
      {"G_tool_3", "tool", 0, false},
      {"xg_tool_3", "tool", 0, false},
      {"g_tool", "tool", 0, false},
      {"g_tool_2147483647", "tool", INT_MAX, false},
      {"g_tool_-2147483648", "tool", INT_MIN, false},
      {"g_tool_2147483648", "tool", 0, false},
      {"g_tool_99999999999999999999", "tool", 0, false},
  };
  for (const Case& c : cases) {
    const auto scope = parseWorkToolName(c.name, c.kind);
    EXPECT_EQ(scope.id, c.id) << c.name;
    EXPECT_EQ(scope.global, c.global) << c.name;
  }

  // On the wire: the key follows the scope and the record carries the id.
  std::error_code ec;
  std::size_t project = 0;
  std::size_t global = 0;
  for (const char* name : {"g_tool_3", "g_tool_16", "g_tool_ 3", "g_tool_x"}) {
    const auto scope = parseWorkToolName(name, "tool");
    robot().setWorkToolInfo(sampleTool(name, true), "tool", ec);
    EXPECT_FALSE(ec) << name << ": " << ec.value();
    const Json::Value record =
        scope.global ? sent("global.tools.set.one", ++global) : sent("project.tool", ++project)["tools"][0];
    EXPECT_EQ(record["name"].asString(), name);
    EXPECT_THAT(record["id"], JsonIs(std::to_string(scope.id)));
  }
  EXPECT_EQ(global, 1u);
}

TEST_F(RobotRequestsTest, ListReadFailureSendsNoWrite) {
  std::error_code added;
  robot().setWorkToolInfo(sampleTool("tool1", true), "tool", added);
  ASSERT_FALSE(added) << added.value();

  useRequestWait(200ms);
  struct Case {
    const char* what;
    Behaviour step;
    int code;
  };
  const Case cases[] = {
      {"no reply", Behaviour::silent().times(1), 263},
      {"form member of another kind", Behaviour::wrongKind().times(1), 257},
      {"refused", Behaviour::reply(-5).times(1), -5},
      {"refused with -1", Behaviour::reply(-1).times(1), -1},
  };
  for (const Case& c : cases) {
    command().script(velmora_sim::Form::get, "project.tools", c.step);
    std::error_code ec;
    robot().setWorkToolInfo(sampleTool("tool1", true), "tool", ec);
    EXPECT_EQ(ec.value(), c.code) << c.what;
  }
  EXPECT_EQ(count("project.tool"), 1u);
}

TEST_F(RobotRequestsTest, ListReadDroppedSendsNoWrite) {
  command().script(velmora_sim::Form::get, "project.tools", Behaviour::drop().times(1));
  std::error_code ec;
  robot().setWorkToolInfo(sampleTool("tool1", true), "tool", ec);
  EXPECT_EQ(ec.value(), 256);
  EXPECT_EQ(count("project.tool"), 0u);
}

TEST_F(RobotRequestsTest, AddThenEditRoundTrip) {
  std::error_code ec;
  WorkToolInfo info = sampleTool("tool1", true);
  robot().setWorkToolInfo(info, "tool", ec);
  ASSERT_FALSE(ec) << ec.value();

  auto tools = robot().workToolsInfo("tool", ec);
  ASSERT_FALSE(ec) << ec.value();
  ASSERT_EQ(tools.size(), 2u);
  EXPECT_EQ(tools[0].name, "tool0");
  const WorkToolInfo& back = tools[1];
  EXPECT_EQ(back.name, "tool1");
  EXPECT_TRUE(back.alias.empty());
  EXPECT_TRUE(back.robotHeld);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(back.pos.trans[i], info.pos.trans[i], 1e-12);
    EXPECT_NEAR(back.pos.rpy[i], info.pos.rpy[i], 1e-12);
    EXPECT_NEAR(back.load.cog[i], info.load.cog[i], 1e-12);
    EXPECT_NEAR(back.load.inertia[i], info.load.inertia[i], 1e-12);
  }
  EXPECT_DOUBLE_EQ(back.load.mass, 1.5);

  // The name is in the project now: the same write edits it in place.
  info.load.mass = 2.5;
  robot().setWorkToolInfo(info, "tool", ec);
  ASSERT_FALSE(ec) << ec.value();
  const Json::Value edit = sent("project.tool", 2);
  EXPECT_THAT(edit["operator"], JsonIs(R"("edit")"));
  EXPECT_THAT(edit["tools"][0]["old_name"], JsonIs(R"("tool1")"));
  EXPECT_THAT(config().projectEntry("tool", "tool1")["load"]["mass"], JsonIs("2.5"));
}

TEST_F(RobotRequestsTest, WriteReplyCodes) {
  struct Case {
    Json::Value reply;
    int code;
  };
  const Case cases[] = {{-1, -50501}, {-7, -7}, {0, 0}, {3.0, 3}, {"refused", 0}, {2.5, 0}};
  for (const Case& c : cases) {
    for (const char* name : {"tool1", "g_tool_1"}) {
      const bool global = name[0] == 'g';
      command().script(velmora_sim::Form::command, global ? "global.tools.set.one" : "project.tool",
                       Behaviour::reply(c.reply).times(1));
      std::error_code ec;
      robot().setWorkToolInfo(sampleTool(name, true), "tool", ec);
      EXPECT_EQ(ec.value(), c.code) << name << " answered " << compactJson(c.reply);
    }
  }
}

TEST_F(RobotRequestsTest, NonFiniteRecordSendsNothing) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  for (int field = 0; field < 5; ++field) {
    WorkToolInfo info = sampleTool(field % 2 ? "g_tool_2" : "tool1", true);
    switch (field) {
      case 0:
        info.pos.trans[1] = nan;
        break;
      case 1:
        info.pos.rpy[2] = -inf;
        break;
      case 2:
        info.load.mass = inf;
        break;
      case 3:
        info.load.cog[0] = nan;
        break;
      default:
        info.load.inertia[2] = nan;
        break;
    }
    std::error_code ec;
    robot().setWorkToolInfo(info, "tool", ec);
    EXPECT_EQ(ec.value(), 259) << "field " << field;
  }
  EXPECT_EQ(command().log().size(), 0u);
}

TEST_F(RobotRequestsTest, ListReadingRules) {
  // Names come back in ascending order; a list that is not three numbers reads as zeros, and
  // the rotation is read only after the translation.
  command().script(velmora_sim::Form::get, "project.wobj.info",
                   Behaviour::reply(parseJson(R"({
      "wobj": {"b": {"load": {"mass": 2, "cog": [1, 2], "inertia": [4, 5, 6, 7]},
                     "coord": {"rot": [1, 1, 1]}, "held": 1},
               "a": {"load": {"mass": 0.5, "cog": [1, 2, 3]},
                     "coord": {"trans": [7, 8, 9], "rot": [0.1, 0.2, 0.3]}, "held": false},
               "c": null}})"))
                       .times(1));
  std::error_code ec;
  const auto wobjs = robot().workToolsInfo("wobj", ec);
  ASSERT_FALSE(ec) << ec.value();
  ASSERT_EQ(wobjs.size(), 3u);
  EXPECT_EQ(wobjs[0].name, "a");
  EXPECT_EQ(wobjs[0].pos.trans, (std::array<double, 3>{7, 8, 9}));
  EXPECT_EQ(wobjs[0].pos.rpy, (std::array<double, 3>{0.1, 0.2, 0.3}));
  EXPECT_EQ(wobjs[0].load.cog, (std::array<double, 3>{1, 2, 3}));
  EXPECT_FALSE(wobjs[0].robotHeld);
  EXPECT_EQ(wobjs[1].name, "b");
  EXPECT_EQ(wobjs[1].load.cog, (std::array<double, 3>{}));
  EXPECT_EQ(wobjs[1].load.inertia, (std::array<double, 3>{4, 5, 6}));
  EXPECT_EQ(wobjs[1].pos.rpy, (std::array<double, 3>{}));
  EXPECT_TRUE(wobjs[1].robotHeld);
  EXPECT_EQ(wobjs[2].name, "c");
  EXPECT_EQ(sent("project.wobj.info"), Json::Value());
}

TEST_F(RobotRequestsTest, ListReplyShapes) {
  struct Case {
    const char* reply;
    int code;
    std::size_t entries;
  };
  const Case cases[] = {
      {"-3", -3, 0},
      {"-3.0", -3, 0},
      {"0", 0, 0},
      {"{}", 0, 0},
      {R"({"wobj": {}})", 0, 0},
      {R"({"tool": {"t": {}}})", 0, 1},
      {R"({"tool": null})", 0, 0},
      {R"({"tool": [1, 2]})", -260, 0},
      {R"({"tool": "t"})", -260, 0},
      {R"({"tool": {"t": 5}})", -260, 0},
      {R"({"tool": {"t": {"held": "x"}}})", -260, 0},
      {R"({"tool": {"t": {"load": {"mass": "1"}}}})", -260, 0},
      {R"({"tool": {"t": {"load": [1]}}})", -260, 0},
      {R"({"tool": {"t": {"coord": {"trans": [1, "2", 3]}}}})", -260, 0},
      {R"({"tool": {"t": {"coord": {"trans": [1, 2, 3], "rot": [{}, 0, 0]}}}})", -260, 0},
      {R"({"tool": {"t": {}, "u": {"load": {"cog": [0, [], 0]}}}})", -260, 0},
  };
  for (const Case& c : cases) {
    command().script(velmora_sim::Form::get, "project.tool.info", Behaviour::reply(parseJson(c.reply)).times(1));
    std::error_code ec;
    const auto tools = robot().workToolsInfo("tool", ec);
    EXPECT_EQ(ec.value(), c.code) << c.reply;
    EXPECT_EQ(tools.size(), c.entries) << c.reply;
  }
}

}  // namespace
