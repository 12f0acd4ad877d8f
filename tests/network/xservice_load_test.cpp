#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "network/link_fixture.h"

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
