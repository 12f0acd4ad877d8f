#include <gmock/gmock.h>

#include <velmora/error.h>

#include <atomic>
#include <thread>

#include "network/xservice/link_fixture.h"
#include "support/process_stats.h"

using velmora::internal::makeErrorCode;
using velmora_sim::Behaviour;
using velmora_sim::Exchange;
using velmora_sim::Form;
using namespace std::chrono_literals;

using XServiceLoadTest = LinkTest;

TEST_F(XServiceLoadTest, SixtyFourThreadsOfAThousandRequestsEachGetTheirOwnReplies) {
  constexpr int kThreads = 64;
  constexpr int kRequests = 1000;
  command().log().setEnabled(false);
  // The payload comes back; every 97th reply is held back, so replies overtake each other.
  command().setDefault(Form::command, [](Exchange& x) {
    x.reply(x.request().payload);
    if (x.request().payload["i"].asInt() % 97 == 0) x.delay(1ms);
  });
  std::atomic<int> failures{0};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string key = "load." + std::to_string(t);
      Json::Value payload;
      payload["t"] = t;
      for (int i = 0; i < kRequests; ++i) {
        payload["i"] = i;
        Json::Value result;
        std::error_code ec;
        link.sendCommand(key, payload, result, ec, 10s);
        if (ec) {
          ++failures;
        } else if (result != payload) {
          ++mismatches;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(link.pendingRequests(), 0u);
  EXPECT_EQ(command().acceptCount(), 1);
}

TEST_F(XServiceLoadTest, ALostLinkWakesEveryWaitingRequestAtOnceWith256) {
  // One of the waiting requests reads the socket, a few spin, the rest sleep: the end of the
  // link must reach all of them, whichever way the controller ends it.
  struct Case {
    const char* how;
    Behaviour cut;
  };
  const Case cases[] = {{"orderly close", Behaviour::drop()}, {"reset", Behaviour::reset()}};
  constexpr int kWaiters = 64;
  for (const Case& c : cases) {
    if (!link.isConnected()) {
      std::error_code ec;
      link.start(ec);
      ASSERT_FALSE(ec) << c.how;
    }
    command().log().clear();
    command().script("hold", Behaviour::silent().times(kWaiters));
    command().script("cut", c.cut.times(1));
    std::atomic<int> lost{0};
    std::atomic<long long> lastNs{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kWaiters; ++i) {
      threads.emplace_back([&] {
        Json::Value result;
        std::error_code ec;
        link.sendCommand("hold", Json::Value(), result, ec, 20s);
        if (ec == makeErrorCode(256)) ++lost;
        const long long now = std::chrono::steady_clock::now().time_since_epoch().count();
        long long seen = lastNs;
        while (now > seen && !lastNs.compare_exchange_weak(seen, now)) {
        }
      });
    }
    ASSERT_TRUE(waitUntil([&] { return command().log().count("hold") == kWaiters; }, 10s)) << c.how;
    const auto cutAt = std::chrono::steady_clock::now();
    Json::Value result;
    std::error_code ec;
    link.sendCommand("cut", Json::Value(), result, ec, 20s);
    EXPECT_EQ(ec, makeErrorCode(256)) << c.how;
    for (auto& t : threads) t.join();
    EXPECT_EQ(lost, kWaiters) << c.how;
    const auto spread =
        std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastNs.load())) - cutAt;
    // Far below any request's wait: nobody waited out its time.
    EXPECT_LT(spread, 1s) << c.how;
    EXPECT_EQ(link.pendingRequests(), 0u) << c.how;
  }
}
