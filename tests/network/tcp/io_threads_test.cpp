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
