#include <gmock/gmock.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "network/tcp/io_threads.h"
#include "support/process_stats.h"

using velmora::internal::IoThreads;
using namespace std::chrono_literals;

TEST(IoThreads, AnEndedLoopsThreadTakesTheNextAndLoopsAtOnceEachHaveOne) {
  // One after another: the same thread, no new one.
  std::thread::id first, second;
  IoThreads::run([&] { first = std::this_thread::get_id(); })->join();
  const int threads = threadCount();
  IoThreads::run([&] { second = std::this_thread::get_id(); })->join();
  EXPECT_EQ(first, second);
  EXPECT_EQ(threadCount(), threads);

  // At once: each its own thread, all running together, none lost.
  constexpr int kLoops = 8;
  std::atomic<int> running{0};
  std::atomic<bool> release{false};
  std::mutex mutex;
  std::set<std::thread::id> seen;
  std::vector<std::shared_ptr<IoThreads::Job>> jobs;
  for (int i = 0; i < kLoops; ++i) {
    jobs.push_back(IoThreads::run([&] {
      {
        std::lock_guard<std::mutex> lock(mutex);
        seen.insert(std::this_thread::get_id());
      }
      ++running;
      while (!release) std::this_thread::sleep_for(1ms);
    }));
  }
  EXPECT_TRUE(waitUntil([&] { return running == kLoops; }, 5s));
  release = true;
  for (auto& job : jobs) job->join();
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kLoops));
}

TEST(IoThreads, APairTakesTwoIdleThreadsOrNone) {
  // Leaves some threads idle behind.
  std::atomic<bool> release{false};
  auto block = [&] {
    while (!release) std::this_thread::sleep_for(1ms);
  };
  std::vector<std::shared_ptr<IoThreads::Job>> warm;
  for (int i = 0; i < 3; ++i) warm.push_back(IoThreads::run(block));
  release = true;
  for (auto& job : warm) job->join();
  ASSERT_GE(IoThreads::idleCount(), 2u);

  // Two idle: both bodies run together, each on a thread of its own, and no thread is made.
  release = false;
  const int threads = threadCount();
  std::atomic<int> running{0};
  std::thread::id ids[2];
  auto body = [&](int i) {
    return [&, i] {
      ids[i] = std::this_thread::get_id();
      ++running;
      block();
    };
  };
  std::shared_ptr<IoThreads::Job> first, second;
  ASSERT_TRUE(IoThreads::runPair(body(0), body(1), first, second));
  EXPECT_TRUE(waitUntil([&] { return running == 2; }, 5s));
  EXPECT_NE(ids[0], ids[1]);
  EXPECT_EQ(threadCount(), threads);

  // Fewer than two idle: nothing starts.
  std::vector<std::shared_ptr<IoThreads::Job>> busy;
  while (IoThreads::idleCount() > 1) busy.push_back(IoThreads::run(block));
  std::shared_ptr<IoThreads::Job> none, neither;
  EXPECT_FALSE(IoThreads::runPair(body(0), body(1), none, neither));
  EXPECT_FALSE(none);
  EXPECT_FALSE(neither);
  release = true;
  first->join();
  second->join();
  for (auto& job : busy) job->join();
  EXPECT_EQ(running, 2);
}
