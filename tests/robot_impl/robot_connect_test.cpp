#include <velmora/error.h>
#include <velmora/exception.h>

#include <gmock/gmock.h>
#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>

#include <optional>
#include <stdexcept>
#include <thread>

#include "common/globals.h"
#include "robot_fixture.h"
#include "support/json_match.h"
#include "support/link_options.h"
#include "support/log_capture.h"

using velmora::Event;
using velmora_sim::Behaviour;
using velmora_sim::Form;
using velmora_sim::Request;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

namespace {

std::string line(const Request& r) {
  return std::string(velmora_sim::formMember(r.form)) + " " + r.key + " " + compactJson(r.payload);
}

std::function<bool(const Request&)> watchOf(const std::string& topic) {
  return [topic](const Request& r) { return r.form == Form::watch && r.key == topic; };
}

// What a connection attempt ends with: "ok", or the exception's kind and text.
std::string connectOutcome(Impl& impl, const std::string& address, int workType = 1, std::uint16_t joints = 7) {
  try {
    impl.reconnect(address, address, workType, joints);
    return "ok";
  } catch (const velmora::ProtocolException& e) {
    return std::string("protocol: ") + e.what();
  } catch (const velmora::ExecutionException& e) {
    return std::string("execution: ") + e.what();
  } catch (const velmora::NetworkException& e) {
    return std::string("network: ") + e.what();
  } catch (const std::exception& e) {
    return std::string("other: ") + e.what();
  }
}

std::string networkOutcome(int code) {
  return std::string("network: ") + velmora::NetworkException(velmora::internal::makeErrorCode(code).message()).what();
}

const char* kCollision = R"({"safety.event.collision":true})";

// Holds whichever thread writes a global log line containing `piece` until `until` holds (2 s at
// most), so a test can make the library see an event before it goes on.
class HoldAtLine {
 public:
  HoldAtLine(std::string piece, std::function<bool()> until)
      : sink_(std::make_shared<Sink>(std::move(piece), std::move(until))) {
    attachToGlobalLog(sink_);
  }
  ~HoldAtLine() { detachFromGlobalLog(sink_); }
  HoldAtLine(const HoldAtLine&) = delete;
  HoldAtLine& operator=(const HoldAtLine&) = delete;

 private:
  // No lock of its own: it keeps nothing, and the thread it holds must not hold up the others.
  struct Sink final : spdlog::sinks::base_sink<spdlog::details::null_mutex> {
    Sink(std::string p, std::function<bool()> u) : piece(std::move(p)), until(std::move(u)) {}
    void sink_it_(const spdlog::details::log_msg& msg) override {
      if (std::string_view(msg.payload.data(), msg.payload.size()).find(piece) != std::string_view::npos) {
        waitUntil(until, 2s);
      }
    }
    void flush_() override {}
    const std::string piece;
    const std::function<bool()> until;
  };
  std::shared_ptr<Sink> sink_;
};

}  // namespace

TEST_F(RobotTest, ConnectionSequence) {
  LogCapture captured;
  auto impl = connected();
  // Watches wait for no reply: give the last one time to arrive.
  command().log().waitForSize(4, 2s);
  std::vector<std::string> lines;
  for (const auto& r : command().log().all()) lines.push_back(line(r));
  // Motion control resets and watches its topic, then every other watched event is watched
  // again: the move-execution topic goes out once.
  EXPECT_THAT(lines, ElementsAre("g sys.info null", "g eci.port null", R"(c move.reset {"remain_traj":false})",
                                 "w move.last_error_with_setting true"));
  EXPECT_EQ(impl->info.id, "VELSIM0000000001");
  EXPECT_EQ(impl->info.version, "3.1.0");
  EXPECT_EQ(impl->info.joint_num, 7);
  EXPECT_EQ(impl->workType, 1);
  EXPECT_EQ(impl->remoteIp, address());
  EXPECT_EQ(impl->localIp, "");  // only `setLocalIp` stores it
  EXPECT_EQ(velmora::internal::logUid.get(), "VELSIM00-0001");
  EXPECT_EQ(impl->connectionState.load(), 1);
  ASSERT_TRUE(impl->motionControl);
  EXPECT_TRUE(impl->motionControl->threadsRunning());
  // The real-time link is addressed but not started.
  EXPECT_EQ(impl->rtService->host(), address());
  EXPECT_EQ(impl->rtService->port(), sim().rtPort().port());
  EXPECT_FALSE(impl->rtService->isConnected());
  EXPECT_EQ(sim().rtPort().acceptedCount(), 0u);
  EXPECT_FALSE(impl->receiver->isOpen());
  EXPECT_TRUE(captured.contains("uid: VELSIM00-0001 | Connect to " + address() + " from " + address()))
      << captured.text();
}

