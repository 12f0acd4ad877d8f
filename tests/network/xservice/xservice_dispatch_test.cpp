#include <gmock/gmock.h>

#include <velmora/error.h>

#include <atomic>
#include <memory>
#include <thread>

#include "network/tcp/framer.h"
#include "network/xservice/link_fixture.h"
#include "support/json_match.h"
#include "support/process_stats.h"

using velmora::internal::DelimiterFramer;
using velmora::internal::makeErrorCode;
using velmora_sim::Behaviour;
using namespace std::chrono_literals;

namespace {

class XServiceDispatchTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    link.setMotionCallback([this](const Json::Value& m) { motion(m); });
    link.setNotificationCallback([this](const Json::Value& m) { notification(m); });
  }

  // Everything the simulator sent before this reply has been handled when it returns.
  void sync() {
    std::error_code ec;
    Json::Value result;
    link.sendCommand("sync", Json::Value(), result, ec, 2s);
    ASSERT_FALSE(ec);
  }

  Recorder motion;
  Recorder notification;
};

// Blocks a callback until released, and tells whether it has been entered.
struct Gate {
  std::atomic<bool> entered{false};
  std::atomic<bool> released{false};
  void pass() {
    entered = true;
    waitUntil([&] { return released.load(); }, 5s);
  }
};

}  // namespace

TEST_F(XServiceDispatchTest, NotificationsAndMotionMessagesReachTheirCallbacks) {
  struct Case {
    const char* message;
    std::size_t motion;
    std::size_t notification;
  };
  const std::vector<Case> cases = {
      {R"({"id":9,"n":{"move.last_error_with_setting":{"error":0}}})", 1, 0},
      {R"({"id":9,"n":{"safety.event.collision":{"joint":3}}})", 0, 1},
      {R"({"id":9,"n":{"move.last_error_with_setting":{},"safety.event.collision":{}}})", 1, 1},
      {R"({"id":9,"n":{}})", 0, 1},
      {R"({"c":{"move.append":0},"id":"cmd-1"})", 1, 0},
      {R"({"c":{"move.append":0},"id":""})", 1, 0},
      {R"({"n":{"safety.event.collision":{}}})", 0, 0},  // one member: never delivered
      {R"({"id":5})", 0, 0},
  };
  for (const auto& c : cases) {
    const std::size_t motionBefore = motion.size();
    const std::size_t notificationBefore = notification.size();
    ASSERT_EQ(command().broadcast(parseJson(c.message)), 1);
    sync();
    EXPECT_EQ(motion.size() - motionBefore, c.motion) << c.message;
    EXPECT_EQ(notification.size() - notificationBefore, c.notification) << c.message;
    if (c.motion != 0) {
      EXPECT_EQ(motion.messages().back(), parseJson(c.message)) << "the whole message";
    }
  }
}

TEST_F(XServiceDispatchTest, MalformedInputIsDroppedAndTheLinkKeepsAnswering) {
  const std::string atCap = [] {
    const std::string head = R"({"id":1,"n":{"big":")";
    const std::string tail = "\"}}\r";
    return head + std::string(DelimiterFramer::kDefaultCap - head.size() - tail.size(), 'x') + tail;
  }();
  ASSERT_EQ(atCap.size(), DelimiterFramer::kDefaultCap);
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t notifications;
  };
  const std::vector<Case> cases = {
      {"array", "[1,2]\r", 0},
      {"number", "42\r", 0},
      {"text", "\"text\"\r", 0},
      {"garbage", "garbage{\r", 0},
      {"empty", "\r", 0},
      {"empty object", "{}\r", 0},
      {"no id",
       R"({"c":{},"x":1})"
       "\r",
       0},
      {"negative id",
       R"({"c":{},"id":-1})"
       "\r",
       0},
      {"real id",
       R"({"c":{},"id":1.5})"
       "\r",
       0},
      {"flag id",
       R"({"c":{},"id":true})"
       "\r",
       0},
      {"object id",
       R"({"c":{},"id":{}})"
       "\r",
       0},
      {"n is a number",
       R"({"id":1,"n":5})"
       "\r",
       0},
      {"n is an array",
       R"({"id":1,"n":[1]})"
       "\r",
       0},
      {"id nobody waits for",
       R"({"c":{"k":0},"id":18446744073709551615})"
       "\r",
       0},
      {"nested arrays", std::string(100000, '[') + "\r", 0},
      {"nested objects",
       [] {
         std::string s;
         for (int i = 0; i < 20000; ++i) s += "{\"a\":";
         return s + "\r";
       }(),
       0},
      {"invalid UTF-8 outside text", "\xff\xfe{}\r", 0},
      {"NUL inside",
       [] {
         const char bytes[] = "{\"id\":1,\0\"n\":{}}\r";
         return std::string(bytes, sizeof bytes - 1);
       }(),
       0},
      {"invalid UTF-8 inside text", "{\"id\":1,\"n\":{\"t\":\"\xc3\x28\xff\"}}\r", 1},
      {"several in one write", "[]\r{\"id\":2,\"n\":{\"a\":1}}\r{\"id\":3,\"n\":{\"b\":2}}\r", 2},
      {"a message exactly at the cap", atCap, 1},
  };
  for (const auto& c : cases) {
    const std::size_t before = notification.size();
    ASSERT_EQ(command().broadcastRaw(c.bytes), 1) << c.name;
    sync();
    EXPECT_EQ(notification.size() - before, c.notifications) << c.name;
  }
  EXPECT_EQ(notification.messages().back()["n"]["big"].asString().size(), atCap.size() - 24);
  EXPECT_EQ(command().acceptCount(), 1) << "the link never dropped";
  EXPECT_EQ(link.pendingRequests(), 0u);
}

