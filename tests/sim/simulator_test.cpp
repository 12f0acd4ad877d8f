#include <gmock/gmock.h>

#include <json/value.h>

#include <thread>

#include "support/process_stats.h"
#include "support/raw_client.h"
#include "support/sim_fixture.h"

using velmora_sim::Behaviour;
using velmora_sim::Form;
using velmora_sim::Verdict;
using namespace std::chrono_literals;

namespace {

class SimulatorTest : public SimTest {
 protected:
  // Sends one request and returns the reply's text (without its carriage return), or "" when
  // none came within `wait`.
  std::string ask(RawClient& client, const std::string& request, std::chrono::milliseconds wait = 2s) {
    EXPECT_TRUE(client.send(request + "\r"));
    return client.readMessage(wait).value_or("");
  }
};

}  // namespace

TEST_F(SimulatorTest, MirrorsEachFormWithItsDefaultAndLogsEveryKey) {
  RawClient client(address(), 6666);
  ASSERT_TRUE(client.connected());
  const std::vector<std::pair<std::string, std::string>> exchanges = {
      {R"({"c":{"sys.power.on":null},"id":1})", R"({"c":{"sys.power.on":0},"id":1})"},
      {R"({"id":2,"s":{"eci.ip":"10.0.0.2"}})", R"({"id":2,"s":{"eci.ip":0}})"},
      {R"({"g":{"a":1,"b":[2]},"id":3})", R"({"g":{"a":null,"b":null},"id":3})"},
      {R"({"id":4,"w":{"safety.event.collision":false}})", R"({"id":4,"w":{"safety.event.collision":false}})"},
      {R"({"c":{"move.append":{"x":1}},"id":"cmd-7"})", R"({"c":{"move.append":0},"id":"cmd-7"})"},
  };
  for (const auto& [request, reply] : exchanges) EXPECT_EQ(ask(client, request), reply) << request;

  // Messages that are not requests are logged and not answered.
  EXPECT_EQ(ask(client, "not json", 100ms), "");
  EXPECT_EQ(ask(client, R"({"c":5,"id":9})", 100ms), "");

  const auto log = command().log().all();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[2].form, Form::get);
  EXPECT_EQ(log[2].key, "a");
  EXPECT_EQ(log[3].key, "b");
  EXPECT_EQ(log[3].payload[0].asInt(), 2);
  EXPECT_EQ(log[3].id.asInt(), 3);
  EXPECT_EQ(log[4].form, Form::watch);
  EXPECT_EQ(log[5].id.asString(), "cmd-7");
  EXPECT_EQ(log[6].form, Form::other);
  EXPECT_EQ(log[6].raw, "not json\r");
  EXPECT_EQ(log[7].key, "");
  EXPECT_EQ(log[7].payload.asInt(), 5);
  for (const auto& r : log) EXPECT_EQ(r.connection, 1);
}

TEST_F(SimulatorTest, ScriptedStepsApplyInOrderThenFallBack) {
  command().script(Form::set, "eci.ip", Behaviour::reply(-4).times(1));
  command().script("k", Behaviour::silent().times(1));
  command().script("k", Behaviour::wrongKind().times(1));
  command().script("k", Behaviour::message(Json::Value("bare")).times(1));
  command().script("k", Behaviour::reply("late").after(150ms).times(1));
  command().handle(Form::get, "k", [](velmora_sim::Exchange& x) { x.reply(x.request().payload); });
  RawClient client(address(), 6666);
  EXPECT_EQ(ask(client, R"({"id":1,"s":{"eci.ip":"x"}})"), R"({"id":1,"s":{"eci.ip":-4}})");
  EXPECT_EQ(ask(client, R"({"id":2,"s":{"eci.ip":"x"}})"), R"({"id":2,"s":{"eci.ip":0}})");
  EXPECT_EQ(ask(client, R"({"g":{"k":1},"id":3})", 150ms), "");
  EXPECT_EQ(ask(client, R"({"g":{"k":1},"id":4})"), R"({"g":"wrong kind","id":4})");
  EXPECT_EQ(ask(client, R"({"g":{"k":1},"id":5})"), R"("bare")");
  const auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(ask(client, R"({"g":{"k":1},"id":6})"), R"({"g":{"k":"late"},"id":6})");
  EXPECT_GE(std::chrono::steady_clock::now() - sent, 140ms);
  EXPECT_EQ(ask(client, R"({"g":{"k":7},"id":7})"), R"({"g":{"k":7},"id":7})");
  EXPECT_THAT(command().unusedSteps(), ::testing::IsEmpty());

  command().script("never", Behaviour::drop().times(2));
  EXPECT_THAT(command().unusedSteps(), ::testing::ElementsAre("* never: drop x2"));
  command().clearScripts();
}

