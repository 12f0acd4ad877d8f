#include "motion_control/motion_encoding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "support/json_match.h"

using namespace velmora;
using namespace velmora::internal;
using namespace std::chrono_literals;

namespace {

const CartesianPosition kTarget{0.1, 0.2, 0.3, 3.0, 0.0, 1.5};
const CartesianPosition kAux{0.4, 0.5, 0.6, 3.1, 0.1, 1.6};
const char* const kTargetJson = R"("elb":0.0,"rot":[3.0,0.0,1.5],"trans":[0.1,0.2,0.3])";
const char* const kAuxJson = R"("elb":0.0,"rot":[3.1,0.1,1.6],"trans":[0.4,0.5,0.6])";

CartesianPosition::Offset offset(CartesianPosition::Offset::Type type) {
  CartesianPosition::Offset o;
  o.type = type;
  o.frame = Frame({0.01, 0.02, 0.03}, {0.0, 0.0, 0.5});
  return o;
}

template <typename T>
std::function<Json::Value()> body(std::vector<T> commands) {
  return [commands] { return requestBody(commands); };
}

struct Golden {
  const char* name;
  std::function<Json::Value()> build;
  std::string expected;
};

}  // namespace

// Each command type and each rule of the body, as the controller receives it.
TEST(MotionEncoding, GoldenBodies) {
  JointPosition joints({1, 2, 3, 4, 5, 6});
  joints.external = {7};
  MoveAbsJCommand absj(joints, 500, 0);
  absj.jointSpeed = 0.0;

  CartesianPosition withConf = kTarget;
  withConf.confData = {1, -1, 0};
  withConf.external = {0.25};
  withConf.elbow = 0.5;
  MoveJCommand moveJ(withConf, -1, -1);
  moveJ.targetOffset = offset(CartesianPosition::Offset::Type::offs);
  moveJ.jointSpeed = -0.5;
  moveJ.customInfo = "pick";

  MoveLCommand moveL(kTarget, 500, 250);
  moveL.rotSpeed = 30;
  moveL.targetOffset = offset(CartesianPosition::Offset::Type::relTool);

  MoveLCommand bare(kTarget, -1, -1);

  MoveCCommand moveC(kTarget, kAux, 100, 10);
  moveC.auxOffset = offset(CartesianPosition::Offset::Type::offs);

  auto circle = [](MoveCFCommand::RotType type) {
    MoveCFCommand cf(kTarget, kAux, 360, 100, 10);
    cf.rotType = type;
    return cf;
  };

  MoveSPCommand spiral(kTarget, 0.05, 0.01, 720, true, 200);
  spiral.rotSpeed = 1.5;

  const Golden table[] = {
      {"absj joints then externals", body(std::vector{absj}),
       R"({"point":[1.0,2.0,3.0,4.0,5.0,6.0,7.0],"traj":{"jnt_speed":0.0,"speed":0.5,"zone":0.0}})"},
      {"movej offs, conf, negative joint speed: traj null", body(std::vector{moveJ}),
       R"({"custom":"pick","point":{"conf":[1.0,-1.0,0.0,0.0,0.0,0.0,0.0,0.0],"elb":0.5,"external":[0.25],)"
       R"("offset":{"rot":[0.0,0.0,0.5],"trans":[0.01,0.02,0.03],"type":"offs"},"rot":[3.0,0.0,1.5],)"
       R"("trans":[0.1,0.2,0.3]},"traj":null})"},
      {"movel reltool", body(std::vector{moveL}),
       R"({"point":{"elb":0.0,"offset":{"rot":[0.0,0.0,0.5],"trans":[0.01,0.02,0.03],"type":"reltool"},)"
       R"("rot":[3.0,0.0,1.5],"trans":[0.1,0.2,0.3]},"traj":{"rot_speed":30.0,"speed":0.5,"zone":0.25}})"},
      {"all speeds -1: no traj", body(std::vector{bare}), std::string(R"({"point":{)") + kTargetJson + "}}"},
      {"movec aux offset of its own", body(std::vector{moveC}),
       std::string(R"({"aux":{"elb":0.0,"offset":{"rot":[0.0,0.0,0.5],"trans":[0.01,0.02,0.03],"type":"offs"},)") +
           R"("rot":[3.1,0.1,1.6],"trans":[0.4,0.5,0.6]},"point":{)" + kTargetJson +
           R"(},"traj":{"speed":0.1,"zone":0.01}})"},
      {"movecf rot_axis", body(std::vector{circle(MoveCFCommand::RotType::rotAxis)}),
       std::string(R"({"aux":{)") + kAuxJson + R"(},"circle":{"angle":360.0,"rot_type":"rot_axis"},"point":{)" +
           kTargetJson + R"(},"traj":{"speed":0.1,"zone":0.01}})"},
      {"movesp", body(std::vector{spiral}),
       std::string(R"({"point":{)") + kTargetJson +
           R"(},"spiral":{"angle":720.0,"dir":true,"radius":0.05,"step":0.01},)"
           R"("traj":{"rot_speed":1.5,"speed":0.2,"zone":0.0}})"},
      {"wait 1.5 s", [] { return requestBody(std::vector{MoveWaitCommand(1500ms)}); }, R"({"time":1.5})"},
      {"wait 1.5 ms", [] { return requestBody(std::vector{MoveWaitCommand(1500us)}); }, R"({"time":0.001})"},
      {"wait under 1 ms", [] { return requestBody(std::vector{MoveWaitCommand(999us)}); }, R"({"time":0.0})"},
      {"two commands: path in list order", body(std::vector{bare, moveL}),
       std::string(R"({"path":[{"point":{)") + kTargetJson + R"(}},)" +
           R"({"point":{"elb":0.0,"offset":{"rot":[0.0,0.0,0.5],"trans":[0.01,0.02,0.03],"type":"reltool"},)"
           R"("rot":[3.0,0.0,1.5],"trans":[0.1,0.2,0.3]},"traj":{"rot_speed":30.0,"speed":0.5,"zone":0.25}}]})"},
  };
  for (const auto& row : table) {
    EXPECT_THAT(row.build(), JsonIs(row.expected)) << row.name;
  }
}

