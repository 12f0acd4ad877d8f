// The state stream of a robot against the simulated controller: the start sequence as the
// controller saw it, restarts, every failure of a start and what it leaves, datagrams that are
// short, long or flagged, and a robot without a local address.
#include <gmock/gmock.h>

#include <velmora/error.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "robot/state_fixture.h"
#include "support/link_options.h"
#include "support/log_capture.h"
#include "support/state_fields.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using internal::makeErrorCode;
using internal::messageText;
using velmora_sim::Behaviour;
using velmora_sim::Form;

std::string codeText(int code) { return makeErrorCode(code).message(); }

TEST_F(StateStreamTest, StartSequenceAsTheControllerSawItThenStop) {
  LogCapture global;
  auto robot = connect<OstraMaxRobot>(7);
  robot->startReceiveRobotState(1ms, {"q_m", "dq_m", "q_m"});

  EXPECT_EQ(keys(), (std::vector<std::string>{"eci.fields.out", "eci.port", "eci.pub.start"}));
  EXPECT_EQ(last("eci.fields.out").form, Form::set);
  EXPECT_THAT(last("eci.fields.out").payload, JsonIs(R"(["dq_m", "q_m"])"));
  const auto port = sim().state().targetPort();
  EXPECT_EQ(last("eci.port").form, Form::set);
  EXPECT_THAT(last("eci.port").payload, JsonIs(R"({"broadcast_in": )" + std::to_string(port) + "}"));
  EXPECT_EQ(last("eci.pub.start").form, Form::command);
  EXPECT_THAT(last("eci.pub.start").payload, JsonIs("1"));
  EXPECT_TRUE(waitUntil([&] { return sim().rtPort().acceptedCount() == 1; }, 2s)) << "the real-time link is up";

  EXPECT_EQ(robot->updateRobotState(100ms), 8u + 20 + 56 + 56);
  std::uint64_t ts = 0;
  EXPECT_EQ(robot->getStateData("ts", ts), 0);
  EXPECT_GT(ts, 0u);
  std::vector<double> q{9.0};
  EXPECT_EQ(robot->getStateData("q_m", q), 0);
  EXPECT_EQ(q, sim().arm().jointPositions()) << "the simulated arm's joints";
  // Names that are not subscribed, or whose value is of another kind.
  double scalar = 5;
  EXPECT_EQ(robot->getStateData("psi_m", ts), -1);
  EXPECT_EQ(robot->getStateData("ts", scalar), -1);
  EXPECT_EQ(robot->getStateData("errors", scalar), -1);
  EXPECT_EQ(robot->getStateData("Q_M", q), -1);
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(robot->getStateData("ddq_m", q), -1);
  EXPECT_EQ(scalar, 5);

  // The same set again changes nothing and asks nothing; another set is refused.
  command().log().clear();
  robot->startReceiveRobotState(5ms, {"q_m", "dq_m"});
  EXPECT_EQ(command().log().size(), 0u);
  EXPECT_THAT(thrownText<RealtimeStateException>([&] { robot->startReceiveRobotState(1ms, {"q_m"}); }),
              HasSubstr(messageText(2)));
  EXPECT_EQ(command().log().size(), 0u);

  robot->stopReceiveRobotState();
  EXPECT_EQ(keys(), std::vector<std::string>{"eci.pub.stop"});
  EXPECT_EQ(last("eci.pub.stop").form, Form::command);
  EXPECT_THAT(last("eci.pub.stop").payload, JsonIs("null"));
  EXPECT_FALSE(sim().state().running());
  EXPECT_THAT(thrownText<RealtimeStateException>([&] { robot->getStateData("q_m", q); }), HasSubstr(codeText(256)));
  EXPECT_THAT(thrownText<RealtimeStateException>([&] { robot->updateRobotState(1ms); }), HasSubstr(messageText(7)));
  robot->stopReceiveRobotState();
  EXPECT_EQ(command().log().size(), 1u) << "stopping a stopped stream asks nothing";

  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | set state data port to " + std::to_string(port)));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | startReceiveRobotState end, 1 [dq_m, q_m] (0)"));
}

