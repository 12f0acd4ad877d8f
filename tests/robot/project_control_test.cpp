// RL project control, running options, the project list and project removal, as the
// simulated controller received them.
#include <gmock/gmock.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "robot/project_fixture.h"
#include "robot/robot_log_text.h"
#include "support/link_options.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

struct ControlCase {
  const char* name;
  std::function<void(OstraMaxRobot&, std::error_code&)> call;
  const char* key;
  const char* payload;
};

const ControlCase kControls[] = {
    {"load",
     [](auto& r, auto& ec) {
       r.loadProject("P", {"T2", "T1"}, ec);
     },
     "project.load", R"({"name": "P", "tasks": ["T2", "T1"]})"},
    {"run", [](auto& r, auto& ec) { r.runProject(ec); }, "project.start", "null"},
    {"pause", [](auto& r, auto& ec) { r.pauseProject(ec); }, "project.stop", "null"},
    {"program pointer", [](auto& r, auto& ec) { r.ppToMain(ec); }, "project.pp.main", "null"},
};

TEST_F(ProjectTest, ControlNeedsRlTaskModeOnceThenSendsItsKeyInAnyMode) {
  sim().projects().addProject("P", {"T1", "T2"});
  std::error_code ec;
  robot().loadProject("P", {}, ec);
  EXPECT_EQ(ec.value(), 262) << "the mode check comes before the empty-list check";
  for (const auto& c : kControls) {
    c.call(robot(), ec);
    EXPECT_EQ(ec.value(), 262) << c.name;
  }
  EXPECT_EQ(command().log().size(), 0u);

  enterMode(MotionControlMode::NrtRLTask);
  enterMode(MotionControlMode::RtCommand);
  for (const auto& c : kControls) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    c.call(robot(), ec);
    EXPECT_FALSE(ec) << ec.value();
    ASSERT_EQ(command().log().size(), 1u);
    EXPECT_EQ(last(c.key).form, Form::command);
    EXPECT_THAT(last(c.key).payload, JsonIs(c.payload));
    command().script(Form::command, c.key, Behaviour::reply(-3).times(1));
    c.call(robot(), ec);
    EXPECT_EQ(ec.value(), -3);
  }
  EXPECT_EQ(sim().projects().loadedProject(), "P");
  EXPECT_FALSE(sim().projects().running());

  command().log().clear();
  robot().loadProject("", {"T1"}, ec);
  EXPECT_EQ(ec.value(), 259);
  robot().loadProject("P", {}, ec);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(command().log().size(), 0u);
}

TEST_F(ProjectTest, RunningOptionsOutsideTheRangeOrNotANumberSendNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double rate;
    int expected;
  } cases[] = {{0.01, 0}, {1.0, 0},   {0.5, 0},   {0.009, 258}, {1.01, 258},
               {-1, 258}, {nan, 258}, {inf, 258}, {-inf, 258}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    command().log().clear();
    std::error_code ec;
    robot().setProjectRunningOpt(c.rate, true, ec);
    EXPECT_EQ(ec.value(), c.expected);
    ASSERT_EQ(command().log().size(), c.expected ? 0u : 1u);
    if (c.expected) continue;
    EXPECT_EQ(last("project.run_param").form, Form::set);
    EXPECT_THAT(last("project.run_param").payload,
                JsonIs(R"({"override": )" + std::to_string(c.rate) + R"(, "loop_mode": true})"));
    EXPECT_EQ(sim().projects().rate(), c.rate);
  }
}

