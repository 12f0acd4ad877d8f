#include <gmock/gmock.h>
#include <velmora/exception.h>
#include <velmora/upgrade.h>

#include <atomic>
#include <thread>

#include "upgrade/upgrade_fixture.h"
#include "velmora_sim/upgrade_md5.h"

using velmora::BaseUpgrade;
using velmora_sim::UpgradeFrame;
using velmora_sim::UpgradeReply;
using namespace std::chrono_literals;

namespace {

Json::Value transfer(const Json::Value& ok) {
  Json::Value v(Json::objectValue);
  v["s"]["file_transfer"] = ok;
  return v;
}

Json::Value upgraded(const char* word) {
  Json::Value v(Json::objectValue);
  v["upgrade"] = word;
  return v;
}

std::chrono::milliseconds since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t);
}

}  // namespace

TEST_F(UpgradeTest, OneMebibytePackageArrivesWholeAndEitherReplyOrderSucceeds) {
  const std::string bytes = writePackage("package.zip", 1 << 20);
  std::size_t frames = 0;
  for (const bool upgradeFirst : {false, true}) {
    service().onPackage([upgradeFirst](const UpgradeFrame& f) {
      UpgradeReply r;
      if (upgradeFirst) return r.json(upgraded("ok")).pause(30ms).json(transfer(f.digestMatches));
      return r.json(transfer(f.digestMatches)).pause(30ms).json(upgraded("ok"));
    });
    BaseUpgrade client = connected();
    std::error_code ec;
    client.upgrade(path("package.zip"), ec);
    EXPECT_EQ(ec.value(), 0) << "upgrade reply first: " << upgradeFirst;
    const auto frame = service().waitForFrame(++frames, 2s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->type, 1);
    EXPECT_EQ(frame->reserved, 0);
    EXPECT_EQ(frame->payload.size(), 41u + bytes.size());
    EXPECT_EQ(frame->name, "./upgrade/orvane.zip");
    EXPECT_TRUE(frame->digestMatches);
    EXPECT_TRUE(frame->file() == bytes);
  }
}

TEST_F(UpgradeTest, PackageFrameIsByteExact) {
  std::ofstream(path("abc")) << "abc";
  BaseUpgrade client = connected();
  std::error_code ec;
  client.upgrade(path("abc"), ec);
  EXPECT_EQ(ec.value(), 0);
  const auto frame = service().waitForFrame(1, 2s);
  ASSERT_TRUE(frame);
  using namespace std::string_literals;
  const std::string expected =
      "\0\0\0"
      "\x90\x01\x50\x98\x3c\xd2\x4f\xb0\xd6\x96\x3f\x7d\x28\xe1\x7f\x72"
      "\x00\x14"
      "./upgrade/orvane.zip"
      "abc"s;
  EXPECT_EQ(frame->payload, expected);
  EXPECT_EQ(velmora_sim::md5Digest("abc"), frame->digest);
}

TEST_F(UpgradeTest, EachReplyIsJudgedAsItArrives) {
  using velmora_sim::upgradeFrame;
  using velmora_sim::upgradeFrameHeader;
  using velmora_sim::upgradeJsonFrame;
  using velmora_sim::upgradeRecords;
  const std::string okS = upgradeJsonFrame(transfer(true));
  const std::string okU = upgradeJsonFrame(upgraded("ok"));
  const std::string split = upgradeRecords(okS + okU);
  struct Case {
    const char* name;
    UpgradeReply reply;
    int code;
    std::chrono::milliseconds within;
  };
  const std::vector<Case> cases = {
      {"both replies in one record", UpgradeReply().records(okS + okU), 0, 500ms},
      {"each reply in records of 3 bytes", UpgradeReply().records(okS, 3).records(okU, 3), 0, 500ms},
      {"a record split over writes", UpgradeReply().raw(split.substr(0, 5)).pause(50ms).raw(split.substr(5)), 0, 500ms},
      {"close right after both replies", UpgradeReply().json(transfer(true)).json(upgraded("ok")).close(), 0, 500ms},
      {"transfer refused", UpgradeReply().json(transfer(false)), 268, 500ms},
      {"transfer confirmed by a text", UpgradeReply().json(transfer("yes")), 268, 500ms},
      {"upgrade failed first", UpgradeReply().json(upgraded("fail")), 269, 500ms},
      {"upgrade failed second", UpgradeReply().json(transfer(true)).json(upgraded("fail")), 269, 500ms},
      {"reply not an object", UpgradeReply().json(Json::Value(Json::arrayValue)), -257, 500ms},
      {"reply not JSON", UpgradeReply().records(upgradeFrame(2, "{\"s\":")), -257, 500ms},
      {"the same reply twice", UpgradeReply().json(transfer(true)).json(transfer(true)), -257, 500ms},
      {"payload length 0", UpgradeReply().records(upgradeFrameHeader(0, 2)), -257, 500ms},
      {"payload length 1", UpgradeReply().records(upgradeFrame(2, "{")), -257, 500ms},
      {"payload length 5", UpgradeReply().records(upgradeFrame(2, "{\"s\":")), -257, 500ms},
      {"payload length 2^32-1", UpgradeReply().records(upgradeFrameHeader(0xFFFFFFFFu, 2) + "{}"), -257, 500ms},
      {"replies of other types",
       UpgradeReply().records(upgradeFrame(1, "{\"s\":{\"file_transfer\":true}}\n") +
                              upgradeFrame(7, "{\"upgrade\":\"ok\"}\n")),
       0, 500ms},
      {"package type, not JSON", UpgradeReply().records(upgradeFrame(1, "{\"s\":")), -257, 500ms},
      {"no second reply", UpgradeReply().json(transfer(true)), 263, 2000ms},
      {"closed after the first reply", UpgradeReply().json(transfer(true)).close(), 256, 500ms},
  };
  std::ofstream(path("p")) << "package";
  for (const auto& c : cases) {
    service().onPackage([&c](const UpgradeFrame&) { return c.reply; });
    BaseUpgrade client = connected();
    std::error_code ec;
    const auto began = std::chrono::steady_clock::now();
    client.upgrade(path("p"), ec);
    EXPECT_EQ(ec.value(), c.code) << c.name;
    EXPECT_LT(since(began), c.within) << c.name;
  }
}

