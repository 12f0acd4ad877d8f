// Robot handles of the flat C interface against the simulator: every arm class in every
// constructor form, what a refused or failed creation leaves, calls from several threads, and
// what destruction closes. The managed tests cover the same exports under Mono; these run in
// the sanitizer builds too.
#include "native/robot_handle.h"

#include <velmora/error.h>
#include <velmora/exception.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "managed/abi_test_support.h"
#include "native/abi_codec.h"
#include "robot_impl/robot_fixture.h"

namespace velmora::internal {
namespace {

using namespace std::chrono_literals;

velmora_sim::ControllerInfo arm(int joints, const char* workType) {
  velmora_sim::ControllerInfo info;
  info.jointCount = joints;
  info.workType = workType;
  info.type = workType + std::string("-") + std::to_string(joints);
  return info;
}

template <class Robot, unsigned short N>
bool holds(const vel_robot& handle) {
  return std::holds_alternative<Robot*>(handle.object) && dynamic_cast<Model_T<N>*>(handle.model.get()) != nullptr;
}

class RobotExportsTest : public RobotTest {
 protected:
  vel_robot* create(std::int32_t kind, std::int32_t form) {
    vel_robot* robot = nullptr;
    std::int64_t id = 0;
    const std::string a = address();
    EXPECT_EQ(vel_robot_create(kind, form, a.c_str(), a.c_str(), &robot, &id), VEL_OK) << takeLastException();
    EXPECT_GT(id, lastId_);
    lastId_ = id;
    return robot;
  }

  std::int64_t lastId_ = 0;
};

TEST_F(RobotExportsTest, EveryArmClassIsBuiltWithItsModelInEveryConstructorForm) {
  struct Case {
    std::int32_t kind;
    velmora_sim::ControllerInfo info;
    bool (*isRightClass)(const vel_robot&);
    bool takesLocal;
  };
  const Case cases[] = {
      {VEL_ROBOT_SORN3, arm(3, "industrial"), holds<Sorn3Robot, 3>, false},
      {VEL_ROBOT_SORN4, arm(4, "industrial"), holds<Sorn4Robot, 4>, false},
      {VEL_ROBOT_STANDARD, arm(6, "industrial"), holds<StandardRobot, 6>, true},
      {VEL_ROBOT_OSTRA_LITE, arm(5, "cobot"), holds<OstraLiteRobot, 5>, true},
      {VEL_ROBOT_OSTRA, arm(6, "cobot"), holds<OstraRobot, 6>, true},
      {VEL_ROBOT_OSTRA_MAX, arm(7, "cobot"), holds<OstraMaxRobot, 7>, true},
      {VEL_ROBOT_LYN, arm(7, "cobot"), holds<LynRobot, 7>, true},
  };
  const std::int64_t live = liveHandles();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.info.type);
    sim().setInfo(c.info);
    for (const std::int32_t form : {VEL_CONSTRUCT_UNCONNECTED, VEL_CONSTRUCT_REMOTE, VEL_CONSTRUCT_REMOTE_LOCAL}) {
      SCOPED_TRACE(form);
      command().log().clear();
      if (form == VEL_CONSTRUCT_REMOTE_LOCAL && !c.takesLocal) {
        vel_robot* robot = nullptr;
        std::int64_t id = 0;
        EXPECT_EQ(vel_robot_create(c.kind, form, "1.2.3.4", "", &robot, &id), VEL_STD_EXCEPTION);
        EXPECT_EQ(takeLastException(), "this robot class takes no local address");
        EXPECT_EQ(robot, nullptr);
        continue;
      }
      vel_robot* robot = create(c.kind, form);
      ASSERT_NE(robot, nullptr);
      EXPECT_EQ(liveHandles(), live + 1);
      EXPECT_EQ(robot->kind, c.kind);
      EXPECT_TRUE(c.isRightClass(*robot));
      EXPECT_EQ(command().log().count("sys.info"), form == VEL_CONSTRUCT_UNCONNECTED ? 0u : 1u);
      EXPECT_EQ(command().log().count("eci.ip"), form == VEL_CONSTRUCT_REMOTE_LOCAL ? 1u : 0u);
      if (form == VEL_CONSTRUCT_UNCONNECTED) {
        ASSERT_EQ(vel_robot_connect(robot, address().c_str(), ""), VEL_OK) << takeLastException();
      }

      vel_buf* info = nullptr;
      vel_err ec{-1, -1};
      ASSERT_EQ(vel_robot_info(robot, &info, &ec), VEL_OK);
      EXPECT_EQ(ec.value, 0);
      BlobReader r(reinterpret_cast<const std::uint8_t*>(info->bytes.data()),
                   static_cast<std::int64_t>(info->bytes.size()));
      EXPECT_EQ(r.text(), "VELSIM0000000001");
      r.text();
      r.text();
      EXPECT_EQ(r.text(), c.info.type);
      EXPECT_EQ(r.i32(), c.info.jointCount);
      EXPECT_EQ(vel_buf_free(info), VEL_OK);
      EXPECT_EQ(vel_robot_destroy(robot), VEL_OK);
      EXPECT_EQ(liveHandles(), live);
    }
  }
}

