// Whose datagrams the receiver takes, and a stream asked for again that never comes back.

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include <chrono>
#include <thread>

#include "network/state_stream/stream_fixture.h"
#include "support/log_capture.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Another loopback address than the test's (the last byte changed).
std::string otherAddress(const std::string& address) {
  const auto dot = address.rfind('.');
  const int last = std::stoi(address.substr(dot + 1));
  return address.substr(0, dot + 1) + std::to_string(last == 1 ? 2 : last - 1);
}

std::size_t occurrences(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

}  // namespace

TEST_F(StreamTest, OnlyTheControllersAddressIsTaken) {
  LogCapture captured;
  subscribe({"psi_m"}, 7);
  struct Case {
    const char* name;
    std::string source;  // bound with a port the system picks
    bool taken;
  };
  // The source port is not compared: a controller sends from an ephemeral port, a new one after
  // each restart, so another port at the controller's address is the controller.
  const Case cases[] = {
      {"the controller's publisher", "", true},
      {"another port at the controller's address", address, true},
      {"a foreign address", otherAddress(address), false},
  };
  asio::io_context io;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<asio::ip::udp::socket> other;
    if (!c.source.empty()) other.emplace(io, asio::ip::udp::endpoint(asio::ip::make_address(c.source), 0));
    const std::uint64_t droppedBefore = receiver.foreignDatagrams();
    int taken = 0;
    for (int i = 0; i < 100; ++i) {
      // Zeros: no error flag set.
      const std::vector<std::uint8_t> packet(receiver.packetSize(), 0);
      if (other) {
        other->send_to(asio::buffer(packet), asio::ip::udp::endpoint(asio::ip::make_address(address), kPort));
      } else {
        ASSERT_TRUE(publisher.sendRaw(packet));
      }
      if (receiver.receive(c.taken ? 2s : 20ms) != 0) ++taken;
    }
    EXPECT_EQ(taken, c.taken ? 100 : 0);
    EXPECT_EQ(receiver.foreignDatagrams() - droppedBefore, c.taken ? 0u : 100u);
  }
  // The drops are told, at most once a second, with the count.
  const std::string text = captured.text();
  EXPECT_GE(occurrences(text, "not from the controller"), 1u) << text;
  EXPECT_LE(occurrences(text, "not from the controller"), 3u) << text;
}

TEST_F(StreamTest, ForeignDatagramsQueuedAheadAreSkippedAndAFloodHoldsNobody) {
  subscribe({"psi_m"}, 7);
  asio::io_context io;
  asio::ip::udp::socket foreign(io, asio::ip::udp::endpoint(asio::ip::make_address(otherAddress(address)), 0));
  const asio::ip::udp::endpoint target(asio::ip::make_address(address), kPort);
  const std::vector<std::uint8_t> garbage(receiver.packetSize(), 0xEE);
  // More than one call drops without looking at the clock (and few enough for the socket's
  // buffer), then the controller's packet.
  for (int i = 0; i < 100; ++i) foreign.send_to(asio::buffer(garbage), target);
  ASSERT_TRUE(publisher.sendNow());
  std::size_t received = 0;
  const auto start = Clock::now();
  while (received == 0 && Clock::now() - start < 5s) received = receiver.receive(100ms);
  EXPECT_EQ(received, receiver.packetSize());
  double psi = 0;
  ASSERT_TRUE(receiver.readField("psi_m", psi));
  EXPECT_EQ(psi, 1.0) << "the controller's first packet, not a foreign one";
  EXPECT_EQ(receiver.foreignDatagrams(), 100u);

  // A sender flooding from elsewhere holds a zero-wait call no longer than a short batch.
  std::atomic<bool> stop{false};
  std::thread flood([&] {
    while (!stop) foreign.send_to(asio::buffer(garbage), target);
  });
  for (int i = 0; i < 20; ++i) {
    const auto began = Clock::now();
    EXPECT_EQ(receiver.receive(0ns), 0u);
    EXPECT_LT(Clock::now() - began, 1s);
  }
  const auto began = Clock::now();
  EXPECT_EQ(receiver.receive(200ms), 0u);
  EXPECT_LT(Clock::now() - began, 3s);
  stop = true;
  flood.join();
}

TEST_F(StreamTest, AStreamAskedForAgainIsMarkedStoppedWhenNothingComes) {
  subscribe({"psi_m"}, 7);
  ASSERT_TRUE(publisher.sendNow());
  receiver.receiveFirst();
  ASSERT_TRUE(receiver.isReceiving());

  // A datagram before the deadline: the stream is back, and later silence is only silence.
  receiver.expectBy(Clock::now() + 300ms);
  ASSERT_TRUE(publisher.sendNow());
  EXPECT_NE(receiver.receive(2s), 0u);
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(receiver.receive(10ms), 0u);
  EXPECT_TRUE(receiver.isReceiving());

  // Nothing by the deadline: still receiving before it, marked stopped at the first empty call
  // after it, socket and values left as they were.
  receiver.expectBy(Clock::now() + 300ms);
  EXPECT_EQ(receiver.receive(10ms), 0u);
  EXPECT_TRUE(receiver.isReceiving());
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(receiver.receive(10ms), 0u);
  EXPECT_FALSE(receiver.isReceiving());
  EXPECT_TRUE(receiver.isOpen());

  // A new start receives again, with no deadline left over.
  ASSERT_TRUE(publisher.sendNow());
  receiver.receiveFirst();
  EXPECT_TRUE(receiver.isReceiving());
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(receiver.receive(10ms), 0u);
  EXPECT_TRUE(receiver.isReceiving());
}

// A controller that restarted leaves what it sent before in the socket: those datagrams are
// still taken, oldest first, but they do not show that the stream came back.
TEST_F(StreamTest, DatagramsQueuedBeforeTheStreamWasAskedForAgainDoNotCount) {
  subscribe({"psi_m"}, 7);
  ASSERT_TRUE(publisher.sendNow());
  receiver.receiveFirst();
  // The system starts stamping arrivals a moment after the first socket asks for stamps (it is
  // switched on from a worker of its own); a datagram that came before is stamped when taken.
  std::this_thread::sleep_for(200ms);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(publisher.sendNow());
  std::this_thread::sleep_for(100ms);  // queued well before the stream is asked for again
  receiver.expectBy(Clock::now() + 300ms);
  for (std::uint64_t ts = 2; ts <= 6; ++ts) {
    EXPECT_EQ(receiver.receive(1s), receiver.packetSize());
    EXPECT_EQ(field<std::uint64_t>("ts"), ts);
  }
  EXPECT_TRUE(receiver.isReceiving());
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(receiver.receive(10ms), 0u);
  EXPECT_FALSE(receiver.isReceiving()) << "the old controller's datagrams passed for the new one's";

  // One sent after the ask, even if taken after the deadline, does count.
  ASSERT_TRUE(publisher.sendNow());
  receiver.receiveFirst();
  receiver.expectBy(Clock::now() + 300ms);
  ASSERT_TRUE(publisher.sendNow());
  std::this_thread::sleep_for(400ms);
  EXPECT_NE(receiver.receive(1s), 0u);
  EXPECT_EQ(receiver.receive(10ms), 0u);
  EXPECT_TRUE(receiver.isReceiving());
}
