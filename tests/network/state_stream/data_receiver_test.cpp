#include <velmora/error.h>
#include <velmora/exception.h>

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include <chrono>
#include <cstring>
#include <thread>

#include "network/state_stream/stream_fixture.h"
#include "support/lang_guard.h"

using namespace velmora::internal;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::array<double, 6> six(double v) { return {v, v, v, v, v, v}; }

}  // namespace

TEST_F(StreamTest, FirstPacketThenUpdatesOldestFirst) {
  subscribe({"q_m", "psi_m"}, 6);
  EXPECT_FALSE(receiver.isReceiving());
  ASSERT_TRUE(publisher.sendNow());
  receiver.receiveFirst();
  EXPECT_TRUE(receiver.isReceiving());
  EXPECT_EQ(field<std::uint64_t>("ts"), 1u);
  EXPECT_EQ(field<double>("psi_m"), 1.0);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(publisher.sendNow());
  for (std::uint64_t ts = 2; ts <= 6; ++ts) {
    EXPECT_EQ(receiver.receive(1s), 84u);
    EXPECT_EQ(field<std::uint64_t>("ts"), ts);
    EXPECT_EQ(field<decltype(six(0))>("q_m"), six(double(ts)));
  }
  receiver.close();
  EXPECT_FALSE(receiver.isReceiving());
  EXPECT_FALSE(receiver.isOpen());
}

TEST_F(StreamTest, FirstPacketTimeoutIsAStateError) {
  LangGuard english(1);
  const std::string expected = std::string("realtime: rtState: ") + messageText(8);
  {
    // Closed socket: the receive fails at once, no wait.
    const auto start = Clock::now();
    try {
      receiver.receiveFirst();
      ADD_FAILURE() << "no exception";
    } catch (const velmora::RealtimeStateException& e) {
      EXPECT_EQ(e.what(), expected);
    }
    EXPECT_LT(msSince(start), 100.0);
  }
  DataReceiver shorter(200ms);
  shorter.setEndpoint(kPort, address, address);
  ASSERT_EQ(shorter.setRecipe({"q_m"}, 6), 0);
  std::error_code ec;
  shorter.open(ec, false);
  ASSERT_FALSE(ec) << ec.message();
  const auto start = Clock::now();
  EXPECT_THROW(shorter.receiveFirst(), velmora::RealtimeStateException);
  EXPECT_GE(msSince(start), 190.0);
  EXPECT_LT(msSince(start), 1000.0);
  EXPECT_FALSE(shorter.isReceiving());
}

TEST_F(StreamTest, FirstPacketWaitIsThreeSecondsByDefault) {
  subscribe({}, 7);
  const auto start = Clock::now();
  EXPECT_THROW(receiver.receiveFirst(), velmora::RealtimeStateException);
  EXPECT_GE(msSince(start), 2990.0);
  EXPECT_LT(msSince(start), 3500.0);
}

TEST_F(StreamTest, ErrorFlagRaisesMotionError) {
  LangGuard english(1);
  subscribe({"q_m"}, 6);
  publisher.injectErrorFlag(15, 2);
  ASSERT_TRUE(publisher.sendNow());
  EXPECT_THROW(receiver.receiveFirst(), velmora::RealtimeMotionException);
  EXPECT_FALSE(receiver.isReceiving());
  EXPECT_EQ(field<std::uint64_t>("ts"), 1u);
  EXPECT_EQ(field<decltype(six(0))>("q_m"), six(0));

  ASSERT_TRUE(publisher.sendNow());
  receiver.receiveFirst();
  publisher.injectErrorFlag(19);
  ASSERT_TRUE(publisher.sendNow());
  try {
    receiver.receive(1s);
    ADD_FAILURE() << "no exception";
  } catch (const velmora::RealtimeMotionException& e) {
    EXPECT_EQ(e.what(), "realtime: rtMotion: " + realtimeMotionErrorText(19));
  }
  EXPECT_EQ(field<std::uint64_t>("ts"), 3u);
  EXPECT_EQ(field<decltype(six(0))>("q_m"), six(2));
}

