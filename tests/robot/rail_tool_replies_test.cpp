// Tool tables, tool sets by name, external axes, mechanical units and the rail answered with
// replies of every kind they do not expect: never a throw, and a read never reports a value it
// did not get.
#include <gmock/gmock.h>

#include <functional>
#include <string>
#include <vector>

#include "robot/robot_fixture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;

using Op = std::function<void(OstraMaxRobot&, std::error_code&)>;

// Each operation with the request its reply is scripted for, and whether a reply it cannot use
// must show in the code (reads with a value to give) or may pass (writes whose answer is only
// a code, list reads whose empty answer means no entry).
struct Row {
  const char* key;
  Form form;
  Op op;
  bool mustFail;
};

TEST_F(RobotOpsTest, RailAxisAndToolOperationsSurviveRepliesOfAnyKind) {
  const WorkToolInfo tool("t1", true, Frame({{0.1, 0, 0}}, {{0, 0, 0}}), Load(1, {}, {}));
  const Row rows[] = {
      {"project.tool.info", Form::get, [](auto& r, auto& ec) { (void)r.toolsInfo(ec); }, false},
      {"project.wobj.info", Form::get, [](auto& r, auto& ec) { (void)r.wobjsInfo(ec); }, false},
      {"project.tools", Form::get, [&](auto& r, auto& ec) { r.setToolInfo(tool, ec); }, false},
      {"project.tool", Form::command, [&](auto& r, auto& ec) { r.setToolInfo(tool, ec); }, false},
      {"sys.toolset.query", Form::command, [](auto& r, auto& ec) { (void)r.setToolset("tool0", "wobj0", ec); }, true},
      {"ext_axis.get_axis_info", Form::command,
       [](auto& r, auto& ec) {
         std::vector<std::string> names;
         r.getExtAxisInfo("axis1", "driver_name", names, ec);
         EXPECT_TRUE(names.empty());
       },
       true},
      {"ext_axis.get_mechanical_unit_info", Form::command,
       [](auto& r, auto& ec) {
         int order = 9;
         r.getMechUnit("u1", "order", order, ec);
         EXPECT_EQ(order, 9);
       },
       true},
      {"rail_param", Form::get,
       [](auto& r, auto& ec) {
         std::vector<double> range{9};
         r.getRailParameter("range", range, ec);
         EXPECT_EQ(range, std::vector<double>{9});
       },
       true},
      {"rail_param", Form::get,
       [](auto& r, auto& ec) {
         Frame frame({{9, 9, 9}}, {{9, 9, 9}});
         r.getRailParameter("baseFrame", frame, ec);
         EXPECT_EQ(frame.trans[0], 9);
       },
       true},
      {"rail_param", Form::get,
       [](auto& r, auto& ec) {
         int speed = 9;
         r.getRailParameter("maxSpeed", speed, ec);
         EXPECT_EQ(speed, 9);
       },
       true},
      // A set answered with null reads as 0, as every set of the link does.
      {"rail_param", Form::set, [](auto& r, auto& ec) { r.setRailParameter("maxSpeed", 1.0, ec); }, false},
      {"rail.set_rail_frame", Form::command, [](auto& r, auto& ec) { r.setRailParameter("baseFrame", Frame(), ec); },
       false},
  };
  for (const auto& row : rows) {
    for (const char* reply :
         {R"("x")", "{}", "[]", "null", "true", "1.5", "[1, 2, 3]", R"({"data": 7, "error": "x"})",
          R"({"data": [], "tool": 1})", R"({"data": {"axis1": [], "u1": "x"}, "base_frame": []})"}) {
      SCOPED_TRACE(std::string(row.key) + " <- " + reply);
      command().script(row.form, row.key, Behaviour::reply(parseJson(reply)).times(1));
      std::error_code ec;
      EXPECT_NO_THROW(row.op(robot(), ec));
      if (row.mustFail) {
        EXPECT_TRUE(ec);
      }
      command().clearScripts();
    }
  }
}

}  // namespace
}  // namespace velmora