// A reply that cannot be read ends the call, not the link: the next call runs on the same
// connection, whatever type byte the unreadable reply carried.
TEST_F(UpgradeTest, AnUnreadableReplyIsConsumedAndTheLinkKept) {
  using velmora_sim::upgradeFrame;
  using velmora_sim::upgradeFrameHeader;
  const struct {
    const char* name;
    std::string frame;
  } cases[] = {
      {"not JSON, package type", upgradeFrame(1, "{\"s\":")},
      {"not an object, type 0", upgradeFrame(0, "[1]")},
      {"empty, type 255", upgradeFrameHeader(0, 255)},
  };
  std::ofstream(path("p")) << "package";
  BaseUpgrade client = connected();
  ASSERT_TRUE(service().waitForOpenConnections(1, 2s));
  std::size_t frames = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    service().onPackage([&c](const UpgradeFrame&) { return UpgradeReply().records(c.frame); });
    std::error_code ec;
    client.upgrade(path("p"), ec);
    EXPECT_EQ(ec.value(), -257);
    service().onPackage({});
    client.upgrade(path("p"), ec);
    EXPECT_EQ(ec.value(), 0) << "the link still works";
    const auto first = service().waitForFrame(++frames, 2s);
    const auto second = service().waitForFrame(++frames, 2s);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->connection, second->connection);
    EXPECT_TRUE(second->digestMatches);
  }
  EXPECT_EQ(service().acceptCount(), 1);
}

TEST_F(UpgradeTest, RepliesThatArrivedBeforeThePackageAreNotItsAnswer) {
  std::ofstream(path("p")) << "package";
  BaseUpgrade client = connected();
  ASSERT_TRUE(service().waitForOpenConnections(1, 2s));
  service().latestConnection()->sendRaw(velmora_sim::upgradeRecords(velmora_sim::upgradeJsonFrame(upgraded("fail"))));
  std::this_thread::sleep_for(100ms);
  std::error_code ec;
  client.upgrade(path("p"), ec);
  EXPECT_EQ(ec.value(), 0);
}

TEST_F(UpgradeTest, UnreadableEmptyOrUnsentPackagesSendNothing) {
  std::ofstream(path("empty"));
  BaseUpgrade connected = this->connected();
  BaseUpgrade unconnected;
  const struct {
    BaseUpgrade* client;
    std::string file;
    int code;
  } cases[] = {
      {&connected, path("missing"), -280},
      {&connected, path(""), -280},  // the folder itself
      {&connected, path("empty"), -281},
      {&unconnected, path("empty"), 256},
  };
  for (const auto& c : cases) {
    std::error_code ec;
    c.client->upgrade(c.file, ec);
    EXPECT_EQ(ec.value(), c.code) << c.file;
  }
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(service().received().empty());
}

