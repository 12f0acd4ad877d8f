// How the frame operations read their replies: results, codes, what is left on failure, and
// the lines they write.
#include <gmock/gmock.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <functional>
#include <string>

#include "robot/robot_fixture.h"
#include "support/link_options.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

std::string text(const Frame& f) { return fmt::format("{},{}", fmt::join(f.trans, ","), fmt::join(f.rpy, ",")); }

const ResultCall baseFrame = [](auto& r, auto& ec) { return fmt::format("{}", fmt::join(r.baseFrame(ec), ",")); };
const ResultCall toolset = [](auto& r, auto& ec) {
  const Toolset t = r.toolset(ec);
  return fmt::format("{}|{}|{}|{}|{}", t.load.mass, fmt::join(t.load.cog, ","), fmt::join(t.load.inertia, ","),
                     text(t.end), text(t.ref));
};
const ResultCall softLimit = [](auto& r, auto& ec) {
  std::array<double[2], 7> limits{};
  limits[6][1] = 9;  // stays when the reply is refused
  const bool enabled = r.getSoftLimit(limits, ec);
  return fmt::format("{}|{},{}|{},{}", enabled, limits[0][0], limits[0][1], limits[6][0], limits[6][1]);
};
const ResultCall dh = [](auto& r, auto& ec) {
  return fmt::format("{}", fmt::join(r.getRobotCfg_DHparam(true, ec), ","));
};
const ResultCall calibrate = [](auto& r, auto& ec) {
  const auto result = r.calibrateFrame(FrameType::wobj, std::vector<std::array<double, 7>>(3), false, ec);
  return fmt::format("{}|{}", text(result.frame), fmt::join(result.errors, ","));
};
TEST_F(RobotOpsTest, FrameRepliesBecomeResultsAndCodes) {
  const ResultCall setBase = withoutResult([](auto& r, auto& ec) { r.setBaseFrame(Frame(), ec); });
  const ResultCall setToolset = withoutResult([](auto& r, auto& ec) { r.setToolset(Toolset(), ec); });
  const ResultCall setLimit = withoutResult([](auto& r, auto& ec) { r.setSoftLimit(true, ec); });
  const std::string zeroToolset = "0|0,0,0|0,0,0|0,0,0,0,0,0|0,0,0,0,0,0";
  const std::string zeroCalibration = "0,0,0,0,0,0|0,0,0";
  const char* frame = R"({"trans": [1, 2, 3], "rot": [4, 5, 6]})";
  const std::string fullToolset = R"({"load": {"mass": 2, "cog": [1, 2, 3], "inertia": [4, 5, 6]},
      "end": {"trans": [1, 2, 3], "rot": [4, 5, 6], "name": "t"}, "ref": {"trans": [7, 8, 9], "rot": [0, 0, 1]}})";
  const ReplyCase cases[] = {
      {"ix.coord.base_in_world", Form::get, frame, baseFrame, "1,2,3,4,5,6", 0},
      {"ix.coord.base_in_world", Form::get, R"({"trans": [1, 2, 3], "rot": [4, 5]})", baseFrame, "1,2,3,0,0,0", 257},
      {"ix.coord.base_in_world", Form::get, R"({"trans": [1, "2", 3], "rot": [4, 5, 6]})", baseFrame, "0,0,0,0,0,0",
       257},
      {"ix.coord.base_in_world", Form::get, R"({"rot": [4, 5, 6]})", baseFrame, "0,0,0,0,0,0", 257},
      {"ix.coord.base_in_world", Form::get, "-1", baseFrame, "0,0,0,0,0,0", -1},
      {"ix.coord.base_in_world", Form::get, "0", baseFrame, "0,0,0,0,0,0", 257},
      {"ix.coord.base_in_world", Form::set, "-3", setBase, "", -3},
      {"ix.coord.toolset", Form::get, fullToolset.c_str(), toolset, "2|1,2,3|4,5,6|1,2,3,4,5,6|7,8,9,0,0,1", 0},
      {"ix.coord.toolset", Form::get, R"({"load": {}, "end": {}})", toolset, zeroToolset, 257},
      {"ix.coord.toolset", Form::get, R"({"load": 3, "end": {}, "ref": {}})", toolset, zeroToolset, 257},
      {"ix.coord.toolset", Form::get, "-1", toolset, zeroToolset, -1},
      {"ix.coord.toolset", Form::get, "0", toolset, zeroToolset, 257},
      {"ix.coord.toolset", Form::set, "-2", setToolset, "", -2},
      {"safety.soft_limit", Form::get,
       R"({"enable": true, "lower": [-1, 0, 0, 0, 0, 0, -7], "upper": [1, 0, 0, 0, 0, 0, 7]})", softLimit,
       "true|-1,1|-7,7", 0},
      // Joints missing from short arrays read 0.
      {"safety.soft_limit", Form::get, R"({"enable": false, "lower": [-1], "upper": [1, 2]})", softLimit,
       "false|-1,1|0,0", 0},
      {"safety.soft_limit", Form::get, R"({"lower": [-1], "upper": [1]})", softLimit, "false|0,0|0,9", 257},
      {"safety.soft_limit", Form::get, R"({"enable": true, "lower": {}, "upper": [1]})", softLimit, "false|0,0|0,9",
       257},
      {"safety.soft_limit", Form::get, R"({"enable": true, "lower": ["x"], "upper": [1]})", softLimit, "false|0,0|0,9",
       257},
      {"safety.soft_limit", Form::get, R"({"enable": "on", "lower": [], "upper": []})", softLimit, "false|0,0|0,9",
       257},
      {"safety.soft_limit", Form::get, "-1", softLimit, "false|0,0|0,9", 257},
      {"safety.soft_limit", Form::command, "-3", setLimit, "", -3},
      {"safety.soft_limit", Form::command, R"({"error": 1})", setLimit, "", -260},
      {"cfg.get", Form::command, R"({"data": [1, 2.5]})", dh, "1,2.5", 0},
      {"cfg.get", Form::command, "-1", dh, "", -1},
      {"cfg.get", Form::command, "0", dh, "", 257},
      {"cfg.get", Form::command, R"({"data": ["a"]})", dh, "", 257},
      {"cfg.get", Form::command, R"({"data": {}})", dh, "", 257},
      {"utils.calibrate_frame", Form::command, R"({"data": {"frame": {"trans": [1, 2, 3], "rot": [4, 5, 6]},
        "errors": [0.5, 0.25, 1, 9]}})",
       calibrate, "1,2,3,4,5,6|0.5,0.25,1", 0},
      // The error figures are informative: unusable ones read as zeros.
      {"utils.calibrate_frame", Form::command, R"({"data": {"frame": {"trans": [1, 2, 3], "rot": [4, 5, 6]}}})",
       calibrate, "1,2,3,4,5,6|0,0,0", 0},
      {"utils.calibrate_frame", Form::command,
       R"({"data": {"frame": {"trans": [1, 2, 3], "rot": [4, 5, 6]}, "errors": [1, 2]}})", calibrate,
       "1,2,3,4,5,6|0,0,0", 0},
      {"utils.calibrate_frame", Form::command, R"({"data": {"frame": {"trans": [1, 2, 3], "rot": [4, 5, 6]}},
        "error": "singular"})",
       calibrate, zeroCalibration, 273},
      // No frame is no calibration, not one at the origin.
      {"utils.calibrate_frame", Form::command, R"({"data": {"errors": [1, 2, 3]}})", calibrate, zeroCalibration, -260},
      {"utils.calibrate_frame", Form::command, R"({"data": {"frame": {"trans": [1, 2, 3]}}})", calibrate,
       zeroCalibration, -260},
      {"utils.calibrate_frame", Form::command, R"({"data": "done"})", calibrate, zeroCalibration, -260},
      {"utils.calibrate_frame", Form::command, R"({"frame": {}})", calibrate, zeroCalibration, -260},
      {"utils.calibrate_frame", Form::command, "-1", calibrate, zeroCalibration, -260},
  };
  expectEachReadsItsReply(cases);
}