TEST_F(RobotTest, Compatibility) {
  struct Case {
    const char* version;
    const char* workType;
    int joints;
    const char* outcome;  // "ok", or the exception's kind
  };
  const Case cases[] = {
      {"3.1.0", "cobot", 7, "ok"},        {"3.1.0.0", "cobot", 7, "ok"},
      {"3.1.0.1", "cobot", 7, "ok"},      {"3.2", "cobot", 7, "ok"},
      {"10.0.0", "cobot", 7, "ok"},       {"3.1.0", "", 7, "ok"},  // no "work_type": the class's own
      {"3.1.0", "scara", 7, "ok"},                                 // an unknown text keeps the class's
      {"3.0.9", "cobot", 7, "protocol"},  {"3.0.9.0", "industrial", 6, "protocol"},  // the version is checked first
      {"", "cobot", 7, "protocol"},       {"3.1.0", "industrial", 7, "execution"},
      {"3.1.0", "cobot", 6, "execution"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.workType + " " + std::to_string(c.joints));
    velmora_sim::ControllerInfo identity;
    identity.version = c.version;
    identity.workType = c.workType;
    identity.jointCount = c.joints;
    identity.type = "Sim-T";
    sim().setInfo(identity);
    Impl impl;
    const std::string outcome = connectOutcome(impl, address());
    if (std::string(c.outcome) == "ok") {
      EXPECT_EQ(outcome, "ok");
    } else if (std::string(c.outcome) == "protocol") {
      EXPECT_THAT(outcome, HasSubstr(std::string(velmora::internal::messageText(11)) + "3.1.0.0"));
      EXPECT_THAT(outcome, ::testing::StartsWith("protocol: "));
    } else {
      EXPECT_THAT(outcome, HasSubstr(velmora::internal::messageText(13)));
      EXPECT_THAT(outcome, ::testing::StartsWith("execution: "));
      EXPECT_THAT(outcome, EndsWith("Sim-T"));
    }
  }
}

TEST_F(RobotTest, IndustrialControllerForAnIndustrialClass) {
  velmora_sim::ControllerInfo identity;
  identity.workType = "industrial";
  identity.jointCount = 6;
  sim().setInfo(identity);
  Impl impl;
  EXPECT_EQ(connectOutcome(impl, address(), 0, 6), "ok");
  EXPECT_EQ(impl.workType, 0);
}

TEST_F(RobotTest, SystemInformationFailures) {
  const auto quick = withRequestWait(300ms);
  struct Case {
    const char* name;
    std::optional<Behaviour> step;
    int code;
  };
  const Case cases[] = {
      {"integer refusal", Behaviour::reply(-1), 257},
      {"text", Behaviour::reply("info"), 257},
      {"array", Behaviour::reply(Json::Value(Json::arrayValue)), 257},
      {"without the key", Behaviour::wrongKind(), 257},
      {"no reply", Behaviour::silent(), 263},
      {"link dropped", Behaviour::drop(), 256},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().script(Form::get, "sys.info", c.step->times(1));
    Impl impl(quick);
    EXPECT_EQ(connectOutcome(impl, address()), networkOutcome(c.code));
  }
  command().refuse(true);
  Impl impl(quick);
  EXPECT_EQ(connectOutcome(impl, address()), networkOutcome(256));
}

