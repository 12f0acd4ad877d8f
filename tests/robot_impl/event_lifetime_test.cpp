// Event callbacks and the lifetime of their robot: once the robot is destroyed, or the callback
// replaced or removed, none of the old callback's calls runs or starts, even under a flood of
// notifications from the controller; and a callback that destroys its own robot, or replaces
// its own watcher, does not wait for itself.

#include <gmock/gmock.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "robot_fixture.h"
#include "support/json_match.h"
#include "support/log_capture.h"
#include "velmora_sim/notification_flood.h"

using namespace std::chrono_literals;
using velmora::Event;
using velmora::EventInfo;
using velmora_sim::Form;

namespace {

constexpr auto kCallbackTime = 20ms;
constexpr int kEventsPerSecond = 5'000;

// What the calls of one callback saw of the moment their robot let it go. Shared with every
// delivery, which on a failure may outlive the test body.
struct Sightings {
  std::atomic<int> running{0};
  std::atomic<int> calls{0};
  std::atomic<bool> letGo{false};  // set once the robot's destructor or setter returned
  std::atomic<int> startedAfter{0};
  std::atomic<int> endedAfter{0};
};

velmora::EventCallback slowCallback(const std::shared_ptr<Sightings>& seen) {
  return [seen](const EventInfo&) {
    if (seen->letGo) ++seen->startedAfter;
    ++seen->running;
    ++seen->calls;
    std::this_thread::sleep_for(kCallbackTime);
    if (seen->letGo) ++seen->endedAfter;
    --seen->running;
  };
}

class EventLifetime : public RobotTest {
 protected:
  // A robot whose logReporter callback is `callback`, its watch seen by the simulator.
  std::unique_ptr<Impl> watching(const velmora::EventCallback& callback) {
    auto impl = connected();
    std::error_code ec;
    impl->setEventWatcher(Event::logReporter, callback, ec);
    EXPECT_FALSE(ec);
    EXPECT_TRUE(command().log().waitFor(
        [](const velmora_sim::Request& r) { return r.form == Form::watch && r.key == "log.user"; }, 2s));
    command().log().setEnabled(false);
    return impl;
  }

  static Json::Value logTopic() { return parseJson(R"({"log.user":5})"); }
};

}  // namespace

