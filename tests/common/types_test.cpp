#include <velmora/commands.h>
#include <velmora/exception.h>
#include <velmora/types.h>

#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/value_checks.h"
#include "support/lang_guard.h"

using namespace velmora;
using Triple = std::array<double, 3>;

TEST(CartesianPosition, SixOrSixteenValuesFillOneFormOnly) {
  const CartesianPosition six{1, 2, 3, 4, 5, 6};
  EXPECT_EQ(six.trans, (Triple{1, 2, 3}));
  EXPECT_EQ(six.rpy, (Triple{4, 5, 6}));
  EXPECT_EQ(six.pos, (std::array<double, 16>{}));
  const CartesianPosition matrix{1, 0, 0, 10, 0, 1, 0, 20, 0, 0, 1, 30, 0, 0, 0, 1};
  EXPECT_EQ(matrix.pos[11], 30);
  EXPECT_EQ(matrix.trans, Triple{});
  EXPECT_EQ(matrix.rpy, Triple{});
  const CartesianPosition empty{};  // the default constructor, not an empty list
  EXPECT_EQ(empty.trans, Triple{});
  EXPECT_TRUE(empty.confData.empty());
}

TEST(CartesianPosition, OtherCountsThrowMessage15InTheActiveLanguage) {
  using Build = CartesianPosition (*)();
  const Build builds[] = {
      [] { return CartesianPosition(std::initializer_list<double>{}); },
      [] {
        return CartesianPosition{1, 2, 3, 4, 5};
      },
      [] { return CartesianPosition{1, 2, 3, 4, 5, 6, 7}; },
      [] { return CartesianPosition{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}; },
  };
  for (int english : {0, 1}) {
    LangGuard lang(english);
    const std::string expected = english ? "invalidArguments: Invalid number of elements, should be 6 or 16"
                                         : "参数错误: 位姿初始化接收6或16个参数";
    for (std::size_t i = 0; i < std::size(builds); ++i) {
      try {
        builds[i]();
        ADD_FAILURE() << "row " << i << " accepted";
      } catch (const ArgumentException& e) {
        EXPECT_EQ(e.what(), expected) << i;
      }
    }
  }
}

TEST(CartesianPosition, MoveEmptiesTheSourceVectorsAndKeepsItsFrame) {
  CartesianPosition source{1, 2, 3, 4, 5, 6};
  source.elbow = 0.5;
  source.confData = {1, 0, 1};
  source.external = {7.5};
  const CartesianPosition moved(std::move(source));
  EXPECT_EQ(moved.confData, (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(moved.external, (std::vector<double>{7.5}));
  EXPECT_TRUE(source.confData.empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(source.external.empty());
  EXPECT_EQ(source.trans, (Triple{1, 2, 3}));
  EXPECT_EQ(source.elbow, 0.5);
}

TEST(Commands, DefaultsOfEveryKind) {
  const CartesianPosition target{1, 2, 3, 0, 0, 0};
  const MoveAbsJCommand absj(JointPosition({0, 0.5, 1}), 100, 5);
  const MoveJCommand j(target, 100, 5);
  const MoveLCommand l(target, 200, 10);
  const MoveCCommand c(target, target, 300, 0);
  const MoveCFCommand cf(target, target, 3.14, 50, 1);
  const MoveSPCommand sp(target, 10, 1, 6.28, true, 80);
  const MoveWaitCommand wait(std::chrono::milliseconds(250));
  const std::pair<const NrtCommand*, Triple> speedZone[] = {{&absj, {100, 5}}, {&j, {100, 5}}, {&l, {200, 10}},
                                                            {&c, {300, 0}},    {&cf, {50, 1}}, {&sp, {80, 0}},
                                                            {&wait, {-1, -1}}};
  for (const auto& [cmd, expected] : speedZone) {
    EXPECT_EQ(cmd->speed, expected[0]);
    EXPECT_EQ(cmd->zone, expected[1]);
    EXPECT_TRUE(cmd->customInfo.empty());
  }
  for (double unset : {absj.jointSpeed, j.jointSpeed, l.rotSpeed, c.rotSpeed, cf.rotSpeed, sp.rotSpeed}) {
    EXPECT_EQ(unset, -1.0);
  }
  for (const auto* offset : {&j.targetOffset, &l.targetOffset, &c.auxOffset, &sp.targetOffset}) {
    EXPECT_EQ(offset->type, CartesianPosition::Offset::Type::none);
    EXPECT_EQ(offset->frame.trans, Triple{});
  }
  EXPECT_EQ(cf.rotType, MoveCFCommand::RotType::constPose);
  EXPECT_TRUE(WorkToolInfo("t", true, Frame(), Load()).alias.empty());
  EXPECT_TRUE(RLProjectInfo("p").taskList.empty());
}

TEST(Commands, ListsCopyAndMoveWholeCommands) {
  MoveCFCommand cf(CartesianPosition{1, 2, 3, 0, 0, 0}, CartesianPosition{4, 5, 6, 0, 0, 0}, 1.5, 10, 0);
  cf.customInfo = "a custom text longer than any small-string buffer";
  const std::vector<MoveCFCommand> copy{cf, cf};
  EXPECT_EQ(copy[1].aux.trans, (Triple{4, 5, 6}));
  EXPECT_EQ(copy[1].angle, 1.5);
  const MoveCFCommand moved = std::move(cf);
  EXPECT_EQ(moved.customInfo, copy[0].customInfo);
  EXPECT_TRUE(cf.customInfo.empty());  // the base part was moved, not copied
}

TEST(ValueChecks, MatrixOnlyPoses) {
  CartesianPosition both{1, 2, 3, 0, 0, 0};
  both.pos[15] = 1;
  EXPECT_FALSE(internal::isMatrixOnly(CartesianPosition{}));
  EXPECT_FALSE(internal::isMatrixOnly(CartesianPosition{0, 0, 0, 0, 0, 0.1}));
  EXPECT_FALSE(internal::isMatrixOnly(both));
  EXPECT_TRUE(internal::isMatrixOnly(CartesianPosition{1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
}

TEST(ValueChecks, NonFiniteValuesAnywhereAreFound) {
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
    MoveLCommand l(CartesianPosition{1, 2, 3, 0, 0, 0}, 100, 0);
    EXPECT_TRUE(internal::allFinite(l));
    l.targetOffset.frame.rpy[2] = bad;
    EXPECT_FALSE(internal::allFinite(l));
    MoveCFCommand cf(CartesianPosition{}, CartesianPosition{}, bad, 10, 0);
    EXPECT_FALSE(internal::allFinite(std::vector<MoveCFCommand>{cf}));
    MoveSPCommand sp(CartesianPosition{}, 1, 1, 1, false, 10);
    sp.radiusStep = bad;
    EXPECT_FALSE(internal::allFinite(sp));
    MoveAbsJCommand absj(JointPosition({0, 0}), 10, 0);
    absj.target.external = {bad};
    EXPECT_FALSE(internal::allFinite(absj));
    Toolset toolset;
    toolset.ref.pos[7] = bad;
    EXPECT_FALSE(internal::allFinite(toolset));
    EXPECT_FALSE(internal::allFinite(MoveWaitCommand(std::chrono::seconds(1)), Load(bad, {}, {})));
  }
  EXPECT_TRUE(internal::allFinite(Toolset{}, 1.0, std::numeric_limits<double>::max()));
}