TEST_F(SimulatorTest, DropsRefusesAndPushesNotificationsToEveryConnection) {
  command().script("bye", Behaviour::drop().times(1));
  RawClient first(address(), 6666);
  RawClient second(address(), 6666);
  ASSERT_TRUE(command().waitForOpenConnections(2, 2s));
  Json::Value topics;
  topics["safety.event.collision"]["joint"] = 3;
  EXPECT_EQ(command().notify(topics), 2);
  EXPECT_EQ(first.readMessage(2s).value_or(""), R"({"id":1,"n":{"safety.event.collision":{"joint":3}}})");
  EXPECT_EQ(second.readMessage(2s).value_or(""), R"({"id":1,"n":{"safety.event.collision":{"joint":3}}})");

  first.send("{\"c\":{\"bye\":null},\"id\":1}\r");
  EXPECT_TRUE(first.waitClosed(2s));
  EXPECT_TRUE(command().waitForOpenConnections(1, 2s));
  command().dropConnections();
  EXPECT_TRUE(second.waitClosed(2s));

  command().refuse(true);
  EXPECT_FALSE(RawClient(address(), 6666).connected());
  command().refuse(false);
  EXPECT_TRUE(RawClient(address(), 6666).connected());
  EXPECT_TRUE(waitUntil([&] { return command().acceptCount() == 3; }, 2s));
}

TEST_F(SimulatorTest, FileServiceCutsArmedTransfersAndAnswersTheirVerdicts) {
  RawClient client(address(), 7777);
  ASSERT_TRUE(client.send("stray"));
  ASSERT_TRUE(waitUntil([&] { return files().strayBytes() == 5; }, 2s));
  files().expect(3, Verdict::success());
  files().expect(4, [](const std::string& bytes) {
    return bytes == std::string("\r\0\n\xff", 4) ? Verdict::error() : Verdict::close();
  });
  files().expect(2, Verdict::text("maybe").after(50ms));
  // Two transfers in one write, the third split.
  ASSERT_TRUE(client.send(std::string("abc\r\0\n\xff", 7) + "x"));
  EXPECT_EQ(client.readMessage(2s).value_or(""), R"({"f":"success"})");
  EXPECT_EQ(client.readMessage(2s).value_or(""), R"({"f":"error"})");
  ASSERT_TRUE(client.send("y"));
  EXPECT_EQ(client.readMessage(2s).value_or(""), R"({"f":"maybe"})");
  const auto files = this->files().received();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[1].bytes, std::string("\r\0\n\xff", 4));
  EXPECT_EQ(files[2].bytes, "xy");
  EXPECT_EQ(this->files().pendingExpectations(), 0u);
}

#ifdef VELMORA_SIM_PROGRAM
#include <signal.h>

#include <velmora/exception.h>
#include <velmora/upgrade.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "common/temp_dir.h"
#include "support/child_process.h"
#include "support/json_match.h"
#include "support/loopback.h"

namespace {

// The program with `args` on the test's own address.
std::unique_ptr<ChildProcess> spawnProgram(const std::string& address, std::vector<std::string> args) {
  args.insert(args.begin(), {VELMORA_SIM_PROGRAM, "--address", address});
  return std::make_unique<ChildProcess>(std::move(args));
}

// Ctrl-C, then the exit status.
int interrupt(ChildProcess& program) { return program.signalAndWait(SIGINT, 5s); }

// A command connection to the program, once it listens.
std::unique_ptr<RawClient> connectTo(const std::string& address) {
  std::unique_ptr<RawClient> client;
  waitUntil(
      [&] {
        client = std::make_unique<RawClient>(address, 6666);
        return client->connected();
      },
      5s);
  return client;
}

}  // namespace

TEST(SimulatorProgram, HelpPrintsTheOptionsAndExitsZero) {
  // Closed (and the program reaped) on every path.
  std::unique_ptr<FILE, int (*)(FILE*)> out(::popen(VELMORA_SIM_PROGRAM " --help", "r"), ::pclose);
  ASSERT_NE(out, nullptr);
  std::string text;
  char chunk[256];
  while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, out.get())) text.append(chunk, n);
  EXPECT_EQ(::pclose(out.release()), 0);
  EXPECT_THAT(text, ::testing::HasSubstr("--address"));
  EXPECT_THAT(text, ::testing::HasSubstr("--command-port"));
  EXPECT_THAT(text, ::testing::HasSubstr("--rt-port"));
  EXPECT_THAT(text, ::testing::HasSubstr("--stream-interval-us"));
  EXPECT_THAT(text, ::testing::HasSubstr("--time-scale"));
  for (const auto& arm : velmora_sim::arm::arms()) EXPECT_THAT(text, ::testing::HasSubstr(arm.robotClass));
}