TEST_F(StreamTest, MalformedDatagramsNeverCorruptTheFields) {
  subscribe({"psi_m", "q_m"}, 6);
  ASSERT_TRUE(publisher.sendNow());
  receiver.receiveFirst();
  struct Step {
    const char* what;
    void (*inject)(velmora::sim::StatePublisher&);
    std::size_t bytes;
    bool decoded;
    bool motionError;
  };
  const Step steps[] = {
      {"short", [](auto& p) { p.injectShort(50); }, 50, false, false},
      {"empty-ish", [](auto& p) { p.injectShort(1); }, 1, false, false},
      {"long", [](auto& p) { p.injectLong(100); }, 184, true, false},
      {"oversize", [](auto& p) { p.injectLong(2000); }, 1052, true, false},
      {"garbage", [](auto& p) { p.injectGarbage(99); }, 84, true, true},
      {"good", [](auto&) {}, 84, true, false},
  };
  std::uint64_t lastDecoded = 1;
  for (const Step& step : steps) {
    step.inject(publisher);
    ASSERT_TRUE(publisher.sendNow()) << step.what;
    const std::uint64_t sent = publisher.sentCount();
    std::size_t received = 0;
    try {
      received = receiver.receive(1s);
      EXPECT_FALSE(step.motionError) << step.what;
    } catch (const velmora::RealtimeMotionException&) {
      EXPECT_TRUE(step.motionError) << step.what;
      continue;
    }
    EXPECT_EQ(received, step.bytes) << step.what;
    if (step.decoded) lastDecoded = sent;
    EXPECT_EQ(field<std::uint64_t>("ts"), lastDecoded) << step.what;
    EXPECT_EQ(field<decltype(six(0))>("q_m"), six(double(lastDecoded))) << step.what;
  }

  // Garbage whose error bytes happen to be clear decodes as values.
  std::vector<std::uint8_t> raw(84, 0x3F);
  std::memset(&raw[8], 0, 20);
  ASSERT_TRUE(publisher.sendRaw(raw));
  EXPECT_EQ(receiver.receive(1s), 84u);
  EXPECT_EQ(field<std::uint64_t>("ts"), 0x3F3F3F3F3F3F3F3Fu);
}

TEST_F(StreamTest, ReceiveWaitsForItsTimeoutOnly) {
  subscribe({}, 7);
  auto start = Clock::now();
  EXPECT_EQ(receiver.receive(50ms), 0u);
  EXPECT_GE(msSince(start), 49.0);
  EXPECT_LT(msSince(start), 500.0);
  EXPECT_EQ(receiver.receive(0ns), 0u);
  EXPECT_EQ(receiver.receive(-5s), 0u);

  // A huge timeout must not wrap the deadline into the past.
  std::thread late([&] {
    std::this_thread::sleep_for(100ms);
    publisher.sendNow();
  });
  start = Clock::now();
  EXPECT_EQ(receiver.receive(std::chrono::nanoseconds::max()), 28u);
  EXPECT_GE(msSince(start), 90.0);
  late.join();

  // A queued datagram is taken even with no time left.
  ASSERT_TRUE(publisher.sendNow());
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(receiver.receive(0ns), 28u);
}

TEST_F(StreamTest, NoSocketMeansNothingAtOnce) {
  std::array<std::uint8_t, UdpService::kReceiveSize> buffer{};
  const auto nothingAtOnce = [&](const char* when) {
    for (const auto timeout : {std::chrono::nanoseconds(0), std::chrono::nanoseconds(2s)}) {
      const auto start = Clock::now();
      EXPECT_EQ(receiver.UdpService::receive(buffer.data(), timeout), 0u) << when;
      EXPECT_LT(msSince(start), 500.0) << when;
    }
  };
  nothingAtOnce("never opened");
  subscribe({}, 7);
  ASSERT_TRUE(publisher.sendNow());
  EXPECT_EQ(receiver.UdpService::receive(buffer.data(), 1s), 28u);
  ASSERT_TRUE(publisher.sendNow());
  receiver.close();
  nothingAtOnce("closed with a datagram queued");
}