// Replies of every kind where these operations expect something else: a code, never a throw,
// and the zero result.
TEST_F(RobotOpsTest, FrameOperationsSurviveRepliesOfAnyKind) {
  const struct {
    const char* key;
    Form form;
    ResultCall call;
    std::string zero;
  } reads[] = {
      {"ix.coord.base_in_world", Form::get, baseFrame, "0,0,0,0,0,0"},
      {"ix.coord.toolset", Form::get, toolset, "0|0,0,0|0,0,0|0,0,0,0,0,0|0,0,0,0,0,0"},
      {"safety.soft_limit", Form::get, softLimit, "false|0,0|0,9"},
      {"cfg.get", Form::command, dh, ""},
      {"utils.calibrate_frame", Form::command, calibrate, "0,0,0,0,0,0|0,0,0"},
  };
  for (const auto& read : reads) {
    for (const char* reply : {R"("x")", "{}", "[]", "null", "true", "1.5", "[1, 2, 3]", R"({"data": 7, "trans": 1})",
                              R"({"data": {}, "end": [], "load": "x", "ref": 1, "lower": 1, "upper": 1})"}) {
      SCOPED_TRACE(std::string(read.key) + " <- " + reply);
      command().script(read.form, read.key, Behaviour::reply(parseJson(reply)).times(1));
      std::error_code ec;
      std::string result;
      EXPECT_NO_THROW(result = read.call(robot(), ec));
      EXPECT_EQ(result, read.zero);
      EXPECT_TRUE(ec);
    }
  }
  const struct {
    const char* key;
    Form form;
    std::function<void(std::error_code&)> write;
  } writes[] = {
      {"ix.coord.base_in_world", Form::set, [&](auto& ec) { robot().setBaseFrame(Frame(), ec); }},
      {"ix.coord.toolset", Form::set, [&](auto& ec) { robot().setToolset(Toolset(), ec); }},
      {"safety.soft_limit", Form::command, [&](auto& ec) { robot().setSoftLimit(true, ec); }},
  };
  for (const auto& write : writes) {
    for (const char* reply : {R"("x")", "{}", "[]", "true", "1.5", R"({"error": -1})"}) {
      SCOPED_TRACE(std::string(write.key) + " <- " + reply);
      command().script(write.form, write.key, Behaviour::reply(parseJson(reply)).times(1));
      std::error_code ec;
      write.write(ec);
      EXPECT_TRUE(ec) << "an answer that is no code is no success";
    }
  }
}

