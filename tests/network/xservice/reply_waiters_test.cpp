#include <gmock/gmock.h>

#include <velmora/error.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "network/xservice/reply_waiters.h"

using velmora::internal::makeErrorCode;
using velmora::internal::ReplyWaiters;
using namespace std::chrono_literals;

namespace {

Json::Value reply(int value) {
  Json::Value v;
  v["c"]["k"] = value;
  return v;
}

// Starts `n` threads, the i-th waiting with `wait` on the ticket of id i; returns once every
// ticket is in the table, so nothing delivered afterwards can miss its waiter.
std::vector<std::thread> startWaiters(ReplyWaiters& waiters, int n,
                                      const std::function<void(int, ReplyWaiters::Ticket&)>& wait) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) {
    threads.emplace_back([&waiters, &ready, wait, i] {
      ReplyWaiters::Ticket ticket(waiters, static_cast<std::uint64_t>(i));
      ++ready;
      wait(i, ticket);
    });
  }
  while (ready < n) std::this_thread::yield();
  return threads;
}

}  // namespace

TEST(ReplyWaiters, EachOutcomeReachesItsOwnWaiter) {
  struct Case {
    const char* name;
    bool deliver;
    bool fail;
    int expected;
  };
  const std::vector<Case> cases = {
      {"reply", true, false, 0},
      {"lost link", false, true, 256},
      {"reply that came before the loss wins", true, true, 0},
      {"nothing until the deadline", false, false, 263},
  };
  for (const auto& c : cases) {
    ReplyWaiters waiters;
    ReplyWaiters::Ticket ticket(waiters, 7);
    ReplyWaiters::Ticket other(waiters, 8);
    Json::Value message = reply(5);
    if (c.deliver) {
      EXPECT_TRUE(waiters.deliver(7, message)) << c.name;
    }
    if (c.fail) waiters.failAll(makeErrorCode(256));
    Json::Value got;
    EXPECT_EQ(ticket.wait(got, std::chrono::steady_clock::now() + 20ms), makeErrorCode(c.expected)) << c.name;
    if (c.expected == 0) {
      EXPECT_EQ(got["c"]["k"].asInt(), 5) << c.name;
    }
    Json::Value untouched;
    EXPECT_EQ(other.wait(untouched, std::chrono::steady_clock::now()), makeErrorCode(c.fail ? 256 : 263)) << c.name;
  }
}

TEST(ReplyWaiters, RepliesNobodyWaitsForAreRefusedAndTheTableEmpties) {
  ReplyWaiters waiters;
  Json::Value message = reply(1);
  EXPECT_FALSE(waiters.deliver(3, message));
  EXPECT_EQ(message["c"]["k"].asInt(), 1);
  {
    ReplyWaiters::Ticket ticket(waiters, 3);
    EXPECT_EQ(waiters.size(), 1u);
  }
  EXPECT_EQ(waiters.size(), 0u);
  EXPECT_FALSE(waiters.deliver(3, message)) << "a late reply is dropped";
}

TEST(ReplyWaiters, ALostLinkWakesEveryWaiterAtOnce) {
  ReplyWaiters waiters;
  constexpr int kWaiters = 16;
  std::atomic<int> woken{0};
  std::vector<std::thread> threads = startWaiters(waiters, kWaiters, [&](int, ReplyWaiters::Ticket& ticket) {
    Json::Value got;
    if (ticket.wait(got, std::chrono::steady_clock::now() + 10s) == makeErrorCode(256)) ++woken;
  });
  const auto failed = std::chrono::steady_clock::now();
  waiters.failAll(makeErrorCode(256));
  for (auto& t : threads) t.join();
  EXPECT_EQ(woken, kWaiters);
  EXPECT_LT(std::chrono::steady_clock::now() - failed, 100ms);
}

TEST(ReplyWaiters, ABurstOfRepliesWakesEverySleeperEvenWhenSomeGiveUpMeanwhile) {
  // Replies handed to sleeping requests in a burst are woken through one another; waiters that
  // give up while queued for their wake-up must not stall the others.
  constexpr int kWaiters = 64;
  for (int round = 0; round < 20; ++round) {
    ReplyWaiters waiters;
    std::vector<std::error_code> codes(kWaiters);
    std::vector<int> values(kWaiters, -1);
    std::vector<std::thread> threads = startWaiters(waiters, kWaiters, [&](int i, ReplyWaiters::Ticket& ticket) {
      Json::Value got;
      // Every eighth gives up almost at once, possibly while queued to be woken.
      const auto wait = i % 8 == 0 ? std::chrono::milliseconds(round % 3) : std::chrono::milliseconds(5000);
      codes[i] = ticket.wait(got, std::chrono::steady_clock::now() + wait);
      if (!codes[i]) values[i] = got["c"]["k"].asInt();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 4));
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < kWaiters; ++i) {
      waiters.deliverText(static_cast<std::uint64_t>(i),
                          "{\"c\":{\"k\":" + std::to_string(i) + "},\"id\":" + std::to_string(i) + "}");
    }
    for (auto& t : threads) t.join();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 2s) << round;
    for (int i = 0; i < kWaiters; ++i) {
      if (i % 8 == 0 && codes[i] == makeErrorCode(263)) continue;
      EXPECT_EQ(codes[i], makeErrorCode(0)) << round << " " << i;
      EXPECT_EQ(values[i], i) << round << " " << i;
    }
    EXPECT_EQ(waiters.size(), 0u);
  }
}

TEST(ReplyWaiters, AReplyHandedOverAsTextIsParsedByItsWaiterAndDroppedWhenItIsNone) {
  struct Case {
    const char* name;
    const char* text;
    bool fail;
    int expected;
  };
  const std::vector<Case> cases = {
      {"a reply", R"({"c":{"k":5},"id":7})", false, 0},
      {"a reply before the loss wins", R"({"c":{"k":5},"id":7})", true, 0},
      {"not JSON is dropped", R"({"c":{"k":5},"id":7)", false, 263},
      {"not JSON, then the loss", R"({"c":{"k":tru},"id":7})", true, 256},
      {"another request's id", R"({"c":{"k":5},"id":8})", false, 263},
      {"a notification is no reply", R"({"id":7,"n":{"t":1}})", false, 263},
  };
  for (const auto& c : cases) {
    ReplyWaiters waiters;
    std::string dropped;
    waiters.setDropNote([&](const char* why, std::size_t) { dropped = why; });
    ReplyWaiters::Ticket ticket(waiters, 7);
    EXPECT_TRUE(waiters.deliverText(7, c.text)) << c.name;
    if (c.fail) waiters.failAll(makeErrorCode(256));
    Json::Value got;
    EXPECT_EQ(ticket.wait(got, std::chrono::steady_clock::now() + 20ms), makeErrorCode(c.expected)) << c.name;
    if (c.expected == 0) {
      EXPECT_EQ(got["c"]["k"].asInt(), 5) << c.name;
      EXPECT_TRUE(dropped.empty()) << c.name;
    } else {
      EXPECT_FALSE(dropped.empty()) << c.name;
    }
  }
}
