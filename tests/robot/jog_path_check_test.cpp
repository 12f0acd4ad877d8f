// Path checks: the three request forms, the joint values of a success, and what failed,
// malformed or refused checks give.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "robot/motion_robot_fixture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;
using Rot = MoveCFCommand::RotType;

const CartesianPosition kStart{0.4, 0.0, 0.5, 3.14, 0.0, 0.0};
const CartesianPosition kAux{0.45, 0.05, 0.5, 3.14, 0.0, 0.0};
const CartesianPosition kTarget{0.5, 0.1, 0.5, 3.14, 0.0, 0.0};
const std::vector<double> kJoints{0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6};

const char* const kStartJson =
    R"({"trans": [0.4, 0.0, 0.5], "rot": [3.14, 0.0, 0.0], "elb": 0.0,
        "near": [0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6]})";
const char* const kAuxJson = R"({"trans": [0.45, 0.05, 0.5], "rot": [3.14, 0.0, 0.0], "elb": 0.0})";
const char* const kTargetJson = R"({"trans": [0.5, 0.1, 0.5], "rot": [3.14, 0.0, 0.0], "elb": 0.0})";

std::string with(const std::string& text, const std::string& from, const std::string& to) {
  std::string out = text;
  for (auto at = out.find(from); at != std::string::npos; at = out.find(from, at + to.size())) {
    out.replace(at, from.size(), to);
  }
  return out;
}

TEST_F(MotionRobotTest, PathChecksSendTheirPointsAndReturnTheJoints) {
  std::error_code ec;
  const struct {
    const char* name;
    std::function<std::vector<double>(std::error_code&)> call;
    std::string payload;
  } cases[] = {
      {"line", [&](auto& e) { return robot().checkPath(kStart, kJoints, kTarget, e); },
       "{\"point0\": S, \"point1\": T}"},
      {"arc", [&](auto& e) { return robot().checkPath(kStart, kJoints, kAux, kTarget, e); },
       "{\"point0\": S, \"point1\": A, \"point2\": T}"},
      {"full circle keeping the pose",
       [&](auto& e) { return robot().checkPath(kStart, kJoints, kAux, kTarget, e, 90.0, Rot::constPose); },
       R"({"point0": S, "point1": A, "point2": T, "circle": {"angle": 90.0, "rot_type": "const_pose"}})"},
      {"full circle about the axis",
       [&](auto& e) { return robot().checkPath(kStart, kJoints, kAux, kTarget, e, -45.0, Rot::rotAxis); },
       R"({"point0": S, "point1": A, "point2": T, "circle": {"angle": -45.0, "rot_type": "rot_axis"}})"},
      {"full circle, fixed axis",
       [&](auto& e) { return robot().checkPath(kStart, kJoints, kAux, kTarget, e, 1.0, Rot::fixedAxis); },
       R"({"point0": S, "point1": A, "point2": T, "circle": {"angle": 1.0, "rot_type": "fixed_axis"}})"},
      {"unknown rule keeps the pose",
       [&](auto& e) { return robot().checkPath(kStart, kJoints, kAux, kTarget, e, 1.0, static_cast<Rot>(7)); },
       R"({"point0": S, "point1": A, "point2": T, "circle": {"angle": 1.0, "rot_type": "const_pose"}})"},
      {"multi-point",
       [&](auto& e) {
         std::vector<double> out{9};
         EXPECT_EQ(robot().checkPath(kJoints, {kStart, kAux, kTarget}, out, e), 0);
         return out;
       },
       R"({"point0": S, "path": [{"point1": A}, {"point1": T}]})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    // The simulator answers with the start joints as the joints it computed.
    EXPECT_EQ(c.call(ec), kJoints);
    EXPECT_FALSE(ec) << ec.value();
    const auto sent = requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].key, "move.path.check");
    EXPECT_THAT(sent[0].payload, JsonIs(with(with(with(c.payload, "S", kStartJson), "A", kAuxJson), "T", kTargetJson)));
  }
  command().script(Form::command, "move.path.check",
                   Behaviour::reply(parseJson(R"({"error": 0, "data": [1, 2.5, 3]})")).times(1));
  EXPECT_EQ(robot().checkPath(kStart, kJoints, kTarget, ec), (std::vector<double>{1, 2.5, 3}));
  EXPECT_FALSE(ec);
}