TEST_F(RobotOpsTest, FailedRequestsKeepTheLinkCode) {
  useRequestWait(150ms);
  std::error_code ec;
  for (const char* key : {"ix.coord.base_in_world", "safety.soft_limit"}) {
    command().script(Form::get, key, Behaviour::silent().times(1));
  }
  command().script(Form::command, "utils.calibrate_frame", Behaviour::silent().times(1));
  EXPECT_EQ(baseFrame(robot(), ec), "0,0,0,0,0,0");
  EXPECT_EQ(ec.value(), 263);
  EXPECT_EQ(softLimit(robot(), ec), "false|0,0|0,9");
  EXPECT_EQ(ec.value(), 263);
  EXPECT_EQ(calibrate(robot(), ec), "0,0,0,0,0,0|0,0,0");
  EXPECT_EQ(ec.value(), 263);
  command().script(Form::get, "ix.coord.toolset", Behaviour::wrongKind().times(1));
  EXPECT_EQ(toolset(robot(), ec), "0|0,0,0|0,0,0|0,0,0,0,0,0|0,0,0,0,0,0");
  EXPECT_EQ(ec.value(), 257);
  // The nominal set is asked for only after a full request that was answered.
  command().script(Form::command, "cfg.get", Behaviour::silent().times(1));
  EXPECT_TRUE(robot().getRobotCfg_DHparam(false, ec).empty());
  EXPECT_EQ(ec.value(), 263);
  EXPECT_EQ(command().log().count("cfg.get"), 1u);
}

TEST_F(RobotOpsTest, FrameWritesLogTheirLines) {
  LogCapture global;
  std::error_code ec;
  robot().setBaseFrame(Frame({{1, 2, 3}}, {{0, 0, 0.5}}), ec);
  robot().setToolset(Toolset(), ec);
  std::array<double[2], 7> limits{};
  limits[0][0] = -1;
  limits[0][1] = 1;
  robot().setSoftLimit(true, ec, limits);
  command().script(Form::command, "safety.soft_limit", Behaviour::reply(-3).times(1));
  robot().setSoftLimit(false, ec);
  EXPECT_TRUE(
      global.contains("uid: VELSIM00-0001 | setBaseFrame end, Set base frame to trans:[1, 2, 3], rpy:[0, 0, 0.5] (0)"));
  EXPECT_TRUE(
      global.contains("uid: VELSIM00-0001 | setToolset end, Set toolset to end:trans:[0, 0, 0], rpy:[0, 0, 0], "
                      "ref:trans:[0, 0, 0], rpy:[0, 0, 0], load:m:0, cog:[0, 0, 0] (0)"));
  EXPECT_TRUE(
      global.contains("uid: VELSIM00-0001 | setSoftLimit end true, [[-1, 1], [0, 0], [0, 0], [0, 0], [0, 0], "
                      "[0, 0], [0, 0]], (0)"));
  EXPECT_TRUE(
      global.contains("uid: VELSIM00-0001 | setSoftLimit end false, [[1.7976931348623157e+308, "
                      "1.7976931348623157e+308], [0, 0]"));
  EXPECT_TRUE(global.contains(", (-3)"));
}

}  // namespace
}  // namespace velmora
