#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "network/state_stream/stream_fixture.h"

using namespace velmora::internal;
using namespace std::chrono_literals;

// State queries on other threads while the stream runs and the subscription is replaced: every
// packet carries one value in every element, so a reader must never see two values mixed.
TEST_F(StreamTest, ReadersDuringStreamAndRecipeChanges) {
  const std::set<std::string> recipes[] = {{"q_m"}, {"psi_m", "q_m"}, {"dq_m", "q_m", "tau_m"}};
  subscribe(recipes[0], 6);
  publisher.start(1ms);
  receiver.receiveFirst();

  std::atomic<bool> done{false};
  std::atomic<long> reads{0};
  std::atomic<long> torn{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 4; ++r) {
    readers.emplace_back([&] {
      std::vector<double> q;
      q.reserve(6);
      while (!done.load()) {
        if (!receiver.isOpen()) continue;
        q.clear();
        if (receiver.readField("q_m", q)) {
          ++reads;
          for (double v : q) {
            if (v != q[0]) ++torn;
          }
        }
        double psi = 0;
        receiver.readField("psi_m", psi);
        std::uint64_t ts = 0;
        receiver.readField("ts", ts);
        (void)receiver.fieldSet();
        (void)receiver.isReceiving();
        (void)receiver.packetSize();
      }
    });
  }

  std::uint64_t received = 0;
  for (int round = 1; round <= 6; ++round) {
    const auto until = std::chrono::steady_clock::now() + 150ms;
    while (std::chrono::steady_clock::now() < until) {
      if (receiver.receive(20ms) >= receiver.packetSize()) ++received;
    }
    // A packet of the old layout must not meet the new recipe: stop the sender, close (which
    // drops what is queued), replace, reopen, restart.
    publisher.stop();
    receiver.close();
    const auto& next = recipes[round % 3];
    ASSERT_EQ(receiver.setRecipe(next, 6), 0);
    ASSERT_TRUE(publisher.setFields(std::vector<std::string>(next.begin(), next.end())));
    std::error_code ec;
    receiver.open(ec, false);
    ASSERT_FALSE(ec) << ec.message();
    publisher.start(1ms);
    receiver.receiveFirst();
  }
  done = true;
  for (auto& t : readers) t.join();
  publisher.stop();
  EXPECT_GT(received, 300u);
  EXPECT_GT(reads.load(), 1000);
  EXPECT_EQ(torn.load(), 0);
}

// A stop on another thread must not leave the reading thread waiting out its time-out, whether
// it is already blocked or only about to be; the descriptor outlives every call still on it.
TEST_F(StreamTest, CloseOnAnotherThreadWakesABlockedReceive) {
  using Clock = std::chrono::steady_clock;
  for (const auto delay : {0ms, 1ms, 50ms, 200ms}) {
    subscribe({}, 7);
    ASSERT_TRUE(publisher.sendNow());
    receiver.receiveFirst();
    std::atomic<bool> reading{false};
    std::size_t received = 1;
    Clock::duration took{};
    std::thread reader([&] {
      reading = true;
      const auto start = Clock::now();
      received = receiver.receive(30s);
      took = Clock::now() - start;
    });
    while (!reading) std::this_thread::yield();
    std::this_thread::sleep_for(delay);
    receiver.close();
    reader.join();
    EXPECT_EQ(received, 0u) << delay.count() << " ms";
    EXPECT_LT(took, delay + 5s) << delay.count() << " ms";
    EXPECT_FALSE(receiver.isOpen());
    EXPECT_FALSE(receiver.isReceiving());
  }
}
