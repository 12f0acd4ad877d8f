// Choosing the active tool set by the names of a tool and a work object: the query, what is
// written back, and every way the query's answer is refused before anything is written.
#include <gmock/gmock.h>

#include <string>

#include "robot/robot_fixture.h"
#include "support/link_options.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

const char* kQueried = R"({"load": {"mass": 2, "cog": [0.1, 0.2, 0.3], "inertia": [1, 2, 3]},
    "end": {"trans": [0, 0, 0.1], "rot": [0, 0, 1]}, "ref": {"trans": [1, 1, 0], "rot": [0.5, 0, 0]}})";

void answerQuery(velmora_sim::CommandService& command, const std::string& reply) {
  command.script(Form::command, "sys.toolset.query", Behaviour::reply(parseJson(reply)).times(1));
}

TEST_F(RobotOpsTest, ToolsetByNamesWritesTheQueriedSetWithTheNames) {
  answerQuery(command(), std::string(R"({"data": )") + kQueried + "}");
  std::error_code ec;
  const Toolset t = robot().setToolset("gripper", "table", ec);
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("sys.toolset.query").payload, JsonIs(R"({"tool": "gripper", "wobj": "table"})"));
  EXPECT_THAT(last("ix.coord.toolset").payload,
              JsonIs(R"({"load": {"mass": 2, "cog": [0.1, 0.2, 0.3], "inertia": [1, 2, 3]},
                         "end": {"trans": [0, 0, 0.1], "rot": [0, 0, 1], "name": "gripper"},
                         "ref": {"trans": [1, 1, 0], "rot": [0.5, 0, 0], "name": "table"}})"));
  EXPECT_EQ(last("ix.coord.toolset").form, Form::set);
  EXPECT_EQ(t.load.mass, 2);
  EXPECT_EQ(t.load.inertia, (std::array<double, 3>{1, 2, 3}));
  EXPECT_EQ(t.end.rpy, (std::array<double, 3>{0, 0, 1}));
  EXPECT_EQ(t.ref.trans, (std::array<double, 3>{1, 1, 0}));

  // A failing write still returns what the query gave, with the write's code.
  answerQuery(command(), std::string(R"({"data": )") + kQueried + "}");
  command().script(Form::set, "ix.coord.toolset", Behaviour::reply(-3).times(1));
  EXPECT_EQ(robot().setToolset("gripper", "table", ec).end.trans, (std::array<double, 3>{0, 0, 0.1}));
  EXPECT_EQ(ec.value(), -3);
}

TEST_F(RobotOpsTest, ToolsetQueryAnswersThatCannotBeUsedWriteNothing) {
  const struct {
    const char* reply;
    int code;
  } cases[] = {
      {"-1", -260},
      {R"("x")", -260},
      {"null", -260},
      {R"({"result": {}})", -260},
      {R"({"data": {}, "error": "no such tool"})", -50501},
      {R"({"data": null, "error": null})", -50501},
      // Incomplete sets would install a wrong tool, load or reference.
      {R"({"data": null})", -260},
      {R"({"data": "x"})", -260},
      {R"({"data": {"load": {"mass": 1, "cog": [0, 0, 0], "inertia": [0, 0, 0]},
                    "end": {"trans": [0, 0, 0], "rot": [0, 0, 0]}}})",
       -260},
      {R"({"data": {"load": {"cog": [0, 0, 0], "inertia": [0, 0, 0]},
                    "end": {"trans": [0, 0, 0], "rot": [0, 0, 0]}, "ref": {"trans": [0, 0, 0], "rot": [0, 0, 0]}}})",
       -260},
      {R"({"data": {"load": {"mass": 1, "cog": [0, 0, 0], "inertia": [0, 0]},
                    "end": {"trans": [0, 0, 0], "rot": [0, 0, 0]}, "ref": {"trans": [0, 0, 0], "rot": [0, 0, 0]}}})",
       -260},
      {R"({"data": {"load": {"mass": 1, "cog": [0, 0, 0], "inertia": [0, 0, 0]},
                    "end": {"trans": [0, 0, 0]}, "ref": {"trans": [0, 0, 0], "rot": [0, 0, 0]}}})",
       -260},
      {R"({"data": {"load": {"mass": 1, "cog": [0, 0, 0], "inertia": [0, 0, 0]},
                    "end": {"trans": [0, 0, 0], "rot": [0, 0, 0]}, "ref": [1, 2]}})",
       -260},
      {R"({"data": {"load": {"mass": "1", "cog": [0, 0, 0], "inertia": [0, 0, 0]},
                    "end": {"trans": [0, 0, 0], "rot": [0, 0, 0]}, "ref": {"trans": [0, 0, 0], "rot": [0, 0, 0]}}})",
       -260},
  };
  LogCapture global;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    answerQuery(command(), c.reply);
    std::error_code ec;
    const Toolset t = robot().setToolset("t", "w", ec);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(t.load.mass, 0);
    EXPECT_EQ(t.end.trans, (std::array<double, 3>{}));
  }
  EXPECT_EQ(command().log().count("ix.coord.toolset"), 0u);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setToolset end, setToolset query failed (-260)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setToolset end, setToolset query failed (-50501)"));
}

TEST_F(RobotOpsTest, ToolsetQueryThatFailsKeepsTheLinkCode) {
  useRequestWait(150ms);
  LogCapture global;
  command().script(Form::command, "sys.toolset.query", Behaviour::silent().times(1));
  std::error_code ec;
  EXPECT_EQ(robot().setToolset("t", "w", ec).load.mass, 0);
  EXPECT_EQ(ec.value(), 263);
  EXPECT_EQ(command().log().count("ix.coord.toolset"), 0u);
  EXPECT_TRUE(global.contains("setToolset end, setToolset query failed (263)"));
  answerQuery(command(), std::string(R"({"data": )") + kQueried + "}");
  robot().setToolset("t", "w", ec);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | setToolset end, Set toolset to t, w, (0)"));
}

}  // namespace
}  // namespace velmora
