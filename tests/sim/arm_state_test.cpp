// The simulated arm as the controller's keys and the state stream read it: one arm behind the
// joint queries, the posture, the kinematics answers and the stream sample.
#include <gmock/gmock.h>

#include <json/value.h>

#include <string>
#include <vector>

#include "support/json_match.h"
#include "support/raw_client.h"
#include "support/sim_fixture.h"
#include "velmora_sim/arm_state.h"

namespace {

using namespace std::chrono_literals;
using velmora_sim::ArmState;
using Slot = velmora::sim::StateSample;

class ArmStateTest : public SimTest {
 protected:
  // The value the simulator answers a request of one key with.
  Json::Value ask(const std::string& form, const std::string& key, const std::string& value) {
    RawClient client(address(), 6666);
    EXPECT_TRUE(client.send(R"({")" + form + R"(":{")" + key + R"(":)" + value + R"(},"id":1})" + "\r"));
    const Json::Value reply = parseJson(client.readMessage(2s).value_or("null"));
    return reply.isObject() ? reply[form][key] : Json::Value();
  }
};

TEST_F(ArmStateTest, TheQueriesThePostureAndTheKinematicsReadOneArm) {
  sim().arm().setJointPositions({0.5, -0.25, 0.75, 3.0, 0.125, -1.5, 0.25});
  EXPECT_THAT(ask("g", "sys.rt.jnt_pos", "null"), JsonIs("[0.5, -0.25, 0.75, 3.0, 0.125, -1.5, 0.25]"));
  EXPECT_THAT(ask("g", "sys.rt.jnt_vel", "null"), JsonIs("[0, 0, 0, 0, 0, 0, 0]")) << "at rest";
  EXPECT_THAT(ask("g", "sys.rt.jnt_trq", "null"), JsonIs("[1.5, 3, 4.5, 6, 7.5, 9, 10.5]"));
  for (const char* key : {"sys.posture", "sys.posture.flan_in_base"}) {
    EXPECT_THAT(ask("g", key, "null"), JsonIs(R"({"trans": [0.5, -0.25, 0.75], "rot": [3.0, 0.125, -1.5]})")) << key;
  }
  EXPECT_THAT(ask("c", "sys.calc.fk", "[0.5, -0.25, 0.75, 3.0, 0.125, -1.5, 0.25]"),
              JsonIs(R"({"data": {"trans": [0.5, -0.25, 0.75], "rot": [3.0, 0.125, -1.5], "elb": 0.25,
                                  "conf": [0, 1, 0, 1, 0, 1, 0]}})"));

  // The posture moves the arm, the elbow stays.
  sim().system().setPosture({0.1, 0.2, 0.3, 0.0, 0.0, 1.0});
  EXPECT_THAT(ask("g", "sys.rt.jnt_pos", "null"), JsonIs("[0.1, 0.2, 0.3, 0.0, 0.0, 1.0, 0.25]"));

  // Another controller: its joints, its kinematics.
  velmora_sim::ControllerInfo info;
  info.jointCount = 6;
  sim().setInfo(info);
  sim().arm().setJointPositions({});
  EXPECT_THAT(ask("g", "sys.rt.jnt_pos", "null"),
              JsonIs("[0.1, 0.2, 0.30000000000000004, 0.4, 0.5, 0.6000000000000001]"));
  EXPECT_THAT(ask("c", "sys.calc.fk", "[1, 2, 3, 4, 5, 6, 7]"), JsonIs("-1"));
  info.jointCount = 9;
  sim().setInfo(info);
  EXPECT_THAT(ask("c", "sys.calc.ik", R"({"trans": [0, 0, 0], "rot": [0, 0, 0], "redundant": [0]})"), JsonIs("-1"));
}

TEST(ArmStateSample, CarriesTheArmWithTimeAndPose) {
  ArmState arm;
  arm.setJointPositions({0.5, 0.25, 0.75, 0.0, 0.0, 1.5707963267948966, 0.125});
  velmora::sim::StateSample sample;
  arm.sample(sample);
  EXPECT_GE(sample.ts, 1u) << "milliseconds counted from 1";
  EXPECT_EQ(sample.values[Slot::joints][6], 0.125);
  EXPECT_EQ(sample.values[Slot::jointVelocities][0], 0.0);
  EXPECT_EQ(sample.values[Slot::jointTorques][2], 4.5);
  EXPECT_EQ(sample.values[Slot::elbow][0], 0.125);
  EXPECT_EQ(sample.values[Slot::poseAbc][5], 1.5707963267948966);
  // A quarter turn about z, row-major, the translation in the last column.
  const auto& pose = sample.values[Slot::pose];
  EXPECT_NEAR(pose[0], 0.0, 1e-12);
  EXPECT_NEAR(pose[1], -1.0, 1e-12);
  EXPECT_NEAR(pose[4], 1.0, 1e-12);
  EXPECT_EQ(pose[3], 0.5);
  EXPECT_EQ(pose[7], 0.25);
  EXPECT_EQ(pose[11], 0.75);
  EXPECT_EQ(pose[15], 1.0);
}

TEST(ArmStateQueue, MovesNothingUntilEnabledAndHoldsABoundedQueue) {
  ArmState arm;
  const ArmState::Command wait{"move.wait", parseJson(R"({"time": 1})"), {}, {}, false, {}};
  EXPECT_TRUE(arm.enqueue({wait}));
  arm.run();
  EXPECT_FALSE(arm.moving()) << "motion not enabled: nothing was queued";

  arm.enableMotion();
  EXPECT_TRUE(arm.enqueue(std::vector<ArmState::Command>(ArmState::kMaxQueued, wait)));
  EXPECT_FALSE(arm.enqueue({wait})) << "one more than the arm holds";
  arm.run();
  EXPECT_TRUE(arm.moving());
  arm.clear();
  EXPECT_FALSE(arm.moving());
  EXPECT_TRUE(arm.enqueue({wait}));
}

}  // namespace