TEST(SimulatorProgram, AnswersAHandTypedRequestAndStopsOnCtrlC) {
  const std::string address = testLoopbackAddress();
  const auto program = spawnProgram(address, {});
  ASSERT_TRUE(program->running());
  const auto client = connectTo(address);
  ASSERT_TRUE(client->connected());
  ASSERT_TRUE(client->send("{\"c\":{\"sys.power.on\":null},\"id\":1}\r"));
  EXPECT_EQ(client->readMessage(2s).value_or(""), R"({"c":{"sys.power.on":0},"id":1})");
  EXPECT_EQ(interrupt(*program), 0);
}

TEST(SimulatorProgram, MovesItsArmAtTheTimeScaleAndReportsWhenTheMotionEnds) {
  const std::string address = testLoopbackAddress();
  const auto program = spawnProgram(address, {"--time-scale", "0.05"});
  ASSERT_TRUE(program->running());
  const auto client = connectTo(address);
  ASSERT_TRUE(client->connected());
  ASSERT_TRUE(client->send("{\"c\":{\"sys.power.on\":null},\"id\":1}\r"));
  EXPECT_EQ(client->readMessage(2s).value_or(""), R"({"c":{"sys.power.on":0},"id":1})");
  // 0.4 rad at 0.4 rad/s: one second of motion, 50 ms here.
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(
      client->send(R"({"c":{"move.j":{"point":[0.5,0.2,0.3,0.4,0.5,0.6,0.7],"traj":{"speed":0.4}}},"id":"absj#0"})"
                   "\r"
                   R"({"c":{"move.continue":0},"id":2})"
                   "\r"));
  EXPECT_EQ(client->readMessage(2s).value_or(""), R"({"c":{"move.j":0},"id":"absj#0"})");
  EXPECT_EQ(client->readMessage(2s).value_or(""), R"({"c":{"move.continue":0},"id":2})");
  EXPECT_EQ(
      client->readMessage(2s).value_or(""),
      R"({"id":1,"n":{"move.last_error_with_setting":{"data":{"id":"absj#0","msg":"finish:0","point":0},"error":0}}})");
  EXPECT_GE(std::chrono::steady_clock::now() - sent, 45ms) << "not before the motion ended";
  ASSERT_TRUE(client->send("{\"g\":{\"sys.rt.jnt_pos\":null},\"id\":3}\r"));
  EXPECT_THAT(parseJson(client->readMessage(2s).value_or("null"))["g"]["sys.rt.jnt_pos"],
              JsonIs("[0.5, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7]"))
      << "at the target";
  EXPECT_EQ(interrupt(*program), 0);

  EXPECT_EQ(spawnProgram(address, {"--time-scale", "-1"})->exitStatus(5s), 2) << "a scale below 0 is refused";
}

TEST(SimulatorProgram, AnswersAsTheArmItIsAskedToBe) {
  const std::string address = testLoopbackAddress();
  EXPECT_EQ(spawnProgram(address, {"--arm", "Sorn5Robot"})->exitStatus(5s), 2) << "no such class";
  const auto program = spawnProgram(address, {"--arm", "Sorn3Robot"});
  ASSERT_TRUE(program->running());
  const auto client = connectTo(address);
  ASSERT_TRUE(client->connected());
  ASSERT_TRUE(client->send("{\"g\":{\"sys.info\":null},\"id\":1}\r"));
  const Json::Value info = parseJson(client->readMessage(2s).value_or("null"))["g"]["sys.info"];
  EXPECT_EQ(info["joint_num"], 3);
  EXPECT_EQ(info["work_type"], "industrial");
  EXPECT_EQ(interrupt(*program), 0);
}

TEST(SimulatorProgram, ServesUpgradesAndBackupsWhenAsked) {
  const std::string address = testLoopbackAddress();
  const auto program = spawnProgram(address, {"--upgrade"});
  ASSERT_TRUE(program->running());
  TempDir dir;
  std::ofstream(dir / "package.zip") << "package bytes";
  velmora::BaseUpgrade client;
  std::error_code ec;
  ASSERT_TRUE(waitUntil(
      [&] {
        try {
          client.connect(address);
          return true;
        } catch (const velmora::NetworkException&) {
          return false;
        }
      },
      5s));
  client.upgrade(dir / "package.zip", ec);
  EXPECT_EQ(ec.value(), 0);
  client.exportBackup(dir / "backup.zip", {velmora::BackupItem::controllerLog}, ec);
  EXPECT_EQ(ec.value(), 0);
  EXPECT_FALSE(readFile(dir / "backup.zip").empty());
  EXPECT_EQ(interrupt(*program), 0);
}
#endif