TEST_F(RobotTest, EciPortFallbacks) {
  const auto quick = withRequestWait(300ms);
  LogCapture captured;
  struct Case {
    const char* name;
    std::optional<Behaviour> step;  // none: the simulator's own answer
    std::uint32_t rt;
    std::uint32_t broadcast;
    bool warned;
  };
  const unsigned simRt = sim().rtPort().port();
  const Case cases[] = {
      {"served", std::nullopt, simRt, 1338, false},
      {"both named", Behaviour::reply(parseJson(R"({"rt":1400,"broadcast":1500})")), 1400, 1500, false},
      {"both absent", Behaviour::reply(Json::Value(Json::objectValue)), 1337, 1338, false},
      {"integer reply", Behaviour::reply(5), 2001, 2002, false},
      {"without the key", Behaviour::wrongKind(), 2001, 2002, false},
      {"text port", Behaviour::reply(parseJson(R"({"rt":"x","broadcast":1500})")), 2001, 1500, true},
      {"too large", Behaviour::reply(parseJson(R"({"rt":70000,"broadcast":65536})")), 2001, 2002, true},
      {"zero", Behaviour::reply(parseJson(R"({"rt":0,"broadcast":-1})")), 2001, 2002, true},
      {"integral reals", Behaviour::reply(parseJson(R"({"rt":1400.0,"broadcast":1.5e3})")), 1400, 1500, false},
      {"real with a fraction", Behaviour::reply(parseJson(R"({"rt":1400.0,"broadcast":1500.5})")), 1400, 2002, true},
      {"integral reals out of range", Behaviour::reply(parseJson(R"({"rt":70000.0,"broadcast":0.0})")), 2001, 2002,
       true},
      {"null and flag", Behaviour::reply(parseJson(R"({"rt":null,"broadcast":true})")), 2001, 2002, true},
      {"highest", Behaviour::reply(parseJson(R"({"rt":65535,"broadcast":1})")), 65535, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.step) command().script(Form::get, "eci.port", c.step->times(1));
    const std::size_t logged = captured.text().size();
    Impl impl(quick);
    // The ports of an earlier connection.
    impl.rtPort = 2001;
    impl.broadcastPort = 2002;
    ASSERT_EQ(connectOutcome(impl, address()), "ok");
    EXPECT_EQ(impl.rtPort, c.rt);
    EXPECT_EQ(impl.broadcastPort, c.broadcast);
    EXPECT_EQ(static_cast<std::uint32_t>(impl.rtService->port()), c.rt);
    EXPECT_EQ(captured.text().find("is not a port", logged) != std::string::npos, c.warned);
  }
}

TEST_F(RobotTest, LinkLostDuringTheConnectionFailsIt) {
  struct Case {
    const char* name;
    Form form;
    const char* key;
    Behaviour step;
  };
  const Case cases[] = {
      {"closed at the ports", Form::get, "eci.port", Behaviour::drop()},
      {"reset at the ports", Form::get, "eci.port", Behaviour::reset()},
      {"closed at motion control's reset", Form::command, "move.reset", Behaviour::drop()},
      {"reset at motion control's reset", Form::command, "move.reset", Behaviour::reset()},
      {"closed at the first watch", Form::watch, "move.last_error_with_setting", Behaviour::drop()},
      {"reset at the first watch", Form::watch, "move.last_error_with_setting", Behaviour::reset()},
  };
  // A watch waits for no reply: the sequence is held after its watches until the link has seen
  // what the simulator did on receiving the first. Installed before any link runs.
  std::atomic<Impl*> current{nullptr};
  HoldAtLine hold("re-watch event", [&] {
    const Impl* impl = current.load();
    return impl == nullptr || !impl->service->isConnected();
  });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().script(c.form, c.key, c.step.times(1));
    Impl impl;
    current = &impl;
    EXPECT_EQ(connectOutcome(impl, address()), networkOutcome(256));
    current = nullptr;
  }
}