TEST_F(MotionRobotTest, FailedOrMalformedChecksGiveZerosAndACode) {
  const std::vector<double> zeros(kJoints.size(), 0.0);
  const struct {
    const char* reply;
    int code;
  } cases[] = {
      {R"({"error": -50002, "data": {"msg": "m"}})", -50002},
      {"-3", -3},
      {"0", -260},  // success without joints
      {"null", -260},
      {R"("text")", -260},
      {"[1, 2]", -260},
      {R"({"error": 0, "data": "x"})", -260},
      {R"({"error": 0, "data": [1, "x"]})", -260},
      {R"({"error": "e", "data": [1]})", -260},
      {R"({"data": {"index": 2}})", -260},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    std::error_code ec;
    command().script(Form::command, "move.path.check", Behaviour::reply(parseJson(c.reply)).times(1));
    EXPECT_EQ(robot().checkPath(kStart, kJoints, kTarget, ec), zeros);
    EXPECT_EQ(ec.value(), c.code);
    command().script(Form::command, "move.path.check", Behaviour::reply(parseJson(c.reply)).times(1));
    EXPECT_EQ(robot().checkPath(kStart, kJoints, kAux, kTarget, ec, 90.0, Rot::rotAxis), zeros);
    EXPECT_EQ(ec.value(), c.code);
  }

  // Multi-point: the failing point counted from 1 when the controller names an integer index.
  const struct {
    const char* reply;
    int code;
    int result;
  } multi[] = {
      {R"({"error": -50002, "data": {"index": 1, "msg": "m"}})", -50002, 2},
      {R"({"error": -50002, "data": {"index": "1"}})", -50002, 0},
      {R"({"error": -50002, "data": {"index": 1.5}})", -50002, 0},
      {"-3", -3, 0},
      {R"({"error": 0, "data": {"index": 1}})", -260, 0},
  };
  for (const auto& c : multi) {
    SCOPED_TRACE(c.reply);
    std::error_code ec;
    std::vector<double> out{7, 7};
    command().script(Form::command, "move.path.check", Behaviour::reply(parseJson(c.reply)).times(1));
    EXPECT_EQ(robot().checkPath(kJoints, {kStart, kAux, kTarget}, out, ec), c.result);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(out, zeros);
  }

  std::error_code ec;
  robot().disconnectFromRobot(ec);
  std::string robotLog;
  for (const auto& entry : std::filesystem::recursive_directory_iterator("_velmora_log_")) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path());
    std::stringstream text;
    text << file.rdbuf();
    robotLog += text.str();
  }
  EXPECT_THAT(robotLog, ::testing::HasSubstr("checkPath (-50002m)"));
  EXPECT_FALSE(global_.contains("checkPath (")) << "robot log only";
}

TEST_F(MotionRobotTest, RefusedChecksSendNothing) {
  std::vector<double> out{7};
  std::error_code ec;
  EXPECT_EQ(robot().checkPath(kJoints, {kStart}, out, ec), 0);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(robot().checkPath(kJoints, {}, out, ec), 0);
  EXPECT_EQ(ec.value(), 259);
  CartesianPosition far = kTarget;
  far.trans[1] = kNaN;
  EXPECT_EQ(robot().checkPath(kJoints, {kStart, far}, out, ec), 0);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(out, std::vector<double>{7}) << "untouched";

  std::vector<double> nanJoints = kJoints;
  nanJoints[3] = kNaN;
  EXPECT_EQ(robot().checkPath(kStart, nanJoints, kTarget, ec), std::vector<double>(kJoints.size(), 0.0));
  EXPECT_EQ(ec.value(), 259);
  robot().checkPath(kStart, kJoints, kAux, kTarget, ec, kNaN, Rot::rotAxis);
  EXPECT_EQ(ec.value(), 259);
  CartesianPosition matrixOnly(
      {1, 0, 0, 0.4, 0, 1, 0, 0.1, 0, 0, 1, 0.5, 0, 0, 0, 1});  // a pose given only as a matrix
  robot().checkPath(matrixOnly, kJoints, kTarget, ec);
  EXPECT_EQ(ec.value(), 260);
  EXPECT_TRUE(requests().empty());

  // Longer than the arm's 7 joints and 6 external axes.
  const std::vector<double> tooMany(14, 0.1);
  CartesianPosition wide = kTarget;
  wide.external.assign(7, 0.2);
  EXPECT_EQ(robot().checkPath(kStart, tooMany, kTarget, ec), std::vector<double>(14, 0.0));
  EXPECT_EQ(ec.value(), 259);
  robot().checkPath(kStart, kJoints, wide, kTarget, ec, 90.0, Rot::rotAxis);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(robot().checkPath(kJoints, {kStart, kAux, wide}, out, ec), 0);
  EXPECT_EQ(ec.value(), 259);
  EXPECT_TRUE(requests().empty());
  // At the bound the check goes out.
  robot().checkPath(kStart, std::vector<double>(13, 0.1), kTarget, ec);
  EXPECT_EQ(requests().size(), 1u);
}

}  // namespace
}  // namespace velmora
