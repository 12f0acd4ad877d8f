#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <velmora/ethercat.h>
#include <velmora/exception.h>

#include <array>
#include <atomic>
#include <functional>
#include <thread>

#include "support/command_link.h"
#include "support/json_match.h"
#include "support/link_options.h"
#include "support/process_stats.h"
#include "support/sim_fixture.h"
#include "velmora_sim/ethercat_bus.h"

using velmora::BaseEthercat;
using velmora::SDOData;
using velmora::SlaveInfo;
using velmora_sim::Behaviour;
using namespace std::chrono_literals;

namespace {

class EthercatTest : public SimTest {
 protected:
  EthercatTest() {
    bus.addSlave({1, 0x101, 0xFFFFFFFF, 0x2001, 7, "drive-1", 1});
    bus.addSlave({2, 0x102, 0x0000ABCD, 0x2002, 8, "drive-2", 2});
    bus.addSlave({3, 0x103, 0x80000000, 0x2003, 9, "io-3", 4});
    bus.install(command());
    robotLink = connectedLink(address());
  }

  // The keys the controller received on the connection with that accept number.
  std::vector<std::string> keysOn(int connection) {
    std::vector<std::string> keys;
    for (const auto& request : command().log().all()) {
      if (request.connection == connection) keys.push_back(request.key);
    }
    return keys;
  }