TEST_F(StateStreamTest, NothingStreamsBeforeAStartOrWithoutFields) {
  LogCapture global;
  auto robot = connect<OstraMaxRobot>(7);
  std::vector<double> values;
  double scalar = 0;
  EXPECT_THAT(thrownText<RealtimeStateException>([&] { robot->getStateData("q_m", values); }),
              HasSubstr(codeText(256)));
  EXPECT_THROW(robot->getStateData("psi_m", scalar), RealtimeStateException);
  EXPECT_THAT(thrownText<RealtimeStateException>([&] { robot->updateRobotState(1ms); }), HasSubstr(messageText(7)));
  robot->startReceiveRobotState(1ms, {});
  EXPECT_EQ(command().log().size(), 0u);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | startReceiveRobotState empty fields"));
  EXPECT_THROW(robot->updateRobotState(1ms), RealtimeStateException);
}

TEST_F(StateStreamTest, RefusedFieldsStopTheStartBeforeTheReceiverOpens) {
  auto robot = connect<OstraMaxRobot>(7, withRequestWait(200ms));
  const struct {
    const char* name;
    Behaviour reply;
    int code;
  } cases[] = {
      {"refused", Behaviour::reply(1), 513},
      {"refused with a code", Behaviour::reply(-3), 513},
      {"not an integer", Behaviour::reply("x"), 257},
      {"silent", Behaviour::silent(), 263},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    command().script(Form::set, "eci.fields.out", c.reply.times(1));
    const std::string text = thrownText<RealtimeControlException>([&] { robot->startReceiveRobotState(1ms, {"q_m"}); });
    EXPECT_THAT(text, HasSubstr(std::string(messageText(3)) + codeText(c.code)));
    EXPECT_EQ(keys(), std::vector<std::string>{"eci.fields.out"});
    std::vector<double> q;
    EXPECT_THROW(robot->getStateData("q_m", q), RealtimeStateException) << "the receiver stays closed";
  }
}

TEST_F(StateStreamTest, FieldsTheArmCannotPublishAreRefusedAfterTheControllerWasAsked) {
  LogCapture global;
  const std::vector<std::string>& sevenDoubles = kJointArrayFields;
  auto withPoses = sevenDoubles;
  withPoses.push_back("pos_m");
  withPoses.push_back("pos_c");
  auto robot = connect<OstraMaxRobot>(7);
  // The simulated controller would refuse these too; it is told to accept them.
  command().script(Form::set, "eci.fields.out", Behaviour::reply(0).times(2));
  for (const auto& fields : {withPoses, std::vector<std::string>{"q_m", "no_such"}}) {
    command().log().clear();
    EXPECT_EQ(thrownText<RealtimeControlException>([&] { robot->startReceiveRobotState(1ms, fields); }),
              thrownText<RealtimeControlException>([] { throw RealtimeControlException(codeText(513)); }));
    EXPECT_EQ(keys(), std::vector<std::string>{"eci.fields.out"});
  }
  EXPECT_TRUE(
      global.contains("uid: VELSIM00-0001 | startReceiveRobotState receiver set recipe failed "
                      "[no_such, q_m], (513)"));
  // 1024 bytes of fields: accepted.
  withPoses.pop_back();
  robot->startReceiveRobotState(1ms, withPoses);
  EXPECT_EQ(robot->updateRobotState(100ms), 8u + 20 + 14 * 56 + 128);
  robot->stopReceiveRobotState();

  // A field of the 7-axis table only.
  robot.reset();
  auto lite = connect<OstraLiteRobot>(5);
  command().script(Form::set, "eci.fields.out", Behaviour::reply(0).times(1));
  EXPECT_THAT(thrownText<RealtimeControlException>([&] { lite->startReceiveRobotState(1ms, {"ddq_m"}); }),
              HasSubstr(codeText(513)));
  lite->startReceiveRobotState(1ms, {"q_m"});
  std::vector<double> q;
  lite->updateRobotState(100ms);
  EXPECT_EQ(lite->getStateData("q_m", q), 0);
  EXPECT_EQ(q.size(), 5u);
}

