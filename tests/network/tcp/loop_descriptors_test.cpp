#include <gmock/gmock.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "network/tcp/loop_descriptors.h"
#include "support/process_stats.h"

using velmora::internal::LoopDescriptors;
using velmora::internal::returnLoopDescriptors;
using velmora::internal::takeLoopDescriptors;

namespace {

LoopDescriptors makeSet() {
  LoopDescriptors set{::epoll_create1(EPOLL_CLOEXEC), ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK),
                      ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)};
  for (const int fd : {set.wake, set.tick}) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    ::epoll_ctl(set.epoll, EPOLL_CTL_ADD, fd, &ev);
  }
  return set;
}

void drainPool() {
  LoopDescriptors set;
  while (takeLoopDescriptors(set)) {
    ::close(set.epoll);
    ::close(set.wake);
    ::close(set.tick);
  }
}

}  // namespace

TEST(LoopDescriptors, AKeptSetComesBackQuietWhateverItsClientLeftPending) {
  drainPool();
  // A wake written and a tick armed (one fired, one far off) when its client ended.
  LoopDescriptors set = makeSet();
  const std::uint64_t one = 1;
  ASSERT_EQ(::write(set.wake, &one, sizeof one), 8);
  itimerspec soon{};
  soon.it_value.tv_nsec = 1000;
  ASSERT_EQ(::timerfd_settime(set.tick, 0, &soon, nullptr), 0);
  ::usleep(2000);
  returnLoopDescriptors(set);

  LoopDescriptors again;
  ASSERT_TRUE(takeLoopDescriptors(again));
  EXPECT_EQ(again.epoll, set.epoll);
  epoll_event events[4];
  EXPECT_EQ(::epoll_wait(again.epoll, events, 4, 20), 0) << "nothing left to wake the next loop";
  itimerspec left{};
  ASSERT_EQ(::timerfd_gettime(again.tick, &left), 0);
  EXPECT_EQ(left.it_value.tv_sec + left.it_value.tv_nsec, 0) << "the tick is disarmed";
  returnLoopDescriptors(again);
  drainPool();
}

TEST(LoopDescriptors, KeepsABoundedNumberAndClosesTheRestAndIncompleteSets) {
  drainPool();
  const int before = openFdCount();
  std::vector<LoopDescriptors> sets;
  for (int i = 0; i < 40; ++i) sets.push_back(makeSet());
  for (const auto& set : sets) returnLoopDescriptors(set);
  // An incomplete set (its tick never made) is closed, not kept.
  returnLoopDescriptors({::epoll_create1(EPOLL_CLOEXEC), ::eventfd(0, EFD_CLOEXEC), -1});
  const int kept = openFdCount() - before;
  EXPECT_GT(kept, 0);
  EXPECT_LE(kept, 3 * 16);
  EXPECT_EQ(kept % 3, 0);
  drainPool();
  EXPECT_EQ(openFdCount(), before);
}