// The system's receive time-out counts in kernel ticks, which may end a wait early or late:
// never early, and late by a tick at most.
TEST_F(StreamTest, ShortWaitsEndNeitherEarlyNorLong) {
  subscribe({}, 7);
  for (const auto timeout : {1ms, 3ms, 7ms, 12ms, 1ms}) {
    for (int i = 0; i < 5; ++i) {
      const auto start = Clock::now();
      EXPECT_EQ(receiver.receive(timeout), 0u);
      const auto took = Clock::now() - start;
      EXPECT_GE(took, timeout) << timeout.count() << " ms";
      EXPECT_LT(took, timeout + 400ms) << timeout.count() << " ms";
    }
  }
}

TEST_F(StreamTest, TakenPortFallsBackToAFreeOne) {
  // A second receiver on the same port must not share it (no SO_REUSEADDR).
  DataReceiver first;
  first.setEndpoint(kPort, address, address);
  std::error_code ec;
  first.open(ec, false);
  ASSERT_FALSE(ec);
  EXPECT_EQ(first.port(), int(kPort));

  receiver.open(ec, false);
  EXPECT_TRUE(ec);
  EXPECT_FALSE(receiver.isOpen());
  EXPECT_EQ(receiver.port(), int(kPort));

  receiver.open(ec, true);
  ASSERT_FALSE(ec) << ec.message();
  ASSERT_TRUE(receiver.isOpen());
  EXPECT_NE(receiver.port(), int(kPort));
  EXPECT_NE(receiver.port(), 0);
  ASSERT_TRUE(publisher.setTarget(address, static_cast<unsigned short>(receiver.port())));
  ASSERT_TRUE(publisher.sendNow());
  receiver.receiveFirst();
  EXPECT_EQ(first.receive(20ms), 0u);
}

TEST_F(StreamTest, LocalAddressForms) {
  struct Case {
    const char* local;
    bool opens;
  };
  const Case cases[] = {{"", true}, {"0.0.0.0", true}, {"::1", false}, {"localhost", false}, {"1.2.3", false}};
  for (const Case& c : cases) {
    DataReceiver r;
    // Port 0: a wildcard bind to a fixed port would collide with tests running in parallel.
    r.setEndpoint(0, address, c.local);
    std::error_code ec;
    r.open(ec, false);
    EXPECT_EQ(!ec, c.opens) << c.local << ": " << ec.message();
    EXPECT_EQ(r.isOpen(), c.opens) << c.local;
    if (!c.opens) continue;
    // The wildcard takes the stream sent to the test's own address.
    ASSERT_EQ(r.setRecipe({}, 7), 0);
    ASSERT_NE(r.port(), 0);
    ASSERT_TRUE(publisher.setTarget(address, static_cast<unsigned short>(r.port())));
    ASSERT_TRUE(publisher.sendNow());
    r.receiveFirst();
    EXPECT_TRUE(r.isReceiving());
  }
}

TEST_F(StreamTest, ReopenClosesFirstAndClearsReceiving) {
  DataReceiver never;
  never.close();
  EXPECT_FALSE(never.isOpen());
  EXPECT_FALSE(never.isReceiving());

  subscribe({}, 7);
  ASSERT_TRUE(publisher.sendNow());
  receiver.receiveFirst();
  ASSERT_TRUE(receiver.isReceiving());
  std::error_code ec;
  receiver.open(ec, false);  // the same port again: only works because the old socket is closed
  ASSERT_FALSE(ec) << ec.message();
  EXPECT_TRUE(receiver.isOpen());
  EXPECT_FALSE(receiver.isReceiving());
  EXPECT_EQ(receiver.port(), int(kPort));
}