TEST_F(RobotTest, AControllerSilentAfterTheSystemInformationFailsTheConnection) {
  constexpr auto kWait = 1s;
  const auto quick = withRequestWait(kWait);
  struct Case {
    const char* name;
    Form form;
    const char* key;
    Behaviour step;
    int code;
  };
  // Only a reply that refuses keeps the tolerance of the ports and of motion control's reset.
  const Case cases[] = {
      {"silent at the ports", Form::get, "eci.port", Behaviour::silent(), 263},
      {"silent at motion control's reset", Form::command, "move.reset", Behaviour::silent(), 263},
      {"ports refused", Form::get, "eci.port", Behaviour::reply(-1), 0},
      {"reset refused", Form::command, "move.reset", Behaviour::reply(-1), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().script(c.form, c.key, c.step.times(1));
    Impl impl(quick);
    const auto began = std::chrono::steady_clock::now();
    bool timedOut = false;
    try {
      impl.reconnect(address(), address(), 1, 7);
    } catch (const velmora::internal::ConnectTimeout&) {
      timedOut = true;
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(timedOut, c.code == 263);
    if (timedOut) {
      // One request's wait, not one per step; the link is closed, so nothing more waits.
      EXPECT_GE(took, kWait - 50ms);
      EXPECT_LT(took, 2 * kWait + 3s);
      const auto stopping = std::chrono::steady_clock::now();
      impl.disconnect();
      EXPECT_LT(std::chrono::steady_clock::now() - stopping, kWait);
    }
  }
}

TEST_F(RobotTest, SetLocalIp) {
  auto impl = connected();
  impl->setLocalIp("");
  EXPECT_EQ(received("eci.ip"), 0u);
  command().script(Form::set, "eci.ip", Behaviour::reply(-1).times(1));
  try {
    impl->setLocalIp(address());
    ADD_FAILURE() << "refused address accepted";
  } catch (const velmora::NetworkException& e) {
    EXPECT_THAT(e.what(), EndsWith(velmora::internal::messageText(14)));
  }
  EXPECT_EQ(impl->localIp, "");
  impl->setLocalIp(address());
  EXPECT_EQ(impl->localIp, address());
  const auto sent = command().log().withKey("eci.ip");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_THAT(sent[1].payload, JsonIs("\"" + address() + "\""));
}

TEST_F(RobotTest, WatchesAgainAfterTheControllerDropsTheLink) {
  LogCapture captured;
  Deliveries safety;
  std::mutex mutex;
  std::vector<bool> states;
  auto impl = connected();
  impl->setUserConnectionHandler([&](bool connected) {
    std::lock_guard<std::mutex> lock(mutex);
    states.push_back(connected);
  });
  std::error_code ec;
  impl->setEventWatcher(Event::safety, safety.callback(), ec);
  ASSERT_TRUE(command().log().waitFor(watchOf("safety.event.collision"), 2s));
  // The simulator publishes a topic only to a connection that watches it.
  EXPECT_EQ(command().publish(parseJson(kCollision)), 1);
  ASSERT_TRUE(safety.waitFor(1));

  command().dropConnections();
  ASSERT_TRUE(waitUntil(
      [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return states.size() >= 2;
      },
      5s));
  {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_THAT(states, ElementsAre(false, true));
  }
  EXPECT_EQ(impl->connectionState.load(), 1);
  ASSERT_TRUE(command().log().waitFor(watchOf("safety.event.collision"), 2s, 2));
  EXPECT_TRUE(command().log().waitFor(watchOf("move.last_error_with_setting"), 2s, 2));
  EXPECT_EQ(command().publish(parseJson(kCollision)), 1);
  ASSERT_TRUE(safety.waitFor(2));
  EXPECT_TRUE(waitUntil([&] { return captured.contains("re-watch event: moveExecution safety "); }, 2s))
      << captured.text();
}

TEST_F(RobotTest, ThrowingConnectionHandlerIsLogged) {
  LogCapture captured;
  auto impl = connected();
  std::atomic<int> calls{0};
  impl->setUserConnectionHandler([&](bool connected) {
    ++calls;
    if (!connected) throw std::runtime_error("boom");
    throw 1;
  });
  command().dropConnections();
  // The line is written after the handler has thrown: wait for it, not for the call.
  EXPECT_TRUE(waitUntil([&] { return captured.contains("Connection handler throw: non-standard exception"); }, 5s))
      << captured.text();
  EXPECT_TRUE(captured.contains("Connection handler throw: boom")) << captured.text();
  EXPECT_EQ(calls.load(), 2);
  EXPECT_EQ(impl->connectionState.load(), 1);
}

TEST_F(RobotTest, StateStreamIsStoppedOnDisconnectAndDestruction) {
  {
    auto impl = connected();
    impl->disconnect();
    impl.reset();
    EXPECT_EQ(received("eci.pub.stop"), 0u);
  }
  {
    auto impl = connected();
    startStream(*impl);
    impl->disconnect();
    EXPECT_EQ(received("eci.pub.stop"), 1u);
    EXPECT_FALSE(impl->receiver->isReceiving());
    EXPECT_FALSE(impl->receiver->isOpen());
    impl->disconnect();
    impl.reset();
    EXPECT_EQ(received("eci.pub.stop"), 1u);
  }
  {
    auto impl = connected();
    startStream(*impl);
    impl.reset();
    EXPECT_EQ(received("eci.pub.stop"), 2u);
  }
  {
    // A silent controller holds the destructor no longer than the request's wait.
    const auto quick = withRequestWait(300ms);
    command().script(Form::command, "eci.pub.stop", Behaviour::silent().times(1));
    auto impl = connected(quick);
    startStream(*impl);
    const auto start = std::chrono::steady_clock::now();
    impl.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(received("eci.pub.stop"), 3u);
  }
}

TEST_F(RobotTest, LinkOutlivesTheImplementation) {
  Deliveries safety;
  std::atomic<int> handlerCalls{0};
  std::shared_ptr<velmora::internal::XService> link;
  {
    auto impl = connected();
    impl->setUserConnectionHandler([&](bool) { ++handlerCalls; });
    std::error_code ec;
    impl->setEventWatcher(Event::safety, safety.callback(), ec);
    ASSERT_TRUE(command().log().waitFor(watchOf("safety.event.collision"), 2s));
    link = impl->service;
  }
  const int calls = handlerCalls.load();
  // A request answered after the notification shows the link has dispatched it.
  auto settle = [&] {
    Json::Value out;
    std::error_code ec;
    link->getValue("sys.info", Json::Value(), out, ec);
    EXPECT_FALSE(ec);
  };
  EXPECT_EQ(command().notify(parseJson(kCollision)), 1);
  settle();
  command().dropConnections();
  ASSERT_TRUE(waitUntil([&] { return command().acceptCount() == 2 && link->isConnected(); }, 5s));
  EXPECT_EQ(command().notify(parseJson(kCollision)), 1);
  settle();
  EXPECT_EQ(velmora::internal::runningEventDeliveries(), 0);
  EXPECT_EQ(safety.count.load(), 0);
  EXPECT_EQ(handlerCalls.load(), calls);
  link.reset();
}

TEST_F(RobotTest, BundledNotificationReachesMotionControlAndTheWatcher) {
  Deliveries motion;
  Deliveries safety;
  auto impl = connected();
  std::error_code ec;
  impl->setEventWatcher(Event::moveExecution, motion.callback(), ec);
  EXPECT_FALSE(ec);
  impl->setEventWatcher(Event::safety, safety.callback(), ec);
  ASSERT_TRUE(command().log().waitFor(watchOf("safety.event.collision"), 2s));
  EXPECT_EQ(command().publish(parseJson(R"({"move.last_error_with_setting":{"error":0,"data":)"
                                        R"({"id":"j#5","point":0,"msg":"finish:0"}},"safety.event.collision":true})")),
            1);
  EXPECT_TRUE(motion.waitFor(1));
  EXPECT_TRUE(safety.waitFor(1));
}

TEST_F(RobotTest, TwoRobotsForOneController) {
  auto first = connected();
  auto second = connected();
  EXPECT_EQ(first->connectionState.load(), 1);
  EXPECT_EQ(second->connectionState.load(), 1);
  // One robot log per controller, shared.
  EXPECT_EQ(first->service->logger(), second->service->logger());
  EXPECT_EQ(first->service->logger()->name(), "VELSIM0000000001");
  first.reset();
  auto third = connected();
  EXPECT_EQ(third->service->logger(), second->service->logger());
  // Reconnecting restarts motion control's threads instead of building another.
  auto* motion = third->motionControl.get();
  third->reconnect(address(), address(), 1, 7);
  EXPECT_EQ(third->motionControl.get(), motion);
  EXPECT_TRUE(motion->threadsRunning());
}