  velmora_sim::EthercatBus bus;
  std::shared_ptr<velmora::internal::XService> robotLink;
  std::error_code ec;
};

TEST_F(EthercatTest, EachObjectOpensAndClosesALinkOfItsOwn) {
  BaseEthercat first(robotLink);
  auto second = std::make_unique<BaseEthercat>(robotLink);
  EXPECT_TRUE(waitUntil([&] { return command().acceptCount() == 3; }, 2s));
  EXPECT_TRUE(waitUntil([&] { return files().acceptCount() == 3; }, 2s));
  EXPECT_EQ(first.GetSlaveCount(ec), 3);
  EXPECT_EQ(second->GetSlaveCount(ec), 3);
  EXPECT_EQ(keysOn(2), std::vector<std::string>{"ethercat.get_con_slaves_num"});
  EXPECT_EQ(keysOn(3), std::vector<std::string>{"ethercat.get_con_slaves_num"});
  second.reset();
  EXPECT_TRUE(waitUntil([&] { return command().openConnections() == 2; }, 2s));
  EXPECT_EQ(first.GetSlaveCount(ec), 3);
  EXPECT_FALSE(ec);
}

TEST_F(EthercatTest, SlavesAreListedWithTheirIdentityAndState) {
  BaseEthercat ethercat(robotLink);
  const std::vector<SlaveInfo> slaves = ethercat.GetSlavesInfo(ec);
  ASSERT_FALSE(ec) << ec.value();
  ASSERT_EQ(slaves.size(), 3u);
  const SlaveInfo& first = slaves[0];
  EXPECT_EQ(first.slaveAddr, 1);
  EXPECT_EQ(first.slaveId, 0x101u);
  EXPECT_EQ(first.vendorId, 0xFFFFFFFFu);
  EXPECT_EQ(first.productCode, 0x2001u);
  EXPECT_EQ(first.reversionNumber, 7u);
  EXPECT_EQ(first.slaveName, "drive-1");
  EXPECT_EQ(first.alStatus, 1);
  EXPECT_EQ(slaves[2].vendorId, 0x80000000u);
  EXPECT_EQ(slaves[2].alStatus, 4);
  // One state list, then each slave's identity and the state list again, in bus order.
  const std::string info = "ethercat.get_slave_info";
  const std::string states = "ethercat.get_slaves_state";
  EXPECT_EQ(keysOn(2), (std::vector<std::string>{states, info, states, info, states, info, states}));
  EXPECT_THAT(command().log().withKey(info)[2].payload, JsonIs(R"({"addr":3})"));

  EXPECT_EQ(ethercat.GetSlaveState(2, ec), 2);
  EXPECT_EQ(ethercat.GetSlaveState(9, ec), 0);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(ethercat.SetSlavesState(8, ec));
  EXPECT_THAT(lastPayload("ethercat.set_slaves_state"), JsonIs(R"({"state":"op"})"));
  EXPECT_EQ(ethercat.GetSlaveState(3, ec), 8);

  const std::size_t sent = command().log().size();
  EXPECT_FALSE(ethercat.SetSlavesState(5, ec));
  EXPECT_EQ(ec.value(), 259);
  EXPECT_EQ(command().log().size(), sent);
}

TEST_F(EthercatTest, StateListLookupsFirstForStateAndLastForInfo) {
  bus.addSlave({2, 0x999, 1, 1, 1, "twin", 8});
  BaseEthercat ethercat(robotLink);
  EXPECT_EQ(ethercat.GetSlaveState(2, ec), 2);
  EXPECT_EQ(ethercat.GetSlaveInfo(2, ec).alStatus, 8);
  command().script("ethercat.get_slaves_state",
                   Behaviour::reply(parseJson(R"({"data":[{"addr":1,"state":2}]})")).times(1));
  const SlaveInfo absent = ethercat.GetSlaveInfo(3, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(absent.slaveName, "io-3");
  EXPECT_EQ(absent.alStatus, 0);
}

// The controller leaves out members it has nothing for: a missing "addr" or "state" reads 0;
// only a member or an entry of another kind makes the list unreadable.
TEST_F(EthercatTest, AStateEntryWithoutAddrOrStateReadsZero) {
  BaseEthercat ethercat(robotLink);
  command().script("ethercat.get_slaves_state",
                   Behaviour::reply(parseJson(R"({"data":[{"addr":1},{"state":5},{"addr":3,"state":4}]})")));
  EXPECT_EQ(ethercat.GetSlaveState(1, ec), 0);
  EXPECT_FALSE(ec);
  EXPECT_EQ(ethercat.GetSlaveState(0, ec), 5);
  EXPECT_FALSE(ec);
  const SlaveInfo third = ethercat.GetSlaveInfo(3, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(third.slaveName, "io-3");
  EXPECT_EQ(third.alStatus, 4);

  command().log().clear();
  const std::vector<SlaveInfo> slaves = ethercat.GetSlavesInfo(ec);
  EXPECT_EQ(ec.value(), -2) << "the bus knows no slave 0";
  ASSERT_EQ(slaves.size(), 3u);
  EXPECT_EQ(slaves[0].slaveName, "drive-1");
  EXPECT_EQ(slaves[0].alStatus, 0);
  EXPECT_EQ(slaves[2].alStatus, 4);
  const auto asked = command().log().withKey("ethercat.get_slave_info");
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_THAT(asked[1].payload, JsonIs(R"({"addr":0})"));

  command().clearScripts();
  for (const char* reply : {R"({"data":[{"addr":1,"state":"on"}]})", R"({"data":[{"addr":true,"state":1}]})",
                            R"({"data":[{"addr":1,"state":1},null]})"}) {
    SCOPED_TRACE(reply);
    command().script("ethercat.get_slaves_state", Behaviour::reply(parseJson(reply)).times(1));
    EXPECT_EQ(ethercat.GetSlaveState(1, ec), 0);
    EXPECT_EQ(ec.value(), 257);
  }
}

TEST_F(EthercatTest, WrittenDataReadsBack) {
  BaseEthercat ethercat(robotLink);
  const std::uint8_t pdo[] = {7, 8, 9};
  ASSERT_TRUE(ethercat.WritePDO(1, 4, 3, pdo, ec)) << ec.value();
  EXPECT_THAT(lastPayload("ethercat.write_PDO_data"), JsonIs(R"({"addr":1,"offset":4,"size":3,"data":[7,8,9]})"));
  std::array<std::uint8_t, 3> read{};
  ASSERT_TRUE(ethercat.ReadPDO(1, 4, 3, read.data(), ec));
  EXPECT_EQ(read, (std::array<std::uint8_t, 3>{7, 8, 9}));

  const std::uint8_t sdo[] = {0x0F, 0x00};
  ASSERT_TRUE(ethercat.WriteSDO(2, 0x6040, 0, 2, sdo, 100, ec)) << ec.value();
  std::array<std::uint8_t, 4> sdoRead{};
  ASSERT_TRUE(ethercat.ReadSDO(2, 0x6040, 0, 4, sdoRead.data(), 100, ec));
  EXPECT_EQ(sdoRead, (std::array<std::uint8_t, 4>{0x0F, 0, 0, 0}));
  // An object the slave does not have: the controller's plain "not done".
  EXPECT_FALSE(ethercat.ReadSDO(2, 0x1234, 1, 4, sdoRead.data(), 100, ec));
  EXPECT_FALSE(ec);

  EXPECT_TRUE(ethercat.WriteSDO(2, 0x6060, 0, 0, nullptr, 100, ec));
  EXPECT_THAT(lastPayload("ethercat.write_SDO_data"),
              JsonIs(R"({"addr":2,"index":24672,"sub_index":0,"length":0,"over_time":100,
                         "data":[]})"));

  SDOData two;
  two.index = 0x6081;
  two.length = 2;
  two.data[0] = 0x10;
  two.data[1] = 0x27;
  two.data[2] = 0xEE;  // beyond the length: not sent
  SDOData none;
  none.index = 0x6082;
  none.wait_time = 5;
  none.print_data = 1;
  EXPECT_TRUE(ethercat.WriteMultiSDO(3, {two, none}, ec)) << ec.value();
  EXPECT_THAT(lastPayload("ethercat.write_multi_SDO_data"),
              JsonIs(R"([{"addr":3,"index":24705,"sub_index":0,"length":2,"over_time":0,
                          "wait_time":0,"print_data":0,"data":[16,39]},
                         {"addr":3,"index":24706,"sub_index":0,"length":0,"over_time":0,
                          "wait_time":5,"print_data":1,"data":[]}])"));
  EXPECT_EQ(bus.sdo(3, 0x6081, 0), (std::vector<std::uint8_t>{0x10, 0x27}));
}

TEST_F(EthercatTest, BuffersAndCountsAreCheckedBeforeAnythingIsSent) {
  BaseEthercat ethercat(robotLink);
  std::vector<std::uint8_t> big((1 << 20) + 1, 0);
  SDOData tooLong;
  tooLong.length = 51;
  struct Case {
    const char* what;
    std::function<bool()> call;
  };
  const Case cases[] = {
      {"read PDO into null", [&] { return ethercat.ReadPDO(1, 0, 4, nullptr, ec); }},
      {"read SDO into null", [&] { return ethercat.ReadSDO(1, 1, 0, 4, nullptr, 0, ec); }},
      {"write PDO from null", [&] { return ethercat.WritePDO(1, 0, 4, nullptr, ec); }},
      {"write SDO from null", [&] { return ethercat.WriteSDO(1, 1, 0, 4, nullptr, 0, ec); }},
      {"write PDO over 1 MiB", [&] { return ethercat.WritePDO(1, 0, static_cast<int>(big.size()), big.data(), ec); }},
      {"write SDO over 1 MiB",
       [&] { return ethercat.WriteSDO(1, 1, 0, static_cast<int>(big.size()), big.data(), 0, ec); }},
      {"SDO item over 50 bytes",
       [&] {
         return ethercat.WriteMultiSDO(1, {SDOData(), tooLong}, ec);
       }},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(ec.value(), 259) << c.what;
  }
  EXPECT_EQ(command().log().size(), 0u);
  // 1 MiB of data is about 2 MiB of request text, more than the line the controller reads: the
  // link refuses it unsent. Less goes out; a zero count needs no buffer.
  EXPECT_FALSE(ethercat.WritePDO(1, 0, 1 << 20, big.data(), ec));
  EXPECT_EQ(ec.value(), 259);
  EXPECT_FALSE(ethercat.WritePDO(1, 0, 64 * 1024, big.data(), ec));
  EXPECT_EQ(ec.value(), -3);  // the bus has 64 bytes of process data
  EXPECT_TRUE(ethercat.ReadPDO(1, 0, 0, nullptr, ec));
  EXPECT_EQ(command().log().size(), 2u);
}

TEST_F(EthercatTest, ReadsCopyAtMostTheCallersBuffer) {
  BaseEthercat ethercat(robotLink);
  Json::Value bytes(Json::arrayValue);
  for (int i = 0; i < 64; ++i) bytes.append(i);
  Json::Value reply;
  reply["data"] = bytes;
  command().script("ethercat.read_PDO_data", Behaviour::reply(reply).times(1));
  command().script("ethercat.read_SDO_data", Behaviour::reply(reply).times(1));
  command().script("ethercat.read_PDO_data", Behaviour::reply(parseJson(R"({"data":[256,-1,511]})")).times(1));

  // 8 guard bytes on each side of the 8 the caller offers.
  std::array<std::uint8_t, 24> buffer{};
  const auto check = [&](const char* what) {
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(buffer[i], 0xA5) << what << " guard " << i;
      EXPECT_EQ(buffer[8 + i], i) << what << " byte " << i;
      EXPECT_EQ(buffer[16 + i], 0xA5) << what << " guard " << 16 + i;
    }
  };
  buffer.fill(0xA5);
  EXPECT_TRUE(ethercat.ReadPDO(1, 0, 8, buffer.data() + 8, ec));
  check("PDO");
  buffer.fill(0xA5);
  EXPECT_TRUE(ethercat.ReadSDO(1, 0x1000, 0, 8, buffer.data() + 8, 0, ec));
  check("SDO");
  std::array<std::uint8_t, 3> low{};
  EXPECT_TRUE(ethercat.ReadPDO(1, 0, 3, low.data(), ec));
  EXPECT_EQ(low, (std::array<std::uint8_t, 3>{0, 255, 255}));
}

// Every key answered with each kind of reply: a code each (columns in the order of `ops`), the
// zero result with a failure, and no terminate (CI runs this under ASan/UBSan).
TEST_F(EthercatTest, EveryReplyKindGivesItsCode) {
  BaseEthercat ethercat(robotLink);
  std::array<std::uint8_t, 8> buffer{};
  const std::uint8_t bytes[] = {1, 2};
  struct Op {
    const char* key;
    std::function<bool()> call;  // true for a success result
  };
  const Op ops[] = {
      {"ethercat.get_con_slaves_num", [&] { return ethercat.GetSlaveCount(ec) != 0; }},
      {"ethercat.get_slave_info", [&] { return !ethercat.GetSlaveInfo(1, ec).slaveName.empty(); }},
      {"ethercat.get_slaves_state", [&] { return ethercat.GetSlaveState(1, ec) != 0; }},
      {"ethercat.read_PDO_data", [&] { return ethercat.ReadPDO(1, 0, 8, buffer.data(), ec); }},
      {"ethercat.read_SDO_data", [&] { return ethercat.ReadSDO(1, 1, 0, 8, buffer.data(), 0, ec); }},
      {"ethercat.set_slaves_state", [&] { return ethercat.SetSlavesState(2, ec); }},
      {"ethercat.write_PDO_data", [&] { return ethercat.WritePDO(1, 0, 2, bytes, ec); }},
      {"ethercat.write_SDO_data", [&] { return ethercat.WriteSDO(1, 1, 0, 2, bytes, 0, ec); }},
      {"ethercat.write_multi_SDO_data", [&] { return ethercat.WriteMultiSDO(1, {SDOData()}, ec); }},
  };
  struct Row {
    const char* reply;
    std::array<int, 9> codes;  // count, info, state, rPDO, rSDO, set, wPDO, wSDO, multi
  };
  const Row rows[] = {
      {"-3", {-3, -3, -3, -3, -3, -3, -3, -3, -3}},
      {"-1", {-1, -1, -1, -1, 0, 0, 0, 0, 0}},
      {"5", {5, 5, 5, 5, 5, 0, 0, 0, 0}},
      {"0", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {"1.5", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {"4294967296", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {R"("text")", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {"true", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {"null", {257, 257, 0, 257, 257, 0, 0, 0, 0}},
      {"[]", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {"{}", {257, 257, 0, 257, 257, 0, 0, 0, 0}},
      {R"({"data":"x"})", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {R"({"data":[{"addr":"x"}]})", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {R"({"data":{"vendorId":"x"}})", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {R"({"data":{"vendorId":-1.5}})", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
      {R"({"data":[1.5]})", {257, 257, 257, 257, 257, 0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < std::size(ops); ++i) {
      SCOPED_TRACE(std::string(ops[i].key) + " <- " + row.reply);
      command().script(ops[i].key, Behaviour::reply(parseJson(row.reply)).times(1));
      const bool succeeded = ops[i].call();
      EXPECT_EQ(ec.value(), row.codes[i]);
      // No read finds anything here; a write succeeds unless refused, -1 included.
      const bool write = i >= 5;
      EXPECT_EQ(succeeded, write && row.codes[i] == 0 && std::string(row.reply) != "-1");
    }
  }
  // A reply whose form member is not an object: the link's 257 for every key.
  for (const Op& op : ops) {
    SCOPED_TRACE(op.key);
    command().script(op.key, Behaviour::wrongKind().times(1));
    EXPECT_FALSE(op.call());
    EXPECT_EQ(ec.value(), 257);
  }
}

TEST_F(EthercatTest, SlaveListingKeepsTheFirstFailureAndStopsWhenTheLinkFails) {
  BaseEthercat ethercat(robotLink);
  command().script("ethercat.get_slave_info", Behaviour::reply(-5).times(1));
  std::vector<SlaveInfo> slaves = ethercat.GetSlavesInfo(ec);
  EXPECT_EQ(ec.value(), -5);
  ASSERT_EQ(slaves.size(), 3u);
  EXPECT_EQ(slaves[0].slaveName, "");
  EXPECT_EQ(slaves[2].slaveName, "io-3");

  command().log().clear();
  command().script("ethercat.get_slave_info", Behaviour::drop().times(1));
  slaves = ethercat.GetSlavesInfo(ec);
  EXPECT_EQ(ec.value(), 256);
  ASSERT_EQ(slaves.size(), 3u);
  EXPECT_EQ(slaves[2].slaveName, "");
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(command().log().count("ethercat.get_slave_info"), 1u);
  EXPECT_EQ(command().log().count("ethercat.get_slaves_state"), 1u);
}

TEST_F(EthercatTest, ASilentControllerEndsTheListingAfterOneTimeout) {
  // The EtherCAT link takes the robot link's waits.
  BaseEthercat ethercat(connectedLink(address(), withRequestWait(200ms)));
  command().script("ethercat.get_slave_info", Behaviour::silent().times(1));
  const auto slaves = ethercat.GetSlavesInfo(ec);
  EXPECT_EQ(ec.value(), 263);
  EXPECT_EQ(slaves.size(), 3u);
  EXPECT_EQ(command().log().count("ethercat.get_slave_info"), 1u);
}

TEST_F(EthercatTest, AFailedPdoReadIsAlsoPrintedOnStderr) {
  BaseEthercat ethercat(robotLink);
  command().script("ethercat.read_PDO_data", Behaviour::drop().times(1));
  std::array<std::uint8_t, 4> buffer{};
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(ethercat.ReadPDO(1, 0, 4, buffer.data(), ec));
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(ec.value(), 256);
  EXPECT_EQ(printed, "ReadPDO ec: " + ec.message() + "\n");
}

TEST_F(EthercatTest, AMovedFromObjectOwnsNothing) {
  BaseEthercat original(robotLink);
  BaseEthercat owner(std::move(original));
  EXPECT_EQ(owner.GetSlaveCount(ec), 3);
  const std::size_t sent = command().log().size();
  std::array<std::uint8_t, 4> buffer{};
  // NOLINTBEGIN(bugprone-use-after-move): the empty state is the point
  EXPECT_EQ(original.GetSlaveCount(ec), 0);
  EXPECT_EQ(ec.value(), 255);
  EXPECT_EQ(original.GetSlaveInfo(1, ec).vendorId, 0u);
  EXPECT_EQ(ec.value(), 255);
  EXPECT_TRUE(original.GetSlavesInfo(ec).empty());
  EXPECT_EQ(ec.value(), 255);
  EXPECT_EQ(original.GetSlaveState(1, ec), 0);
  EXPECT_EQ(ec.value(), 255);
  EXPECT_FALSE(original.SetSlavesState(8, ec));
  EXPECT_EQ(ec.value(), 255);
  EXPECT_FALSE(original.ReadPDO(1, 0, 4, buffer.data(), ec));
  EXPECT_EQ(ec.value(), 255);
  EXPECT_FALSE(original.WritePDO(1, 0, 4, buffer.data(), ec));
  EXPECT_EQ(ec.value(), 255);
  EXPECT_FALSE(original.ReadSDO(1, 1, 0, 4, buffer.data(), 0, ec));
  EXPECT_EQ(ec.value(), 255);
  EXPECT_FALSE(original.WriteSDO(1, 1, 0, 4, buffer.data(), 0, ec));
  EXPECT_EQ(ec.value(), 255);
  EXPECT_FALSE(original.WriteMultiSDO(1, {}, ec));
  EXPECT_EQ(ec.value(), 255);
  // NOLINTEND(bugprone-use-after-move)
  EXPECT_EQ(command().log().size(), sent);

  { BaseEthercat gone(std::move(owner)); }  // the link's owner stops it once
  EXPECT_TRUE(waitUntil([&] { return command().openConnections() == 1; }, 2s));
  BaseEthercat replaced(robotLink);
  BaseEthercat replacing(robotLink);
  EXPECT_TRUE(waitUntil([&] { return command().openConnections() == 3; }, 2s));
  replaced = std::move(replacing);
  EXPECT_TRUE(waitUntil([&] { return command().openConnections() == 2; }, 2s));
  EXPECT_EQ(replaced.GetSlaveCount(ec), 3);
}

TEST_F(EthercatTest, AnObjectOutlivesTheRobotsLink) {
  BaseEthercat ethercat(robotLink);
  robotLink.reset();  // the only owner: the robot's link stops
  EXPECT_TRUE(waitUntil([&] { return command().openConnections() == 1; }, 2s));
  EXPECT_EQ(ethercat.GetSlaveState(3, ec), 4);
  EXPECT_FALSE(ec);
}

TEST_F(EthercatTest, ConcurrentCallsEachGetTheirOwnReply) {
  BaseEthercat ethercat(robotLink);
  const std::uint16_t expected[] = {1, 2, 4};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        std::error_code own;
        const int addr = (t + i) % 3 + 1;
        if (ethercat.GetSlaveState(addr, own) != expected[addr - 1] || own) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// A robot that never connected has no address: the object's link must not resolve the empty
// host to this machine.
TEST(EthercatLink, ANeverConnectedRobotLinkThrowsWithoutTouchingLoopback) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  ASSERT_GE(listener, 0);
  const int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(6666);
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || ::listen(listener, 4) != 0) {
    ::close(listener);
    GTEST_SKIP() << "127.0.0.1:6666 is taken by another program";
  }
  auto neverConnected = std::make_shared<velmora::internal::XService>();
  EXPECT_THROW(BaseEthercat{neverConnected}, velmora::NetworkException);
  EXPECT_THROW(BaseEthercat{nullptr}, velmora::NetworkException);
  pollfd waiting{listener, POLLIN, 0};
  EXPECT_EQ(::poll(&waiting, 1, 200), 0) << "something connected to 127.0.0.1:6666";
  ::close(listener);
}

}  // namespace