TEST_F(EventLifetime, NoCallbackRunsOnceItsRobotLetItGo) {
  enum class Way { destroyed, replaced, removed };
  const struct {
    const char* name;
    Way way;
  } cases[] = {
      {"robot destroyed", Way::destroyed}, {"callback replaced", Way::replaced}, {"callback removed", Way::removed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto seen = std::make_shared<Sightings>();
    auto impl = watching(slowCallback(seen));
    auto later = std::make_shared<std::atomic<int>>(0);
    int runningAtReturn = 0;
    {
      velmora_sim::NotificationFlood flood(command(), logTopic(), kEventsPerSecond);
      // 50 calls under way, and more waiting for a slot.
      ASSERT_TRUE(waitUntil(
          [&] { return seen->running.load() >= 50 && velmora::internal::waitingEventDeliveries() >= 100; }, 10s))
          << seen->running.load();
      std::error_code ec;
      switch (c.way) {
        case Way::destroyed:
          impl.reset();
          break;
        case Way::replaced:
          impl->setEventWatcher(
              Event::logReporter, [later](const EventInfo&) { ++*later; }, ec);
          break;
        case Way::removed:
          impl->setEventWatcher(Event::logReporter, velmora::EventCallback(), ec);
          break;
      }
      seen->letGo = true;
      runningAtReturn = seen->running.load();
      // The flood goes on a while: nothing of it may reach the old callback.
      std::this_thread::sleep_for(300ms);
      flood.stop();
    }
    ASSERT_TRUE(waitUntil([] { return velmora::internal::runningEventDeliveries() == 0; }, 10s));
    std::printf("%s: %d calls, %d running at the return, %d ended after it, %d started after it, %d to the new one\n",
                c.name, seen->calls.load(), runningAtReturn, seen->endedAfter.load(), seen->startedAfter.load(),
                later->load());
    EXPECT_EQ(runningAtReturn, 0);
    EXPECT_EQ(seen->endedAfter.load(), 0);
    EXPECT_EQ(seen->startedAfter.load(), 0);
    if (c.way == Way::replaced) {
      EXPECT_GT(later->load(), 0);
    }
    impl.reset();
    command().log().setEnabled(true);
  }
}

TEST_F(EventLifetime, CallbackLetsGoOfItselfWithoutWaitingForItself) {
  enum class Way { destroysRobot, replacesItself, removesItself };
  const struct {
    const char* name;
    Way way;
  } cases[] = {{"destroys its robot", Way::destroysRobot},
               {"replaces its own watcher", Way::replacesItself},
               {"removes its own watcher", Way::removesItself}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto seen = std::make_shared<Sightings>();
    auto later = std::make_shared<std::atomic<int>>(0);
    // The robot is handed to the callback that lets go of it: the first call to claim it. No
    // lock is held while it lets go, since the other calls under way are waited for.
    struct Shared {
      std::atomic<bool> claimed{false};
      std::unique_ptr<Impl> impl;
      std::promise<std::chrono::steady_clock::duration> took;
    };
    auto shared = std::make_shared<Shared>();
    const auto slow = slowCallback(seen);
    const Way way = c.way;
    auto callback = [way, seen, later, shared, slow](const EventInfo& info) {
      slow(info);
      if (shared->claimed.exchange(true)) return;
      const auto start = std::chrono::steady_clock::now();
      if (way == Way::destroysRobot) {
        auto mine = std::move(shared->impl);
        mine.reset();
      } else {
        velmora::EventCallback next;
        if (way == Way::replacesItself) next = [later](const EventInfo&) { ++*later; };
        std::error_code ec;
        shared->impl->setEventWatcher(Event::logReporter, next, ec);
      }
      seen->letGo = true;
      shared->took.set_value(std::chrono::steady_clock::now() - start);
    };
    auto took = shared->took.get_future();
    shared->impl = watching(callback);
    Impl* robot = shared->impl.get();
    {
      velmora_sim::NotificationFlood flood(command(), logTopic(), kEventsPerSecond);
      ASSERT_EQ(took.wait_for(20s), std::future_status::ready) << "deadlock";
      const auto elapsed = took.get();
      // Its own call is not waited for: only the other calls under way, each a few ms.
      EXPECT_LT(elapsed, velmora::internal::kEventCallbackWait / 2);
      std::this_thread::sleep_for(300ms);
      flood.stop();
    }
    ASSERT_TRUE(waitUntil([] { return velmora::internal::runningEventDeliveries() == 0; }, 10s));
    EXPECT_EQ(seen->startedAfter.load(), 0);
    EXPECT_EQ(seen->endedAfter.load(), 0);
    if (c.way == Way::replacesItself) {
      EXPECT_GT(later->load(), 0);
    }
    std::unique_ptr<Impl> left = std::move(shared->impl);
    EXPECT_EQ(left == nullptr, c.way == Way::destroysRobot);
    EXPECT_TRUE(left == nullptr || left.get() == robot);
    left.reset();
    command().log().setEnabled(true);
  }
}

// After a burst the warning counts every drop: what came after its line is said once its second
// has passed, with no new drop to bring it out.
TEST(EventDrops, EveryDropOfABurstIsCounted) {
  using velmora::internal::kMaxEventDeliveries;
  using velmora::internal::kMaxWaitingEventDeliveries;
  constexpr int kDropped = 412;
  LogCapture captured;
  Impl impl;
  std::error_code ec;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  impl.setEventWatcher(
      Event::logReporter, [released](const EventInfo&) { released.wait(); }, ec);
  const int total = kMaxEventDeliveries + static_cast<int>(kMaxWaitingEventDeliveries) + kDropped;
  for (int i = 0; i < total; ++i) impl.onNotification(parseJson(R"({"id":1,"n":{"log.user":3}})"));
  release.set_value();
  // Sums N over every "(N dropped since last said)" the warning printed.
  auto counted = [&] {
    const std::string text = captured.text();
    const std::string head = "event callback dropped: too many callbacks waiting (";
    int sum = 0;
    for (std::size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1))
      sum += std::atoi(text.c_str() + at + head.size());
    return sum;
  };
  EXPECT_TRUE(waitUntil([&] { return counted() == kDropped; }, 5s)) << counted() << "\n" << captured.text();
  ASSERT_TRUE(waitUntil([] { return velmora::internal::runningEventDeliveries() == 0; }, 10s));
}
