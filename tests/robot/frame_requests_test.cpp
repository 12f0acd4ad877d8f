// What the frame operations send, and the round trips through the simulator's stored frames,
// tool set and soft limits.
#include <gmock/gmock.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "robot/robot_fixture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Toolset sampleToolset() {
  Toolset t;
  t.load = Load(1.5, {0.01, 0.02, 0.03}, {0.1, 0.2, 0.3});
  t.end = Frame({{0.1, 0.0, 0.2}}, {{0.0, 0.5, 1.0}});
  t.ref = Frame({{1.0, 2.0, 3.0}}, {{-0.5, 0.0, 0.25}});
  return t;
}

TEST_F(RobotOpsTest, EachFrameOperationSendsItsKeyAndPayload) {
  std::array<double[2], 7> limits{};
  for (int i = 0; i < 7; ++i) {
    limits[i][0] = -1.0 - i;
    limits[i][1] = 1.0 + i;
  }
  const std::vector<std::array<double, 7>> points = {
      {1, 2, 3, 4, 5, 6, 7}, {0, 0, 0, 0, 0, 0, 0.5}, {7, 6, 5, 4, 3, 2, 1}};
  const RequestCase cases[] = {
      {"base frame", [](auto& r, auto& ec) { r.baseFrame(ec); }, Form::get, "ix.coord.base_in_world", "null"},
      {"set base frame",
       [](auto& r, auto& ec) {
         r.setBaseFrame(Frame({{1, 2, 3}}, {{0.1, 0.2, 0.3}}), ec);
       },
       Form::set, "ix.coord.base_in_world", R"({"trans": [1, 2, 3], "rot": [0.1, 0.2, 0.3]})"},
      {"toolset", [](auto& r, auto& ec) { r.toolset(ec); }, Form::get, "ix.coord.toolset", "null"},
      {"set toolset", [](auto& r, auto& ec) { r.setToolset(sampleToolset(), ec); }, Form::set, "ix.coord.toolset",
       R"({"load": {"mass": 1.5, "cog": [0.01, 0.02, 0.03], "inertia": [0.1, 0.2, 0.3]},
           "end": {"trans": [0.1, 0, 0.2], "rot": [0, 0.5, 1], "name": ""},
           "ref": {"trans": [1, 2, 3], "rot": [-0.5, 0, 0.25], "name": ""}})"},
      {"calibrate tool",
       [&](auto& r, auto& ec) {
         r.calibrateFrame(FrameType::tool, points, true, ec, {1, 2, 3});
       },
       Form::command, "utils.calibrate_frame",
       R"({"type": "tool", "held": true, "aux": [1, 2, 3],
           "points": [[1, 2, 3, 4, 5, 6, 7], [0, 0, 0, 0, 0, 0, 0.5], [7, 6, 5, 4, 3, 2, 1]]})"},
      {"soft limit",
       [](auto& r, auto& ec) {
         std::array<double[2], 7> l{};
         r.getSoftLimit(l, ec);
       },
       Form::get, "safety.soft_limit", "null"},
      {"soft limit flag only", [](auto& r, auto& ec) { r.setSoftLimit(true, ec); }, Form::command, "safety.soft_limit",
       R"({"enable": true, "lower": [], "upper": []})"},
      {"soft limits", [&](auto& r, auto& ec) { r.setSoftLimit(false, ec, limits); }, Form::command, "safety.soft_limit",
       R"({"enable": false, "lower": [-1, -2, -3, -4, -5, -6, -7], "upper": [1, 2, 3, 4, 5, 6, 7]})"},
      {"nominal DH", [](auto& r, auto& ec) { r.getRobotCfg_DHparam(true, ec); }, Form::command, "cfg.get",
       R"({"type": "json", "key": "KINEMATICS.DH_PARAMS", "func": "std"})"},
      {"full DH", [](auto& r, auto& ec) { r.getRobotCfg_DHparam(false, ec); }, Form::command, "cfg.get",
       R"({"type": "json", "key": "KINEMATICS.DH_PARAMS_ALL"})"},
  };
  expectEachSendsItsRequest(cases);
}