TEST_F(ProjectTest, ProjectListKeepsReadableNamedProjectsOnly) {
  sim().projects().addProject("B", {"main", "aux"});
  sim().projects().addProject("A", {});
  std::error_code ec;
  auto projects = robot().projectsInfo(ec);
  EXPECT_FALSE(ec);
  ASSERT_EQ(projects.size(), 2u);
  EXPECT_EQ(projects[0].name, "A");
  EXPECT_TRUE(projects[0].taskList.empty());
  EXPECT_THAT(projects[1].taskList, ::testing::ElementsAre("aux", "main"));

  const Json::Value odd = parseJson(R"([{"name": ""}, 7, "x", {"name": {}}, {"name": "C", "tasks": "t"},
      {"name": "D", "tasks": ["t1", {}, [], "t2"]}, {"tasks": ["t"]}])");
  ASSERT_TRUE(odd.isArray());
  command().script(Form::get, "project.list", Behaviour::reply(odd).times(1));
  projects = robot().projectsInfo(ec);
  EXPECT_FALSE(ec);
  ASSERT_EQ(projects.size(), 2u);
  EXPECT_EQ(projects[0].name, "C");
  EXPECT_TRUE(projects[0].taskList.empty());
  EXPECT_THAT(projects[1].taskList, ::testing::ElementsAre("t1", "t2"));

  for (Json::Value reply : {Json::Value(0), Json::Value("x"), Json::Value(Json::objectValue)}) {
    command().script(Form::get, "project.list", Behaviour::reply(reply).times(1));
    EXPECT_TRUE(robot().projectsInfo(ec).empty());
    EXPECT_EQ(ec.value(), -260);
  }
  useRequestWait(200ms);
  command().script(Form::get, "project.list", Behaviour::silent().times(1));
  EXPECT_TRUE(robot().projectsInfo(ec).empty());
  EXPECT_EQ(ec.value(), 263);
}

TEST_F(ProjectTest, RemovalRefusesNamesThatAreNotOneComponentAndMapsNotFound) {
  sim().projects().addProject("P", {"T"});
  sim().projects().addProject("Q", {"T"});
  std::error_code ec;
  for (const char* name : {"../x", "a/b", "a\\b", ".", "..", ""}) {
    robot().removeProject(name, ec);
    EXPECT_EQ(ec.value(), 259) << name;
  }
  EXPECT_EQ(command().log().size(), 0u);

  robot().removeProject("P", ec);
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("ix.sdk.remove_project").payload, JsonIs(R"({"name": "P", "remove_all": false})"));
  robot().removeProject("P", ec);
  EXPECT_EQ(ec.value(), -60005) << "the controller's -1";
  EXPECT_THAT(sim().projects().projects(), ::testing::ElementsAre("Q"));
  robot().removeProject("", ec, true);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(sim().projects().projects().empty());

  const struct {
    const char* reply;
    int expected;
  } replies[] = {{R"({"error": -1, "data": "no such project"})", -60005},
                 {R"({"error": -5})", -5},
                 {R"({"data": {"msg": "x"}})", 0},
                 {R"("text")", 0}};
  for (const auto& r : replies) {
    command().script(Form::command, "ix.sdk.remove_project", Behaviour::reply(parseJson(r.reply)).times(1));
    robot().removeProject("Q", ec);
    EXPECT_EQ(ec.value(), r.expected) << r.reply;
  }
}

// Lists of names print as the names themselves: "[T2, T1]", not quoted texts.
TEST_F(ProjectTest, ListsOfNamesPrintUnquotedInLogLines) {
  LogCapture global;
  sim().projects().addProject("P", {"T1", "T2"});
  enterMode(MotionControlMode::NrtRLTask);
  std::error_code ec;
  robot().loadProject("P", {"T2", "T1"}, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_THAT(last("project.load").payload, JsonIs(R"({"name": "P", "tasks": ["T2", "T1"]})"));
  const struct {
    std::vector<std::string> list;
    int code;
    const char* line;
  } removals[] = {
      {{"x/P"}, 259, "removeFiles [x/P] : invalid list"},
      {{"project/P/T1", "project/P/T2/a.txt"}, -281, "removeFiles [project/P/T1, project/P/T2/a.txt] file type wrong"},
      {{"project/P/T1"}, 0, "removeFiles [project/P/T1] (0)"},
  };
  for (const auto& r : removals) {
    command().log().clear();
    robot().removeFiles(r.list, ec);
    EXPECT_EQ(ec.value(), r.code) << r.line;
    EXPECT_EQ(command().log().size(), r.code == 0 ? 1u : 0u) << r.line;
  }
  robot().disconnectFromRobot(ec);  // flushes the robot log
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | loadProject end, name: P, tasks: [T2, T1] (0)")) << global.text();
  const std::string robotLog = robotLogText();
  for (const auto& r : removals) EXPECT_THAT(robotLog, ::testing::HasSubstr(r.line));
  EXPECT_THAT(robotLog, ::testing::Not(::testing::HasSubstr("\"T")));
}

}  // namespace
}  // namespace velmora
