#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/write.hpp>

#include <chrono>
#include <thread>

#include "network/state_stream/stream_fixture.h"
#include "velmora_sim/state_commands.h"
#include "velmora_sim/state_rt_port.h"

using namespace velmora::internal;
using namespace std::chrono_literals;
using velmora::sim::handleStateKey;
using velmora::sim::StateKeySettings;

namespace {

Json::Value array(std::initializer_list<const char*> names) {
  Json::Value value(Json::arrayValue);
  for (const char* name : names) value.append(name);
  return value;
}

template <typename Predicate>
bool eventually(Predicate predicate) {
  const auto until = std::chrono::steady_clock::now() + 2s;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

}  // namespace

TEST_F(StreamTest, CommandKeysDriveTheStream) {
  velmora::sim::StatePublisher controller{address};  // no target yet, as after a fresh connection
  StateKeySettings settings;
  settings.rtPort = 4001;
  settings.broadcastPort = kPort;
  auto handle = [&](char form, const char* key, const Json::Value& value) {
    return handleStateKey(controller, settings, form, key, value, address);
  };

  const auto ports = handle('g', "eci.port", Json::Value());
  ASSERT_TRUE(ports);
  EXPECT_EQ((*ports)["rt"].asInt(), 4001);
  EXPECT_EQ((*ports)["broadcast"].asInt(), int(kPort));

  const struct {
    Json::Value value;
    int reply;
  } fieldCases[] = {
      {array({"ddq_m"}), 0},
      {array({"pos_m", "pos_c", "q_m", "q_c", "dq_m", "dq_c", "ddq_m", "ddq_c", "tau_m", "tau_c", "tau_filtered_m",
              "tau_vel_c", "theta_m", "theta_vel_m", "motor_tau", "motor_tau_filtered"}),
       1},
      {array({"no_such"}), 1},
      {Json::Value("q_m"), 1},
      {array({"q_m", "dq_m"}), 0},
  };
  for (const auto& c : fieldCases) {
    const auto reply = handle('s', "eci.fields.out", c.value);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->asInt(), c.reply) << c.value.toStyledString();
  }
  EXPECT_EQ(controller.packetSize(), 140u);  // 7 axes by default

  // The receiver was pushed off its port, so the controller must be told where to send.
  DataReceiver blocker;
  blocker.setEndpoint(kPort, address, address);
  blocker.open(false);
  ASSERT_EQ(receiver.setRecipe({"dq_m", "q_m"}, 7), 0);
  std::error_code ec;
  receiver.open(ec, true);
  ASSERT_TRUE(receiver.isOpen());
  Json::Value in(Json::objectValue);
  in["broadcast_in"] = receiver.port();
  EXPECT_EQ(handle('s', "eci.port", in)->asInt(), 0);
  EXPECT_EQ(controller.targetPort(), receiver.port());
  EXPECT_EQ(handle('s', "eci.port", Json::Value(5))->asInt(), -1);

  EXPECT_EQ(handle('c', "eci.pub.start", Json::Value("fast"))->asInt(), -1);
  EXPECT_FALSE(controller.running());
  EXPECT_EQ(handle('c', "eci.pub.start", Json::Value(0))->asInt(), 0);
  EXPECT_TRUE(controller.running());
  receiver.receiveFirst();
  EXPECT_EQ(receiver.receive(1s), 140u);
  EXPECT_EQ(blocker.receive(10ms), 0u);

  EXPECT_EQ(handle('c', "eci.pub.stop", Json::Value())->asInt(), 0);
  EXPECT_FALSE(controller.running());
  while (receiver.receive(20ms) != 0) {
  }
  EXPECT_EQ(receiver.receive(30ms), 0u);

  EXPECT_FALSE(handle('c', "eci.port", Json::Value()));
  EXPECT_FALSE(handle('g', "eci.pub.start", Json::Value()));
  EXPECT_FALSE(handle('s', "sys.info", Json::Value()));
}

TEST_F(StreamTest, PublisherKeepsSubMillisecondRates) {
  subscribe({"q_m"}, 6);
  velmora::sim::StatePublisher controller{address};
  StateKeySettings settings;
  settings.broadcastPort = kPort;
  settings.intervalOverride = 250us;
  ASSERT_TRUE(handleStateKey(controller, settings, 's', "eci.fields.out", array({"q_m"}), address));
  controller.setFields(6, {"q_m"});
  ASSERT_EQ(handleStateKey(controller, settings, 'c', "eci.pub.start", Json::Value(1), address)->asInt(), 0);
  receiver.receiveFirst();
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t last = 1;
  std::uint64_t gaps = 0;
  auto take = [&] {
    const std::size_t n = receiver.receive(20ms);
    if (n == 0) return false;
    const auto ts = field<std::uint64_t>("ts");
    gaps += ts - last - 1;
    last = ts;
    return true;
  };
  while (std::chrono::steady_clock::now() - start < 200ms) take();
  controller.stop();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  while (take()) {
  }
  // 4 kHz asked; a loaded build must still beat the 1 ms floor of whole-millisecond streams (an
  // instrumented one on a busy machine, half of it).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  EXPECT_GT(double(controller.sentCount()) / seconds, 500.0);
#else
  EXPECT_GT(double(controller.sentCount()) / seconds, 1000.0);
#endif
  EXPECT_EQ(last, controller.sentCount());
  EXPECT_EQ(gaps, 0u);
}

TEST_F(StreamTest, RealtimePortAcceptsAndIgnores) {
  velmora::sim::RtPortListener listener;
  ASSERT_FALSE(listener.start(address, 1337));
  EXPECT_EQ(listener.port(), 1337);
  EXPECT_TRUE(listener.start("not an address", 1337));
  ASSERT_FALSE(listener.start(address, 1337));
  {
    asio::io_context io;
    asio::ip::tcp::socket a(io), b(io);
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(address), 1337);
    a.connect(endpoint);
    b.connect(endpoint);
    asio::write(a, asio::buffer(std::string("{\"x\":1}\r")));
    EXPECT_TRUE(eventually([&] { return listener.acceptedCount() == 2 && listener.bytesReceived() == 8; }));
    EXPECT_EQ(listener.openCount(), 2u);
    a.close();
    EXPECT_TRUE(eventually([&] { return listener.openCount() == 1; }));
  }
  listener.stop();
  listener.stop();
  EXPECT_EQ(listener.openCount(), 0u);
}