TEST_F(RobotOpsTest, BaseFrameAndToolsetComeBackAsSet) {
  std::error_code ec;
  robot().setBaseFrame(Frame({{0.5, -0.25, 1.0}}, {{0.0, 0.1, 3.0}}), ec);
  ASSERT_FALSE(ec);
  EXPECT_EQ(robot().baseFrame(ec), (std::array<double, 6>{0.5, -0.25, 1.0, 0.0, 0.1, 3.0}));
  EXPECT_FALSE(ec);

  const Toolset sent = sampleToolset();
  robot().setToolset(sent, ec);
  ASSERT_FALSE(ec);
  const Toolset back = robot().toolset(ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(back.load.mass, sent.load.mass);
  EXPECT_EQ(back.load.cog, sent.load.cog);
  EXPECT_EQ(back.load.inertia, sent.load.inertia);
  EXPECT_EQ(back.end.trans, sent.end.trans);
  EXPECT_EQ(back.end.rpy, sent.end.rpy);
  EXPECT_EQ(back.ref.trans, sent.ref.trans);
  EXPECT_EQ(back.ref.rpy, sent.ref.rpy);
}

// Soft limits on a collaborative and an industrial arm: N pairs each way, the flag alone with
// the largest double as the first lower limit.
template <class Robot, int N>
void softLimitRoundTrip(Robot& robot, velmora_sim::RobotFrames& frames) {
  std::array<double[2], N> limits{};
  for (int i = 0; i < N; ++i) {
    limits[i][0] = -0.5 * (i + 1);
    limits[i][1] = 0.25 * (i + 1);
  }
  std::error_code ec;
  robot.setSoftLimit(true, ec, limits);
  ASSERT_FALSE(ec);
  std::array<double[2], N> back{};
  EXPECT_TRUE(robot.getSoftLimit(back, ec));
  EXPECT_FALSE(ec);
  for (int i = 0; i < N; ++i) {
    EXPECT_EQ(back[i][0], limits[i][0]) << i;
    EXPECT_EQ(back[i][1], limits[i][1]) << i;
  }
  std::array<double[2], N> sentinel{};
  sentinel[0][0] = std::numeric_limits<double>::max();
  sentinel[0][1] = kNaN;  // ignored with the sentinel: nothing but the flag is sent
  robot.setSoftLimit(false, ec, sentinel);
  ASSERT_FALSE(ec);
  EXPECT_FALSE(robot.getSoftLimit(back, ec));
  EXPECT_FALSE(ec);
  EXPECT_EQ(back[N - 1][1], limits[N - 1][1]) << "the limits stay";
  EXPECT_EQ(frames.softLimit()["lower"].size(), static_cast<unsigned>(N));
}

TEST_F(RobotOpsTest, SoftLimitsComeBackAsSet) { softLimitRoundTrip<OstraMaxRobot, 7>(robot(), sim().frames()); }

TEST_F(RobotSimTest, SoftLimitsOfAnIndustrialArm) {
  sim().setInfo(arm(6, "industrial"));
  Json::Value six = parseJson(R"({"enable": false, "lower": [0, 0, 0, 0, 0, 0], "upper": [1, 1, 1, 1, 1, 1]})");
  sim().frames().setSoftLimit(six);
  StandardRobot robot(address(), address());
  softLimitRoundTrip<StandardRobot, 6>(robot, sim().frames());
}

TEST_F(RobotOpsTest, FullDhParametersFallBackToTheNominalSet) {
  sim().frames().setDhParameters(parseJson("[1, 2, 3.5]"), Json::Value());
  std::error_code ec;
  EXPECT_EQ(robot().getRobotCfg_DHparam(false, ec), (std::vector<double>{1, 2, 3.5}));
  EXPECT_FALSE(ec);
  const auto requests = command().log().withKey("cfg.get");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_THAT(requests[1].payload, JsonIs(R"({"type": "json", "key": "KINEMATICS.DH_PARAMS"})"));
  command().log().clear();
  // The nominal set asked for is never asked again, whatever it holds.
  sim().frames().setDhParameters(Json::Value(), Json::Value());
  EXPECT_TRUE(robot().getRobotCfg_DHparam(true, ec).empty());
  EXPECT_EQ(ec.value(), 257);
  EXPECT_EQ(command().log().count("cfg.get"), 1u);
}

template <int N>
std::vector<std::array<double, N>> somePoints(std::size_t count) {
  std::vector<std::array<double, N>> points(count);
  for (std::size_t i = 0; i < count; ++i) points[i].fill(0.1 * static_cast<double>(i));
  return points;
}

// Which frame types and point counts are calibrated, on a 7- and a 4-axis arm: the refused
// ones send nothing; the others send N numbers per point.
template <class Robot, int N>
void calibrationMatrix(Robot& robot, velmora_sim::CommandService& command) {
  const struct {
    FrameType type;
    std::size_t count;
    const char* name;  // null: refused
  } cases[] = {
      {FrameType::baseFrame, 6, "base"}, {FrameType::baseFrame, 3, nullptr},      {FrameType::tool, 3, "tool"},
      {FrameType::tool, 4, "tool"},      {FrameType::tool, 5, nullptr},           {FrameType::tool, 6, "tool"},
      {FrameType::wobj, 3, "wobj"},      {FrameType::wobj, 4, nullptr},           {FrameType::rail, 3, "rail"},
      {FrameType::rail, 0, nullptr},     {FrameType::world, 3, nullptr},          {FrameType::flange, 6, nullptr},
      {FrameType::path, 3, nullptr},     {static_cast<FrameType>(9), 3, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.type)) + " with " + std::to_string(c.count));
    command.log().clear();
    std::error_code ec;
    const FrameCalibrationResult result = robot.calibrateFrame(c.type, somePoints<N>(c.count), false, ec);
    if (c.name == nullptr) {
      EXPECT_EQ(ec.value(), 259);
      EXPECT_EQ(result.frame.trans, (std::array<double, 3>{}));
      EXPECT_EQ(command.log().size(), 0u);
      continue;
    }
    EXPECT_FALSE(ec) << ec.value();
    EXPECT_EQ(result.frame.trans, (std::array<double, 3>{0.1, 0.2, 0.3}));
    EXPECT_EQ(result.frame.rpy, (std::array<double, 3>{0, 0, 1.5}));
    EXPECT_EQ(result.errors, (std::array<double, 3>{0.001, 0.002, 0.003}));
    const auto records = command.log().withKey("utils.calibrate_frame");
    ASSERT_EQ(records.size(), 1u);
    const Json::Value& p = records[0].payload;
    EXPECT_EQ(p["type"].asString(), c.name);
    EXPECT_THAT(p["aux"], JsonIs("[0, 0, 0]"));
    EXPECT_THAT(p["held"], JsonIs("false"));
    ASSERT_EQ(p["points"].size(), c.count);
    EXPECT_EQ(p["points"][static_cast<Json::ArrayIndex>(c.count - 1)].size(), static_cast<unsigned>(N));
  }
}