TEST_F(StateStreamTest, PublishingRefusedLeavesTheReceiverOpenAndTheControllerStopped) {
  auto robot = connect<OstraMaxRobot>(7, withRequestWait(300ms));
  const struct {
    const char* name;
    Behaviour reply;
    int code;
  } cases[] = {
      {"refused", Behaviour::reply(-3), -3},
      {"text", Behaviour::reply("x"), -260},
      {"silent", Behaviour::silent(), 263},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().log().clear();
    command().script(Form::command, "eci.pub.start", c.reply.times(1));
    EXPECT_THAT(thrownText<RealtimeControlException>([&] {
                  robot->startReceiveRobotState(1ms, {"q_m", "psi_m"});
                }),
                HasSubstr(std::string(messageText(6)) + codeText(c.code)));
    EXPECT_EQ(keys(), (std::vector<std::string>{"eci.fields.out", "eci.port", "eci.pub.start", "eci.pub.stop"}));
    // Open, not receiving: the subscribed fields read as zeros.
    std::vector<double> q{1.0};
    EXPECT_EQ(robot->getStateData("q_m", q), 0);
    EXPECT_EQ(q, std::vector<double>(7, 0.0));
    EXPECT_THROW(robot->updateRobotState(1ms), RealtimeStateException);
    command().log().clear();
    robot->stopReceiveRobotState();
    EXPECT_EQ(command().log().size(), 0u) << "a stream that never received is not stopped again";
  }
  // A refused port report does not stop the start.
  LogCapture global;
  command().script(Form::set, "eci.port", Behaviour::reply(-1).times(1));
  command().log().clear();
  robot->startReceiveRobotState(1ms, {"q_m"});
  EXPECT_GT(robot->updateRobotState(100ms), 0u);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | set state data local port"));
  EXPECT_TRUE(global.contains(" failed -1"));
}

TEST_F(StateStreamTest, TheIntervalTravelsInWholeMillisecondsWithinTheIntRange) {
  auto robot = connect<OstraMaxRobot>(7);
  const struct {
    std::chrono::nanoseconds interval;
    const char* sent;
  } cases[] = {
      {999999ns, "0"},
      {2500us, "2"},
      {1ms, "1"},
      {-1500us, "-1"},
      {std::chrono::hours(24 * 30), "2147483647"},  // 2592000000 ms
      {std::chrono::nanoseconds::max(), "2147483647"},
      {std::chrono::nanoseconds::min(), "-2147483648"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent);
    command().log().clear();
    command().script(Form::command, "eci.pub.start", Behaviour::reply(-3).times(1));
    EXPECT_THROW(robot->startReceiveRobotState(c.interval, {"q_m"}), RealtimeControlException);
    EXPECT_THAT(last("eci.pub.start").payload, JsonIs(c.sent));
  }
}

TEST_F(StateStreamTest, ShortLongAndFlaggedDatagrams) {
  auto robot = connect<OstraMaxRobot>(7);
  // One packet at the start, then only what the test sends.
  robot->startReceiveRobotState(std::chrono::hours(1), {"q_m"});
  const unsigned size = 8 + 20 + 56;
  std::uint64_t ts = 0;
  std::vector<double> q;
  ASSERT_EQ(robot->getStateData("ts", ts), 0);
  EXPECT_GT(ts, 0u);
  const std::uint64_t firstTs = ts;
  EXPECT_EQ(robot->updateRobotState(20ms), 0u) << "nothing came";

  // Each packet sent by hand carries its number in its time stamp and its joints.
  auto mark = [&](std::uint8_t n) {
    ASSERT_TRUE(sim().state().setBytes("ts", {n}));
    ASSERT_TRUE(sim().state().setDoubles("q_m", std::vector<double>(7, double(n))));
  };
  mark(2);
  sim().state().injectShort(size - 1);
  ASSERT_TRUE(sim().state().sendNow());
  EXPECT_EQ(robot->updateRobotState(1s), size - 1);
  robot->getStateData("ts", ts);
  EXPECT_EQ(ts, firstTs) << "a short datagram is counted, not read";

  mark(3);
  sim().state().injectLong(40);
  ASSERT_TRUE(sim().state().sendNow());
  EXPECT_EQ(robot->updateRobotState(1s), size + 40);
  robot->getStateData("ts", ts);
  EXPECT_EQ(ts, 3u);

  mark(4);
  sim().state().injectErrorFlag(5);
  ASSERT_TRUE(sim().state().sendNow());
  EXPECT_THROW(robot->updateRobotState(1s), RealtimeMotionException);
  robot->getStateData("ts", ts);
  robot->getStateData("q_m", q);
  EXPECT_EQ(ts, 4u);
  EXPECT_EQ(q, std::vector<double>(7, 3.0)) << "the fields after the flags keep the last packet's values";

  mark(5);
  ASSERT_TRUE(sim().state().sendNow());
  EXPECT_EQ(robot->updateRobotState(1s), size);
  robot->getStateData("q_m", q);
  EXPECT_EQ(q, std::vector<double>(7, 5.0));
}