TEST_F(RobotExportsTest, RefusedOrFailedCreationLeavesNothing) {
  struct Case {
    std::int32_t kind;
    std::int32_t form;
    std::string text;
  };
  sim().setInfo(arm(6, "industrial"));
  std::string mismatch;
  {
    // The robot takes the language from the environment when it is built; the expected text
    // is made under the same language.
    vel_robot* robot = create(VEL_ROBOT_STANDARD, VEL_CONSTRUCT_UNCONNECTED);
    mismatch = ExecutionException(std::string(messageText(13)) + "industrial-6").what();
    EXPECT_EQ(vel_robot_destroy(robot), VEL_OK);
  }
  const Case cases[] = {
      {7, VEL_CONSTRUCT_REMOTE, "unknown robot kind 7"},  {-1, VEL_CONSTRUCT_REMOTE, "unknown robot kind -1"},
      {VEL_ROBOT_OSTRA, 3, "unknown constructor form 3"}, {VEL_ROBOT_OSTRA, VEL_CONSTRUCT_REMOTE, mismatch},
      {VEL_ROBOT_SORN3, VEL_CONSTRUCT_REMOTE, mismatch},
  };
  const std::int64_t live = liveHandles();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    vel_robot* robot = nullptr;
    std::int64_t id = 0;
    EXPECT_EQ(vel_robot_create(c.kind, c.form, address().c_str(), "", &robot, &id), VEL_STD_EXCEPTION);
    EXPECT_EQ(takeLastException(), c.text);
    EXPECT_EQ(robot, nullptr);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(liveHandles(), live);
  }
  // Nothing of the failed robots stays connected.
  EXPECT_TRUE(command().waitForOpenConnections(0, 5s));
}

TEST_F(RobotExportsTest, NullArgumentsAreRefused) {
  vel_err ec{};
  std::int32_t state = 0;
  EXPECT_EQ(vel_robot_power_state(nullptr, &state, &ec), VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "null argument: robot");
  EXPECT_EQ(vel_robot_destroy(nullptr), VEL_OK);
  EXPECT_EQ(vel_robot_create(VEL_ROBOT_OSTRA, VEL_CONSTRUCT_UNCONNECTED, nullptr, nullptr, nullptr, nullptr),
            VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "null argument: robot");

  vel_robot* robot = create(VEL_ROBOT_OSTRA_MAX, VEL_CONSTRUCT_REMOTE);
  EXPECT_EQ(vel_robot_power_state(robot, &state, nullptr), VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "null argument: ec");
  EXPECT_EQ(vel_robot_posture(robot, 1, nullptr, &ec), VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "null argument: pose");
  vel_buf* logs = nullptr;
  EXPECT_EQ(vel_robot_query_controller_log(robot, 1, nullptr, 2, 0, &logs, &ec), VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "bad level list");
  EXPECT_EQ(vel_robot_query_controller_log(robot, 1, nullptr, -1, 0, &logs, &ec), VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "bad level list");
  EXPECT_EQ(logs, nullptr);
  EXPECT_EQ(command().log().count("user_log.query"), 0u);
  EXPECT_EQ(vel_robot_destroy(robot), VEL_OK);
}