TEST_F(RobotOpsTest, CalibrationTakesTheTypesAndPointCountsTheControllerKnows) {
  calibrationMatrix<OstraMaxRobot, 7>(robot(), command());
}

TEST_F(RobotSimTest, CalibrationOnAFourAxisArm) {
  sim().setInfo(arm(4, "industrial"));
  Sorn4Robot robot(address());
  command().log().clear();
  calibrationMatrix<Sorn4Robot, 4>(robot, command());
}

TEST_F(RobotOpsTest, ValuesThatCannotBeSentAreRefusedWithNothingSent) {
  std::array<double[2], 7> limits{};
  limits[3][1] = kInf;
  auto points = somePoints<7>(3);
  points[2][6] = kNaN;
  Toolset toolset = sampleToolset();
  toolset.load.inertia[2] = kNaN;
  OstraMaxRobot& r = robot();
  const std::function<void(std::error_code&)> calls[] = {
      [&](auto& ec) {
        r.setBaseFrame(Frame({{0, kNaN, 0}}, {{0, 0, 0}}), ec);
      },
      [&](auto& ec) {
        r.setBaseFrame(Frame({{0, 0, 0}}, {{0, 0, -kInf}}), ec);
      },
      [&](auto& ec) { r.setToolset(toolset, ec); },
      [&](auto& ec) { r.setSoftLimit(true, ec, limits); },
      [&](auto& ec) { r.calibrateFrame(FrameType::tool, points, true, ec); },
      [&](auto& ec) {
        r.calibrateFrame(FrameType::wobj, somePoints<7>(3), true, ec, {0, kInf, 0});
      },
  };
  for (std::size_t i = 0; i < std::size(calls); ++i) {
    SCOPED_TRACE(i);
    std::error_code ec;
    calls[i](ec);
    EXPECT_EQ(ec.value(), 259);
  }
  EXPECT_EQ(command().log().size(), 0u);
}

}  // namespace
}  // namespace velmora