TEST_F(XServiceDispatchTest, AMessageOverTheCapDropsTheLinkWhichComesBackWithinASecond) {
  struct Seen {
    std::atomic<int> ups{0}, downs{0};
    std::atomic<std::chrono::steady_clock::rep> downAt{0}, upAt{0};
  };
  auto seen = std::make_shared<Seen>();  // the handler may outlive this body when it fails
  link.setConnectionHandler([seen](bool up) {
    (up ? seen->upAt : seen->downAt) = std::chrono::steady_clock::now().time_since_epoch().count();
    ++(up ? seen->ups : seen->downs);
  });
  ASSERT_EQ(command().broadcastRaw(std::string(DelimiterFramer::kDefaultCap, 'x') + "\r"), 1);
  ASSERT_TRUE(waitUntil([&] { return seen->ups == 1; }, 3s)) << seen->downs << " downs";
  EXPECT_EQ(seen->downs, 1);
  const auto gap = std::chrono::steady_clock::duration(seen->upAt - seen->downAt);
  EXPECT_GE(gap, 900ms);
  EXPECT_LT(gap, 1500ms);
  EXPECT_TRUE(waitUntil([&] { return command().acceptCount() == 2; }, 1s));
  sync();
}

TEST_F(XServiceDispatchTest, AThrowingCallbackIsCaughtAndDeliveriesGoOn) {
  link.setMotionCallback([](const Json::Value&) { throw std::runtime_error("motion"); });
  link.setNotificationCallback([](const Json::Value&) { throw 7; });
  std::atomic<int> replies{0};
  for (int round = 0; round < 3; ++round) {
    command().broadcast(parseJson(R"({"id":9,"n":{"move.last_error_with_setting":{},"x":{}}})"));
    command().broadcast(parseJson(R"({"c":{"k":0},"id":"t"})"));
    std::error_code ec;
    link.sendCommandAsync(
        "k", Json::Value(),
        [&](const Json::Value&) {
          ++replies;
          throw std::logic_error("reply");
        },
        ec);
    ASSERT_FALSE(ec);
    sync();
  }
  EXPECT_EQ(replies, 3);
  link.setNotificationCallback([this](const Json::Value& m) { notification(m); });
  command().broadcast(parseJson(R"({"id":9,"n":{"x":{}}})"));
  EXPECT_TRUE(notification.waitFor(1));
  EXPECT_EQ(command().acceptCount(), 1);
}

