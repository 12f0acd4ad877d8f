#include <gmock/gmock.h>

#include <json/value.h>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include <random>

#include "common/md5.h"
#include "support/loopback.h"
#include "support/process_stats.h"
#include "support/raw_client.h"
#include "support/sim_fixture.h"
#include "velmora_sim/md5.h"

using velmora_sim::Behaviour;
using velmora_sim::Form;
using namespace std::chrono_literals;

namespace {

class SimulatorControllerTest : public SimTest {
 protected:
  std::string ask(RawClient& client, const std::string& request) {
    EXPECT_TRUE(client.send(request + "\r"));
    return client.readMessage(2s).value_or("");
  }
};

std::string announce(std::size_t length, const std::string& md5, const std::string& name = "\"f.bin\"") {
  return R"({"c":{"ix.sdk.transferInit":{"function":"import_project","len":)" + std::to_string(length) + R"(,"md5":")" +
         md5 + R"(","name":)" + name + R"(,"overwrite":true}},"id":1})";
}

}  // namespace

TEST(SimulatorMd5, MatchesTheKnownDigestsAndTheLibrarysOwn) {
  const std::vector<std::pair<std::string, std::string>> vectors = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [input, digest] : vectors) EXPECT_EQ(velmora_sim::md5Hex(input), digest) << input;
  // Every tail length around the block and padding boundaries, against the library's digest.
  std::mt19937 random(3);
  for (std::size_t length = 0; length < 300; ++length) {
    std::string bytes(length, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    velmora::internal::Md5 ctx;
    velmora::internal::Md5::init(ctx);
    velmora::internal::Md5::update(ctx, bytes.data(), bytes.size());
    ASSERT_EQ(velmora_sim::md5Hex(bytes), velmora::internal::Md5::hexDigest(ctx, false)) << length;
  }
}

TEST_F(SimulatorControllerTest, TheFileServiceJudgesBytesAgainstTheirAnnouncement) {
  RawClient control(address(), 6666);
  RawClient file(address(), 7777);
  ASSERT_TRUE(control.connected());
  ASSERT_TRUE(file.connected());
  const std::string good = velmora_sim::md5Hex("hello");
  const std::vector<std::string> refused = {
      announce(0, good),
      announce(5, std::string(32, 'A')),  // upper case
      announce(5, good.substr(1)),
      announce(5, good, "7"),
      R"({"c":{"ix.sdk.transferInit":{"len":5.0,"md5":")" + good + R"(","name":"f"}},"id":1})",
      R"({"c":{"ix.sdk.transferInit":[5]},"id":1})",
  };
  for (const auto& request : refused) {
    EXPECT_EQ(ask(control, request), R"({"c":{"ix.sdk.transferInit":-1},"id":1})") << request;
  }
  EXPECT_EQ(files().pendingExpectations(), 0u);

  EXPECT_EQ(ask(control, announce(5, good)), R"({"c":{"ix.sdk.transferInit":0},"id":1})");
  ASSERT_TRUE(file.send("hello"));
  EXPECT_EQ(file.readMessage(2s).value_or(""), R"({"f":"success"})");
  EXPECT_EQ(ask(control, announce(5, good)), R"({"c":{"ix.sdk.transferInit":0},"id":1})");
  ASSERT_TRUE(file.send("hellO"));
  EXPECT_EQ(file.readMessage(2s).value_or(""), R"({"f":"error"})");

  // A test's script comes first; clearing scripts gives the controller's answer back.
  command().script("ix.sdk.transferInit", Behaviour::reply(-9).times(1));
  EXPECT_EQ(ask(control, announce(5, good)), R"({"c":{"ix.sdk.transferInit":-9},"id":1})");
  command().clearScripts();
  EXPECT_EQ(ask(control, announce(5, good)), R"({"c":{"ix.sdk.transferInit":0},"id":1})");
}