TEST_F(StateStreamTest, FirstPacketFailuresStopPublishingAndAllowACleanRestart) {
  velmora::internal::LinkOptions options;
  options.firstPacketWait = 300ms;
  auto robot = connect<OstraMaxRobot>(7, options);

  // Accepted but nothing published: no datagram in time.
  command().script(Form::command, "eci.pub.start", Behaviour::reply(0).times(1));
  EXPECT_THAT(thrownText<RealtimeStateException>([&] { robot->startReceiveRobotState(1ms, {"q_m"}); }),
              HasSubstr(messageText(8)));
  EXPECT_EQ(keys(), (std::vector<std::string>{"eci.fields.out", "eci.port", "eci.pub.start", "eci.pub.stop"}));
  EXPECT_THROW(robot->updateRobotState(1ms), RealtimeStateException);

  // The first datagram reports a motion error.
  command().log().clear();
  sim().state().injectErrorFlag(2);
  EXPECT_THROW(robot->startReceiveRobotState(1ms, {"q_m"}), RealtimeMotionException);
  EXPECT_EQ(keys(), (std::vector<std::string>{"eci.fields.out", "eci.port", "eci.pub.start", "eci.pub.stop"}));
  EXPECT_FALSE(sim().state().running());
  EXPECT_THROW(robot->updateRobotState(1ms), RealtimeStateException);

  // Then a clean start with another set.
  command().log().clear();
  robot->startReceiveRobotState(1ms, {"q_m", "dq_m"});
  EXPECT_EQ(keys(), (std::vector<std::string>{"eci.fields.out", "eci.port", "eci.pub.start"}));
  EXPECT_EQ(robot->updateRobotState(100ms), 8u + 20 + 56 + 56);
  std::vector<double> dq;
  std::uint64_t ts = 0;
  EXPECT_EQ(robot->getStateData("dq_m", dq), 0);
  EXPECT_EQ(robot->getStateData("ts", ts), 0);
  EXPECT_EQ(dq, std::vector<double>(7, 0.0)) << "an arm at rest";
  EXPECT_GT(ts, 0u);
}

TEST_F(StateStreamTest, ARobotWithoutALocalAddressStreams) {
  // A port of this test's own, so that binding every interface takes nobody's port.
  Json::Value ports(Json::objectValue);
  ports["broadcast"] = freeUdpPort();
  ports["rt"] = sim().rtPort().port();
  command().script(Form::get, "eci.port", Behaviour::reply(ports).times(1));
  auto robot = connect<OstraRobot>(6, "");
  robot->startReceiveRobotState(1ms, {"q_m", "dq_m"});
  EXPECT_EQ(robot->updateRobotState(100ms), 124u);
  std::vector<double> q;
  EXPECT_EQ(robot->getStateData("q_m", q), 0);
  EXPECT_EQ(q.size(), 6u);
  EXPECT_EQ(command().log().count("eci.ip"), 0u);
  robot->stopReceiveRobotState();
}

}  // namespace
}  // namespace velmora
