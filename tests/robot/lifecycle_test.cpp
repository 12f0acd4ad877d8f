// Robot objects of the public API: construction and connection per family, what failures
// become, the connection handler, what destruction and disconnection leave behind.
#include <gmock/gmock.h>

#include <velmora/error.h>
#include <velmora/exception.h>
#include <velmora/robots.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "robot/robot_fixture.h"
#include "support/link_options.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;
using Clock = std::chrono::steady_clock;

/// Reaches the implementation of a concrete robot, for driving the state receiver.
template <class Robot>
struct Exposed : Robot {
  using Robot::Robot;
  using BaseRobot::impl;
};

velmora_sim::ControllerInfo arm(int joints, const char* workType, const char* version = "3.1.0") {
  velmora_sim::ControllerInfo info;
  info.jointCount = joints;
  info.workType = workType;
  info.version = version;
  info.type = workType + std::string("-") + std::to_string(joints);
  return info;
}

class LifecycleTest : public RobotSimTest {};

TEST_F(LifecycleTest, OneClassOfEachFamilyConnectsAndReconnects) {
  struct Case {
    const char* name;
    velmora_sim::ControllerInfo info;
    std::function<std::unique_ptr<BaseRobot>(const std::string&)> build;
    std::function<void(BaseRobot&, std::error_code&)> reconnect;
    bool sendsLocal;
  };
  const Case cases[] = {
      {"cobot 6", arm(6, "cobot"), [](const std::string& a) { return std::make_unique<OstraRobot>(a, a); },
       [](BaseRobot& r, std::error_code& ec) { dynamic_cast<OstraRobot&>(r).connectToRobot(ec); }, true},
      {"industrial 6", arm(6, "industrial"), [](const std::string& a) { return std::make_unique<StandardRobot>(a, a); },
       [](BaseRobot& r, std::error_code& ec) { dynamic_cast<StandardRobot&>(r).connectToRobot(ec); }, true},
      {"industrial 3", arm(3, "industrial"), [](const std::string& a) { return std::make_unique<Sorn3Robot>(a); },
       [](BaseRobot& r, std::error_code& ec) { dynamic_cast<Sorn3Robot&>(r).connectToRobot(ec); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim().setInfo(c.info);
    command().log().clear();
    auto robot = c.build(address());
    std::error_code ec;
    const Info info = robot->robotInfo(ec);
    EXPECT_FALSE(ec);
    EXPECT_EQ(info.joint_num, c.info.jointCount);
    EXPECT_EQ(info.type, c.info.type);
    EXPECT_EQ(info.id, "VELSIM0000000001");
    EXPECT_EQ(command().log().count("eci.ip"), c.sendsLocal ? 1u : 0u);
    if (c.sendsLocal) {
      EXPECT_THAT(last("eci.ip").payload, JsonIs('"' + address() + '"'));
    }

    robot->disconnectFromRobot(ec);
    EXPECT_FALSE(ec);
    EXPECT_FALSE(robot->robotInfo(ec).joint_num);
    EXPECT_EQ(ec.value(), 256);
    c.reconnect(*robot, ec);
    EXPECT_FALSE(ec);
    EXPECT_EQ(robot->robotInfo(ec).joint_num, c.info.jointCount);
    // A restarted controller would not know where to stream.
    EXPECT_EQ(command().log().count("eci.ip"), c.sendsLocal ? 2u : 0u) << "the stored address is sent again";
  }
}

TEST_F(LifecycleTest, FailuresLeaveTheirExceptionOrCode) {
  // Controller of another kind: the constructor throws, the code form gives 266.
  sim().setInfo(arm(6, "industrial"));
  EXPECT_THROW(OstraRobot(address(), address()), ExecutionException);
  sim().setInfo(arm(6, "cobot", "3.0.9"));
  EXPECT_THROW(OstraRobot(address(), address()), ProtocolException);

  sim().setInfo(arm(6, "cobot"));
  OstraRobot robot;
  robot.connectToRobot(address(), address());
  sim().setInfo(arm(7, "cobot"));
  std::error_code ec;
  robot.connectToRobot(ec);
  EXPECT_EQ(ec.value(), 266);

  // A refused local address: the exception, and both addresses forgotten.
  sim().setInfo(arm(6, "cobot"));
  command().script(Form::set, "eci.ip", Behaviour::reply(-10101).times(1));
  EXPECT_THROW(robot.connectToRobot(address(), address()), NetworkException);
  robot.connectToRobot(ec);
  EXPECT_EQ(ec.value(), 256);
}

TEST_F(LifecycleTest, ADeadAddressFailsAtOnceWith256) {
  command().refuse(true);
  const auto start = Clock::now();
  EXPECT_THROW(OstraMaxRobot(address(), address()), NetworkException);
  OstraMaxRobot robot;
  EXPECT_THROW(robot.connectToRobot(address(), ""), NetworkException);
  std::error_code ec;
  robot.connectToRobot(ec);
  EXPECT_EQ(ec.value(), 256);
  // Nothing listens: refused, not waited for (the link's connect wait is 5 s).
  EXPECT_LT(Clock::now() - start, 5s);
}

TEST_F(LifecycleTest, ALinkLostWhileConnectingFailsEveryWayIn) {
  // "lost" for the lost link's exception (its text is in the language the robot chose), else
  // the exception's text, or "none".
  auto thrown = [](const std::function<void()>& connect) -> std::string {
    try {
      connect();
      return "none";
    } catch (const NetworkException& e) {
      const std::string lost = NetworkException(internal::makeErrorCode(256).message()).what();
      return e.what() == lost ? "lost" : e.what();
    }
  };
  struct Case {
    const char* name;
    Behaviour step;
    velmora_sim::ControllerInfo info;
    std::function<void(const std::string&)> construct;
    std::function<std::unique_ptr<BaseRobot>()> make;
    std::function<void(BaseRobot&, const std::string&)> connect;
    std::function<void(BaseRobot&, std::error_code&)> reconnect;
  };
  // The 3-axis arm sends no local address, so nothing after the ports would notice the loss.
  const auto cobot = arm(7, "cobot");
  const auto small = arm(3, "industrial");
  auto cobotCase = [&](const char* name, Behaviour step) {
    return Case{name,
                step,
                cobot,
                [](const std::string& a) { OstraMaxRobot robot(a, a); },
                [] { return std::make_unique<OstraMaxRobot>(); },
                [](BaseRobot& r, const std::string& a) { dynamic_cast<OstraMaxRobot&>(r).connectToRobot(a, a); },
                [](BaseRobot& r, std::error_code& ec) { dynamic_cast<OstraMaxRobot&>(r).connectToRobot(ec); }};
  };
  auto smallCase = [&](const char* name, Behaviour step) {
    return Case{name,
                step,
                small,
                [](const std::string& a) { Sorn3Robot robot(a); },
                [] { return std::make_unique<Sorn3Robot>(); },
                [](BaseRobot& r, const std::string& a) { dynamic_cast<Sorn3Robot&>(r).connectToRobot(a); },
                [](BaseRobot& r, std::error_code& ec) { dynamic_cast<Sorn3Robot&>(r).connectToRobot(ec); }};
  };
  const Case cases[] = {
      cobotCase("cobot, closed", Behaviour::drop()),
      cobotCase("cobot, reset", Behaviour::reset()),
      smallCase("3 axes, closed", Behaviour::drop()),
      smallCase("3 axes, reset", Behaviour::reset()),
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim().setInfo(c.info);
    command().script(Form::get, "eci.port", c.step.times(1));
    EXPECT_EQ(thrown([&] { c.construct(address()); }), "lost") << "connecting constructor";
    auto robot = c.make();
    command().script(Form::get, "eci.port", c.step.times(1));
    EXPECT_EQ(thrown([&] { c.connect(*robot, address()); }), "lost") << "connection with the addresses";
    c.connect(*robot, address());
    command().script(Form::get, "eci.port", c.step.times(1));
    std::error_code ec;
    c.reconnect(*robot, ec);
    EXPECT_EQ(ec.value(), 256) << "connection with a code";
    c.reconnect(*robot, ec);
    EXPECT_FALSE(ec) << "a controller that stays connected";
  }
}

TEST_F(LifecycleTest, DefaultConstructedRobotReportsWhatIsMissing) {
  OstraMaxRobot robot;
  std::error_code ec;
  robot.disconnectFromRobot(ec);
  EXPECT_EQ(ec.value(), 256);
  const Info info = robot.robotInfo(ec);
  EXPECT_EQ(ec.value(), 256);
  EXPECT_TRUE(info.id.empty() && info.version.empty() && info.joint_num == 0);
  EXPECT_EQ(BaseRobot::sdkVersion(), "0.7.1");
  EXPECT_TRUE(robot.queryEventInfo(Event::moveExecution, ec).empty());
  EXPECT_EQ(ec.value(), 255);
  robot.setEventWatcher(
      Event::moveExecution, [](const EventInfo&) {}, ec);
  EXPECT_EQ(ec.value(), 255);
  EXPECT_TRUE(robot.queryEventInfo(Event::safety, ec).empty());
  EXPECT_EQ(ec.value(), 272);
}

TEST_F(LifecycleTest, TheConnectionHandlerSeesDropAndReconnect) {
  OstraMaxRobot robot(address(), address());
  std::mutex mutex;
  std::vector<bool> seen;
  robot.setConnectionHandler([&](bool up) {
    std::lock_guard<std::mutex> lock(mutex);
    seen.push_back(up);
  });
  // Replacing the handler while the link calls it is safe (the slot is locked, the call is not).
  std::atomic<bool> stop{false};
  std::thread replacer([&] {
    while (!stop)
      robot.setConnectionHandler([&](bool up) {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(up);
      });
  });
  const auto watches = command().log().count("move.last_error_with_setting");
  command().dropConnections();
  auto saw = [&](std::vector<bool> expected) {
    return waitUntil(
        [&] {
          std::lock_guard<std::mutex> lock(mutex);
          return seen == expected;
        },
        5s);
  };
  EXPECT_TRUE(saw({false}));
  EXPECT_TRUE(saw({false, true})) << "the link reconnects by itself";
  stop = true;
  replacer.join();
  EXPECT_TRUE(waitUntil([&] { return command().log().count("move.last_error_with_setting") > watches; }, 5s))
      << "the watches are sent again";
  std::error_code ec;
  EXPECT_EQ(robot.operationState(ec), OperationState::idle);
  EXPECT_FALSE(ec);
}

TEST_F(LifecycleTest, DestructionPausesAMovingArmAndStopsTheStream) {
  struct Case {
    const char* state;
    bool stream;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"idle", false, {"sys.state"}},
      {"idleing", false, {"sys.state", "move.pause"}},
      {"idle", true, {"sys.state", "eci.pub.stop"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.state) + (c.stream ? " streaming" : ""));
    auto robot = std::make_unique<Exposed<OstraMaxRobot>>(address(), address());
    if (c.stream) startStream(robot->impl());
    sim().system().setState(c.state);
    command().log().clear();
    robot.reset();
    std::vector<std::string> keys;
    for (const auto& r : command().log().all()) {
      if (r.form != Form::watch) keys.push_back(r.key);  // motion control's unwatch aside
    }
    EXPECT_EQ(keys, c.expected);
  }
}

TEST_F(LifecycleTest, DisconnectingAndReconnectingStopAStreamFirst) {
  Exposed<OstraMaxRobot> robot(address(), address());
  std::error_code ec;
  startStream(robot.impl());
  command().log().clear();
  robot.disconnectFromRobot(ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(command().log().count("eci.pub.stop"), 1u);
  robot.connectToRobot(ec);
  ASSERT_FALSE(ec);
  startStream(robot.impl());
  command().log().clear();
  robot.connectToRobot(ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(command().log().count("eci.pub.stop"), 1u);
}

TEST_F(LifecycleTest, DestructionAgainstASilentControllerIsBounded) {
  auto robot = velmora::internal::RobotAssembly::build<Exposed<OstraMaxRobot>>(withRequestWait(300ms));
  robot->connectToRobot(address(), address());
  startStream(robot->impl());
  command().script(Form::get, "sys.state", Behaviour::silent());
  command().script(Form::command, "eci.pub.stop", Behaviour::silent());
  const auto start = Clock::now();
  robot.reset();
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 550ms) << "both waits were made";
  EXPECT_LT(took, 2s);
}

TEST_F(LifecycleTest, ExtensionsOutliveTheRobot) {
  auto robot = std::make_unique<OstraMaxRobot>(address(), address());
  Model_T<7> model = robot->model();
  ForceControl_T<7> force = robot->forceControl();
  BaseEthercat ethercat = robot->ethercat();
  robot.reset();
  // The link the model and force control share lives on: notifications, a drop and the
  // reconnection reach no destroyed robot.
  command().notify(parseJson(R"({"safety.event.collision": true, "log.user": {"error": 1, "data": "x"}})"));
  command().dropConnections();
  ASSERT_TRUE(command().waitForOpenConnections(2, 5s));
  std::error_code ec;
  model.calcFk({}, ec);
  EXPECT_NE(ec.value(), 256);
  force.fcStart(ec);
  EXPECT_NE(ec.value(), 256);
  ethercat.GetSlaveCount(ec);
  EXPECT_NE(ec.value(), 256);
}

}  // namespace
}  // namespace velmora