TEST_F(UpgradeTest, ASecondCallWhileOneRunsIsRefusedAtOnce) {
  std::ofstream(path("p")) << "package";
  service().onPackage(
      [](const UpgradeFrame&) { return UpgradeReply().pause(600ms).json(transfer(true)).json(upgraded("ok")); });
  // Long enough for the paused replies, short enough for the call that gets none.
  auto waits = shortWaits();
  waits.firstReplyTimeout = 1000ms;
  BaseUpgrade client = connected(waits);
  std::error_code first;
  std::thread running([&] { client.upgrade(path("p"), first); });
  ASSERT_TRUE(service().waitForFrame(1, 2s));
  std::error_code ec;
  client.upgrade(path("p"), ec);
  EXPECT_EQ(ec.value(), -320);
  client.exportBackup(path("b"), {}, ec);
  EXPECT_EQ(ec.value(), -320);
  client.connect(ec);
  EXPECT_EQ(ec.value(), -320);
  running.join();
  EXPECT_EQ(first.value(), 0);

  // A call that timed out leaves the object free for the next one.
  service().onPackage([](const UpgradeFrame&) { return UpgradeReply(); });
  client.upgrade(path("p"), ec);
  EXPECT_EQ(ec.value(), 263);
  service().onPackage(nullptr);
  client.upgrade(path("p"), ec);
  EXPECT_EQ(ec.value(), 0);
}

TEST_F(UpgradeTest, ConnectingReportsRefusedAndEmptyAddresses) {
  std::error_code ec;
  BaseUpgrade unset;
  unset.connect(ec);
  EXPECT_EQ(ec.value(), 256) << "an empty address never reaches a default host";
  EXPECT_THROW(BaseUpgrade(std::string()), velmora::NetworkException);

  service().refuse(true);
  EXPECT_THROW(BaseUpgrade{address()}, velmora::NetworkException);
  BaseUpgrade client;
  EXPECT_THROW(client.connect(address()), velmora::NetworkException);
  client.connect(ec);
  EXPECT_EQ(ec.value(), 256);
  service().refuse(false);
  client.connect(ec);
  EXPECT_EQ(ec.value(), 0);
  client.connect(ec);  // the first link is closed, not leaked
  EXPECT_EQ(ec.value(), 0);
  EXPECT_TRUE(service().waitForOpenConnections(1, 2s));
  EXPECT_EQ(service().acceptCount(), 2);
}

// A call that ends at a refusal leaves the controller's second reply on its way; arriving while
// the next call waits, it must not be taken as that call's verdict. The next call's own replies
// come later than the stale one, so only a stale reply taken as the answer changes its code.
TEST_F(UpgradeTest, ALateSecondReplyOfAnEarlierExchangeIsNeverTheNextCallsVerdict) {
  using velmora_sim::upgradeFrame;
  const auto accept = UpgradeReply().pause(500ms).json(transfer(true)).json(upgraded("ok"));
  const auto refuse = UpgradeReply().pause(500ms).json(transfer(false)).pause(100ms).json(upgraded("fail"));
  const struct {
    const char* name;
    UpgradeReply ended;
    int endedCode;
    UpgradeReply next;
    int nextCode;
  } cases[] = {
      {"transfer refused, then a late failure; next accepted",
       UpgradeReply().json(transfer(false)).pause(200ms).json(upgraded("fail")), 268, accept, 0},
      {"upgrade failed, then a late confirmation; next refused",
       UpgradeReply().json(upgraded("fail")).pause(200ms).json(transfer(true)), 269, refuse, 268},
      {"an unreadable first reply, then a late success; next refused",
       UpgradeReply().records(upgradeFrame(0, "[1]")).pause(200ms).json(upgraded("ok")), -257, refuse, 268},
      {"a refusal whose second reply never comes; next accepted", UpgradeReply().json(transfer(false)), 268, accept, 0},
  };
  auto waits = shortWaits();
  waits.secondReplyTimeout = 2500ms;  // the stale reply's own deadline, far beyond its 200 ms
  std::ofstream(path("p")) << "package";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BaseUpgrade client = connected(waits);
    service().onPackage([&c](const UpgradeFrame&) { return c.ended; });
    std::error_code ec;
    const auto began = std::chrono::steady_clock::now();
    client.upgrade(path("p"), ec);
    EXPECT_EQ(ec.value(), c.endedCode);
    EXPECT_LT(since(began), waits.secondReplyTimeout) << "the verdict comes at the first reply";
    service().onPackage([&c](const UpgradeFrame&) { return c.next; });
    client.upgrade(path("p"), ec);
    EXPECT_EQ(ec.value(), c.nextCode);
    service().onPackage({});
    client.upgrade(path("p"), ec);
    EXPECT_EQ(ec.value(), 0) << "the stream is in step after both";
  }
}