TEST_F(RobotExportsTest, ResultsAndCodesCrossTogether) {
  vel_robot* robot = create(VEL_ROBOT_OSTRA_MAX, VEL_CONSTRUCT_REMOTE_LOCAL);
  command().script(velmora_sim::Form::get, "sys.posture", velmora_sim::Behaviour::reply(Json::Value::null).times(1));
  double pose[6] = {9, 9, 9, 9, 9, 9};
  vel_err ec{-1, -1};
  ASSERT_EQ(vel_robot_posture(robot, static_cast<std::int32_t>(CoordinateType::endInRef), pose, &ec), VEL_OK);
  EXPECT_EQ(ec.value, 257);
  EXPECT_EQ(ec.category, VEL_CATEGORY_SDK);
  for (double v : pose) EXPECT_EQ(v, 0.0);

  sim().system().setLog({{-3, "t1", "急停", "复位", "error"}, {1, "t2", "info", "", "info"}});
  const std::int32_t levels[] = {2, 2, 0};
  vel_buf* logs = nullptr;
  ASSERT_EQ(vel_robot_query_controller_log(robot, 5, levels, 3, 0, &logs, &ec), VEL_OK);
  EXPECT_EQ(ec.value, 0);
  BlobReader r(reinterpret_cast<const std::uint8_t*>(logs->bytes.data()),
               static_cast<std::int64_t>(logs->bytes.size()));
  ASSERT_EQ(r.count(1), 2u);
  EXPECT_EQ(r.i32(), 1);
  r.text();
  r.text();
  r.text();
  EXPECT_EQ(r.i32(), -3);
  EXPECT_EQ(r.text(), "t1");
  EXPECT_EQ(r.text(), "急停");
  EXPECT_EQ(r.text(), "复位");
  r.finish();
  EXPECT_EQ(vel_buf_free(logs), VEL_OK);
  const auto queries = command().log().withKey("user_log.query");
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries.back().payload["filter"]["level"].size(), 2u);
  EXPECT_EQ(vel_robot_destroy(robot), VEL_OK);
}

TEST_F(RobotExportsTest, CallsFromSeveralThreadsShareOneHandle) {
  vel_robot* robot = create(VEL_ROBOT_OSTRA_MAX, VEL_CONSTRUCT_REMOTE);
  std::atomic<int> failures{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        std::int32_t state = -2;
        vel_err ec{-1, -1};
        if (vel_robot_power_state(robot, &state, &ec) != VEL_OK || ec.value != 0 ||
            state != static_cast<std::int32_t>(PowerState::off)) {
          ++failures;
        }
      }
    });
  }
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(command().log().count("sys.power"), 100u);
  EXPECT_EQ(vel_robot_destroy(robot), VEL_OK);
}

TEST_F(RobotExportsTest, DestroyingTheRobotAlsoClosesTheLinkItsModelShared) {
  vel_robot* robot = create(VEL_ROBOT_OSTRA_MAX, VEL_CONSTRUCT_REMOTE);
  ASSERT_TRUE(command().waitForOpenConnections(1, 5s));
  EXPECT_EQ(vel_robot_destroy(robot), VEL_OK);
  EXPECT_TRUE(command().waitForOpenConnections(0, 5s));
}

}  // namespace
}  // namespace velmora::internal