TEST_F(SimulatorControllerTest, StateKeysDriveTheStreamToTheClientsAddress) {
  asio::io_context io;
  asio::ip::udp::socket stream(io, asio::ip::udp::endpoint(asio::ip::make_address(address()), 0));
  const unsigned short port = stream.local_endpoint().port();
  RawClient control(address(), 6666);
  ASSERT_TRUE(control.connected());
  // The connection comes from the host's default loopback address; the stream goes where the
  // client says it listens.
  EXPECT_EQ(ask(control, R"({"id":1,"s":{"eci.ip":"no address"}})"), R"({"id":1,"s":{"eci.ip":0}})");
  EXPECT_EQ(ask(control, R"({"id":1,"s":{"eci.ip":")" + address() + "\"}}"), R"({"id":1,"s":{"eci.ip":0}})");
  EXPECT_EQ(ask(control, R"({"g":{"eci.port":null},"id":1})"),
            R"({"g":{"eci.port":{"broadcast":1338,"rt":1337}},"id":1})");
  EXPECT_EQ(ask(control, R"({"id":2,"s":{"eci.fields.out":["q_m"]}})"), R"({"id":2,"s":{"eci.fields.out":0}})");
  EXPECT_EQ(ask(control, R"({"id":3,"s":{"eci.port":{"broadcast_in":)" + std::to_string(port) + "}}}"),
            R"({"id":3,"s":{"eci.port":0}})");
  EXPECT_EQ(ask(control, R"({"c":{"eci.pub.start":1},"id":4})"), R"({"c":{"eci.pub.start":0},"id":4})");
  ASSERT_TRUE(waitUntil([&] { return stream.available() > 0; }, 2s));
  char packet[1100];
  asio::ip::udp::endpoint from;
  EXPECT_EQ(stream.receive_from(asio::buffer(packet), from), sim().state().packetSize());
  // As a controller's stream, from the controller's own address.
  EXPECT_EQ(from.address().to_string(), address());
  EXPECT_EQ(ask(control, R"({"c":{"eci.pub.stop":null},"id":5})"), R"({"c":{"eci.pub.stop":0},"id":5})");
  EXPECT_FALSE(sim().state().running());

  RawClient realtime(address(), 1337);
  EXPECT_TRUE(realtime.connected());
  EXPECT_TRUE(waitUntil([&] { return sim().rtPort().acceptedCount() == 1; }, 2s));
}

TEST(SimulatorOptionsTest, PortsOfZeroAreChosenFreeAndNamedByEciPort) {
  velmora_sim::SimulatorOptions options;
  options.address = testLoopbackAddress();
  options.commandPort = 0;
  options.filePort = 0;
  options.rtPort = 0;
  options.broadcastPort = 4242;
  velmora_sim::Simulator sim(options);
  EXPECT_NE(sim.rtPort().port(), 0);
  RawClient control(options.address, sim.command().port());
  ASSERT_TRUE(control.send("{\"g\":{\"eci.port\":null},\"id\":1}\r"));
  EXPECT_EQ(control.readMessage(2s).value_or(""),
            R"({"g":{"eci.port":{"broadcast":4242,"rt":)" + std::to_string(sim.rtPort().port()) + "}},\"id\":1}");
}

TEST_F(SimulatorControllerTest, SystemInformationIsTheControllersIdentity) {
  RawClient client(address(), 6666);
  ASSERT_TRUE(client.connected());
  EXPECT_EQ(ask(client, R"({"g":{"sys.info":null},"id":1})"),
            R"({"g":{"sys.info":{"id":"VELSIM0000000001","joint_num":7,"mac":"02:00:00:00:00:01",)"
            R"("type":"Sim-C7","version":"3.1.0","work_type":"cobot"}},"id":1})");
  velmora_sim::ControllerInfo identity;
  identity.id = "X";
  identity.jointCount = 6;
  identity.workType = "";
  sim().setInfo(identity);
  EXPECT_EQ(ask(client, R"({"g":{"sys.info":null},"id":2})"),
            R"({"g":{"sys.info":{"id":"X","joint_num":6,"mac":"02:00:00:00:00:01","type":"Sim-C7",)"
            R"("version":"3.1.0"}},"id":2})");
}

TEST_F(SimulatorControllerTest, PublishesOnlyWhatEachConnectionWatches) {
  RawClient watcher(address(), 6666);
  RawClient other(address(), 6666);
  ASSERT_TRUE(watcher.connected() && other.connected());
  ASSERT_TRUE(command().waitForOpenConnections(2, 2s));
  EXPECT_EQ(ask(watcher, R"({"id":1,"w":{"log.user":true,"safety.event.collision":true}})"),
            R"({"id":1,"w":{"log.user":true,"safety.event.collision":true}})");
  Json::Value topics(Json::objectValue);
  topics["safety.event.collision"] = true;
  topics["project.tasks_pointer"] = Json::Value(Json::arrayValue);
  EXPECT_EQ(command().publish(topics), 1);
  const auto message = watcher.readMessage(2s);
  ASSERT_TRUE(message);
  EXPECT_NE(message->find(R"("n":{"safety.event.collision":true})"), std::string::npos) << *message;
  EXPECT_FALSE(other.readMessage(100ms));
  // Switched off, and a new connection starts with no watch.
  EXPECT_EQ(ask(watcher, R"({"id":2,"w":{"safety.event.collision":false}})"),
            R"({"id":2,"w":{"safety.event.collision":false}})");
  EXPECT_EQ(command().publish(topics), 0);
  command().dropConnections();
  RawClient fresh(address(), 6666);
  ASSERT_TRUE(command().waitForOpenConnections(1, 2s));
  EXPECT_EQ(command().publish(topics), 0);
}
