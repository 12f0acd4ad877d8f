// The robot implementation's requests go over its own command link.

#include "robot_fixture.h"
#include "velmora_sim/robot_config.h"
#include "velmora_sim/simulator.h"

namespace {

TEST_F(RobotTest, SharedRequestsUseTheRobotLink) {
  sim().robotConfig().setFlangeBoxType(4);
  auto impl = connected();
  EXPECT_FALSE(impl->flangeBoxTypeKnown);
  EXPECT_EQ(impl->GetFlangeBoxType(), 4);
  EXPECT_TRUE(impl->flangeBoxTypeKnown);
  EXPECT_EQ(impl->flangeBoxType, 4);

  std::error_code ec;
  impl->setWorkToolInfo(velmora::WorkToolInfo("g_wobj_2", false, {}, {}), "wobj", ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_FALSE(sim().robotConfig().globalRecord("wobj", 2).isNull());
  const auto wobjs = impl->workToolsInfo("wobj", ec);
  EXPECT_FALSE(ec) << ec.value();
  ASSERT_EQ(wobjs.size(), 1u);
  EXPECT_EQ(wobjs[0].name, "wobj0");

  Json::Value rail;
  impl->queryRailParameter(rail, ec);
  EXPECT_FALSE(ec) << ec.value();
  EXPECT_TRUE(rail.isObject());
  EXPECT_EQ(impl->setOperateMode(velmora::OperateMode::automatic, ec), 0);
  EXPECT_EQ(sim().system().operateMode(), "auto");
}

}  // namespace
