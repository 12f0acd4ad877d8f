#include <velmora/enums.h>
#include <velmora/error.h>
#include <velmora/types.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/formatters.h"

using namespace velmora;
using Offset = CartesianPosition::Offset;

namespace {

CartesianPosition samplePose() {
  CartesianPosition p{1, 2, 3, 0, 0.5, 0};
  p.confData = {1, 0};
  return p;
}

template <typename T>
std::string text(const T& value) {
  return fmt::format("{}", value);
}

// Every formatter of the library over one value, with format options.
template <typename T>
std::string withFormat(const std::string& options, const T& value) {
  return fmt::format(fmt::runtime("{" + options + "}"), value);
}

}  // namespace

TEST(Formatters, ValueTexts) {
  CartesianPosition noConf = samplePose();
  noConf.confData.clear();
  noConf.elbow = 9;
  noConf.external = {4};
  noConf.pos[0] = 1;
  Toolset toolset;
  toolset.end = Frame({0, 0, 0.1}, {3.14, 0, 0});
  toolset.load = Load(1.25, {0, 0, 0.05}, {7, 7, 7});

  const std::pair<std::string, const char*> rows[] = {
      {text(samplePose()), "trans:[1, 2, 3], rpy:[0, 0.5, 0], conf:[1, 0]"},
      {text(noConf), "trans:[1, 2, 3], rpy:[0, 0.5, 0]"},
      {text(Frame({1e-7, -0.1, 1e21}, {0.25, 0.30000000000000004, -2})),
       "trans:[1e-07, -0.1, 1e+21], rpy:[0.25, 0.30000000000000004, -2]"},
      {text(toolset.load), "m:1.25, cog:[0, 0, 0.05]"},
      {text(toolset),
       "end:trans:[0, 0, 0.1], rpy:[3.14, 0, 0], ref:trans:[0, 0, 0], rpy:[0, 0, 0], "
       "load:m:1.25, cog:[0, 0, 0.05]"},
      {fmt::format("a{}b", Offset{}), "ab"},
      {text(Offset{Offset::Type::offs, Frame({1, 0, 0}, {0, 0, 0})}), "offset:offs trans:[1, 0, 0], rpy:[0, 0, 0]"},
      {text(Offset{Offset::Type::relTool, Frame()}), "offset:relTool trans:[0, 0, 0], rpy:[0, 0, 0]"},
      {text(Offset{static_cast<Offset::Type>(7), Frame()}), "offset: trans:[0, 0, 0], rpy:[0, 0, 0]"},
      {text(std::error_code()), "0"},
      {text(internal::makeErrorCode(-3)), "-3"},
      {text(internal::makeErrorCode(256)), "256"},
      {text(std::error_code(5, std::generic_category())), "5"},
      {text(std::vector<double>{1.0, 0.25}), "[1, 0.25]"},
  };
  for (const auto& [got, expected] : rows) EXPECT_EQ(got, expected);
}

TEST(Formatters, EnumNamesAndFallbacks) {
  // The names that differ from the enumerators, and every fallback.
  const std::pair<std::string, const char*> rows[] = {
      {text(AvoidSingularityMethod::jointWay), "jointWay"},
      {text(static_cast<AvoidSingularityMethod>(3)), "invalid"},
      {text(MotionControlMode::NrtRLTask), "NrtRLTask"},
      {text(static_cast<MotionControlMode>(7)), "Idle"},
      {text(static_cast<MotionControlMode>(-1)), "Idle"},
      {text(OperateMode::automatic), "auto"},
      {text(OperateMode::unknown), "unknown"},
      {text(static_cast<OperateMode>(2)), "unknown"},
      {text(DragParameter::Space::cartesianSpace), "cartesianSpace"},
      {text(static_cast<DragParameter::Space>(2)), "invalid"},
      {text(DragParameter::Type::freely), "freely"},
      {text(static_cast<DragParameter::Type>(-5)), "invalid"},
      {text(JogOpt::Space::singularityAvoidMode), "singularityAvoid"},
      {text(JogOpt::Space::baseParallelMode), "baseParallel"},
      {text(static_cast<JogOpt::Space>(8)), "invalid"},
      {text(StopLevel::suppleStop), "suppleStop"},
      {text(static_cast<StopLevel>(4)), "invalid"},
      {text(FlangeboxOpt::Vout::supply12v), "12v"},
      {text(FlangeboxOpt::Vout::supply24v), "24v"},
      {text(static_cast<FlangeboxOpt::Vout>(1000)), "invalid"},
  };
  for (const auto& [got, expected] : rows) EXPECT_EQ(got, expected);
}

TEST(Formatters, SpecificationsParseAsStrings) {
  const CartesianPosition pose = samplePose();
  // 's' and no type print the same text; any other presentation type is refused.
  const auto check = [](const auto& value) {
    EXPECT_EQ(withFormat(":s", value), withFormat("", value));
    try {
      (void)withFormat(":x", value);
      ADD_FAILURE() << "x accepted";
    } catch (const fmt::format_error& e) {
      EXPECT_STREQ(e.what(), "invalid type specifier");
    }
    EXPECT_NO_THROW((void)withFormat(":?", value));
  };
  check(pose), check(Frame()), check(Load()), check(Toolset()), check(std::error_code());
  check(Offset{Offset::Type::offs, Frame()}), check(AvoidSingularityMethod::wrist);
  check(MotionControlMode::NrtCommand), check(OperateMode::manual), check(JogOpt::Space::toolFrame);
  check(DragParameter::Space::jointSpace), check(DragParameter::Type::rotationOnly);
  check(StopLevel::stop1), check(FlangeboxOpt::Vout::supply24v);

  // Width applies to the three enums logged in aligned columns, and to nothing else.
  EXPECT_EQ(withFormat(":>8", OperateMode::manual), "  manual");
  EXPECT_EQ(withFormat(":*<7", AvoidSingularityMethod::wrist), "wrist**");
  EXPECT_EQ(withFormat(":^9", JogOpt::Space::world), "  world  ");
  EXPECT_EQ(withFormat(":>8", StopLevel::stop0), "stop0");
  EXPECT_EQ(withFormat(":>8", FlangeboxOpt::Vout::off), "off");
  EXPECT_EQ(withFormat(":>30", Frame()), "trans:[0, 0, 0], rpy:[0, 0, 0]");
  EXPECT_EQ(withFormat(":>5", internal::makeErrorCode(-3)), "-3");
}