TEST(MotionEncoding, RotTypeNames) {
  const std::pair<int, const char*> table[] = {
      {0, "const_pose"}, {1, "rot_axis"}, {2, "fixed_axis"}, {7, "const_pose"}};
  for (const auto& [value, name] : table) {
    EXPECT_STREQ(rotTypeName(static_cast<MoveCFCommand::RotType>(value)), name) << value;
  }
}

TEST(MotionEncoding, OffsetOfUnknownTypeIsNotSent) {
  CartesianPosition::Offset odd = offset(CartesianPosition::Offset::Type::none);
  EXPECT_FALSE(cartesianWithOffsetToJson(kTarget, odd).isMember("offset"));
  odd.type = static_cast<CartesianPosition::Offset::Type>(5);
  EXPECT_FALSE(cartesianWithOffsetToJson(kTarget, odd).isMember("offset"));
}

// What may not leave: lists of the wrong length, numbers JSON cannot carry, poses that exist
// only as a matrix (they would go out as the zero pose).
TEST(MotionEncoding, CheckRefusals) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  const CartesianPosition matrix{1, 0, 0, 0.1, 0, 1, 0, 0.2, 0, 0, 1, 0.3, 0, 0, 0, 1};
  auto movel = [](auto&& edit) {
    MoveLCommand m(kTarget, 100, 10);
    edit(m);
    return std::vector{m};
  };
  auto movec = [](auto&& edit) {
    MoveCFCommand m(kTarget, kAux, 90, 100, 10);
    edit(m);
    return std::vector{m};
  };
  auto spiral = [](auto&& edit) {
    MoveSPCommand m(kTarget, 0.1, 0.01, 90, false, 100);
    edit(m);
    return std::vector{m};
  };
  JointPosition joints({0, 0, nan, 0, 0, 0});
  struct Row {
    const char* name;
    std::error_code ec;
    int expected;
  };
  const Row table[] = {
      {"empty", checkCommands(std::vector<MoveLCommand>{}), 259},
      {"101 commands", checkCommands(std::vector<MoveLCommand>(101, MoveLCommand(kTarget, 1, 1))), 259},
      {"100 commands", checkCommands(std::vector<MoveLCommand>(100, MoveLCommand(kTarget, 1, 1))), 0},
      {"negative finite speed passes", checkCommands(movel([](auto& m) { m.speed = -5; })), 0},
      {"zero pose from six values passes", checkCommands(movel([](auto& m) { m.target = CartesianPosition(); })), 0},
      {"nan target", checkCommands(movel([&](auto& m) { m.target.trans[1] = nan; })), 259},
      {"inf elbow", checkCommands(movel([&](auto& m) { m.target.elbow = inf; })), 259},
      {"nan external", checkCommands(movel([&](auto& m) {
         m.target.external = {1, nan};
       })),
       259},
      {"nan speed", checkCommands(movel([&](auto& m) { m.speed = nan; })), 259},
      {"inf zone", checkCommands(movel([&](auto& m) { m.zone = -inf; })), 259},
      {"nan rotation speed", checkCommands(movel([&](auto& m) { m.rotSpeed = nan; })), 259},
      {"nan offset", checkCommands(movel([&](auto& m) { m.targetOffset.frame.rpy[0] = nan; })), 259},
      {"nan joint", checkCommands(std::vector{MoveAbsJCommand(joints, 1, 1)}), 259},
      {"nan joint speed", checkCommands(std::vector{[&] {
         MoveAbsJCommand m(JointPosition({0, 0}), 1, 1);
         m.jointSpeed = nan;
         return m;
       }()}),
       259},
      {"nan angle", checkCommands(movec([&](auto& m) { m.angle = nan; })), 259},
      {"nan aux", checkCommands(movec([&](auto& m) { m.aux.rpy[2] = nan; })), 259},
      {"nan radius", checkCommands(spiral([&](auto& m) { m.radius = nan; })), 259},
      {"inf radius step", checkCommands(spiral([&](auto& m) { m.radiusStep = inf; })), 259},
      {"matrix target", checkCommands(movel([&](auto& m) { m.target = matrix; })), 260},
      {"matrix aux", checkCommands(movec([&](auto& m) { m.aux = matrix; })), 260},
      {"matrix offset sent", checkCommands(movel([&](auto& m) {
         m.targetOffset = {CartesianPosition::Offset::Type::offs, matrix};
       })),
       260},
      {"matrix offset of type none is not sent", checkCommands(movel([&](auto& m) {
         m.targetOffset = {CartesianPosition::Offset::Type::none, matrix};
       })),
       0},
      {"second command decides", checkCommands(std::vector{MoveLCommand(kTarget, 1, 1), MoveLCommand(matrix, 1, 1)}),
       260},
  };
  for (const auto& row : table) EXPECT_EQ(row.ec.value(), row.expected) << row.name;
}