TEST_F(XServiceDispatchTest, ASetterWaitsForTheRunningCallbackButNeverForItself) {
  // From another thread: returns only once the running call has ended.
  Gate gate;
  auto token = std::make_shared<int>(0);
  link.setNotificationCallback([&gate, token](const Json::Value&) { gate.pass(); });
  command().broadcast(parseJson(R"({"id":1,"n":{"x":1}})"));
  ASSERT_TRUE(waitUntil([&] { return gate.entered.load(); }, 2s));
  std::atomic<bool> replaced{false};
  std::thread setter([&] {
    link.setNotificationCallback([this](const Json::Value& m) { notification(m); });
    replaced = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(replaced) << "returned while the old callback was still running";
  gate.released = true;
  setter.join();
  EXPECT_EQ(token.use_count(), 1) << "the old callable is gone when the setter returns";
  command().broadcast(parseJson(R"({"id":2,"n":{"x":1}})"));
  EXPECT_TRUE(notification.waitFor(1));

  // From inside its own callback: replaces at once; the running call finishes intact.
  std::atomic<int> oldCalls{0};
  std::string captured(64, 'c');
  link.setMotionCallback([this, &oldCalls, captured](const Json::Value&) {
    link.setMotionCallback([this](const Json::Value& m) { motion(m); });
    link.setConnectionHandler([](bool) {});
    link.clearReplyCallbacks(nullptr);
    oldCalls += static_cast<int>(captured.size());  // still alive after its own replacement
  });
  command().broadcast(parseJson(R"({"c":{},"id":"a"})"));
  command().broadcast(parseJson(R"({"c":{},"id":"b"})"));
  EXPECT_TRUE(motion.waitFor(1));
  EXPECT_EQ(oldCalls, 64);
  EXPECT_EQ(motion.messages()[0]["id"].asString(), "b");

  // The connection handler replaces itself while the link comes back up.
  std::atomic<int> calls{0};
  link.setConnectionHandler([&](bool up) {
    if (up) link.setConnectionHandler([&](bool) { calls += 100; });
    ++calls;
  });
  command().dropConnections();
  EXPECT_TRUE(waitUntil([&] { return calls == 2; }, 3s));
  link.setConnectionHandler(nullptr);  // it refers to this body's locals
  sync();
}

TEST_F(XServiceDispatchTest, ReplyCallbacksRunOnceAndNeverAfterTheirLinkOrOwnerIsGone) {
  // Fast replies: each callback, stored before its request left, runs exactly once.
  constexpr int kCalls = 1000;
  std::vector<std::atomic<int>> calls(kCalls);
  std::error_code ec;
  for (int i = 0; i < kCalls; ++i) {
    link.sendCommandAsync(
        "k", i,
        [&calls, i](const Json::Value& reply) {
          if (reply["c"]["k"] == 0) ++calls[static_cast<std::size_t>(i)];
        },
        ec);
    ASSERT_FALSE(ec) << i;
  }
  ASSERT_TRUE(waitUntil([&] { return link.pendingReplyCallbacks() == 0; }, 5s));
  for (int i = 0; i < kCalls; ++i) EXPECT_EQ(calls[static_cast<std::size_t>(i)], 1) << i;

  // A lost link drops callbacks whose replies can no longer come, without calling them.
  command().script("silent", Behaviour::silent().times(3));
  for (int i = 0; i < 3; ++i) {
    link.sendCommandAsync(
        "silent", Json::Value(), [](const Json::Value&) { ADD_FAILURE() << "called"; }, ec);
  }
  ASSERT_TRUE(command().log().waitFor("silent", 2s, 3));
  EXPECT_EQ(link.pendingReplyCallbacks(), 3u);
  command().dropConnections();
  EXPECT_TRUE(waitUntil([&] { return link.pendingReplyCallbacks() == 0; }, 2s));
  ASSERT_TRUE(waitUntil([&] { return link.isConnected(); }, 3s));

  // An owner's teardown clears only its own, and waits for one of them that is running.
  int ownerA = 0, ownerB = 0;
  command().script("silent", Behaviour::silent().times(2));
  link.sendCommandAsync(
      "silent", Json::Value(), [](const Json::Value&) {}, ec, &ownerA);
  link.sendCommandAsync(
      "silent", Json::Value(), [](const Json::Value&) {}, ec, &ownerB);
  link.clearReplyCallbacks(&ownerA);
  EXPECT_EQ(link.pendingReplyCallbacks(), 1u);
  link.clearReplyCallbacks(&ownerB);
  EXPECT_EQ(link.pendingReplyCallbacks(), 0u);

  Gate gate;
  link.sendCommandAsync(
      "k", Json::Value(), [&](const Json::Value&) { gate.pass(); }, ec, &ownerA);
  ASSERT_TRUE(waitUntil([&] { return gate.entered.load(); }, 2s));
  std::atomic<bool> cleared{false};
  std::thread teardown([&] {
    link.clearReplyCallbacks(&ownerB);  // another owner's callback runs: no wait
    link.clearReplyCallbacks(&ownerA);
    cleared = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(cleared) << "returned while the owner's callback was running";
  gate.released = true;
  teardown.join();
  ASSERT_TRUE(command().log().waitFor("silent", 2s, 5));
}
