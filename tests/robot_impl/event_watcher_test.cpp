#include <velmora/error.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <climits>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "robot_fixture.h"
#include "support/json_match.h"
#include "support/log_capture.h"

using velmora::Event;
using velmora::EventInfo;
using namespace std::chrono_literals;

namespace {

// "key=value" lines in key order: texts quoted, flags as words.
std::string describe(const EventInfo& info) {
  std::map<std::string, std::string> lines;
  for (const auto& [key, value] : info) {
    if (const auto* i = std::any_cast<int>(&value)) {
      lines[key] = std::to_string(*i);
    } else if (const auto* b = std::any_cast<bool>(&value)) {
      lines[key] = *b ? "true" : "false";
    } else if (const auto* s = std::any_cast<std::string>(&value)) {
      lines[key] = "\"" + *s + "\"";
    } else {
      lines[key] = "?";
    }
  }
  std::string text;
  for (const auto& [key, value] : lines) text += key + "=" + value + " ";
  return text;
}

void notify(Impl& impl, const std::string& topics) { impl.onNotification(parseJson(R"({"id":1,"n":)" + topics + "}")); }

bool idle() {
  return waitUntil([] { return velmora::internal::runningEventDeliveries() == 0; }, 5s);
}

struct HandlerCase {
  const char* name;
  Event event;
  const char* topics;  // the "n" object
  int deliveries;
  const char* stored;  // the event's information afterwards
};

const HandlerCase kHandlerCases[] = {
    {"collision false", Event::safety, R"({"safety.event.collision":false})", 1, "collided=false "},
    {"collision true", Event::safety, R"({"safety.event.collision":true})", 1, "collided=true "},
    {"collision number", Event::safety, R"({"safety.event.collision":2})", 1, "collided=true "},
    {"collision null", Event::safety, R"({"safety.event.collision":null})", 1, "collided=false "},
    {"collision text", Event::safety, R"({"safety.event.collision":"yes"})", 0, "collided=false "},
    {"collision object", Event::safety, R"({"safety.event.collision":{}})", 0, "collided=false "},
    {"log with data", Event::logReporter, R"({"log.user":{"error":17,"data":"abc"}})", 1,
     R"(ecode=-17 edetail="abc" )"},
    {"log without data", Event::logReporter, R"({"log.user":{"error":17}})", 1, R"(ecode=-17 edetail="" )"},
    {"log bare number", Event::logReporter, R"({"log.user":5})", 1, R"(ecode=-5 edetail="" )"},
    {"log lowest error", Event::logReporter, R"({"log.user":{"error":-2147483648}})", 1,
     R"(ecode=2147483647 edetail="" )"},
    {"log text error", Event::logReporter, R"({"log.user":{"error":"x","data":"abc"}})", 0, R"(ecode=0 edetail="" )"},
    {"log text value", Event::logReporter, R"({"log.user":"x"})", 0, R"(ecode=0 edetail="" )"},
    {"log number data", Event::logReporter, R"({"log.user":{"error":1,"data":5.25}})", 1,
     R"(ecode=-1 edetail="5.25" )"},
    {"log array data", Event::logReporter, R"({"log.user":{"error":1,"data":[5]}})", 0, R"(ecode=0 edetail="" )"},
    {"task lookahead only", Event::rlExecution,
     R"({"project.tasks_pointer":[{"task_name":"t1","adv_line":{"file_name":"a.mod","line":1},)"
     R"("exe_line":{"file_name":"","line":9}}]})",
     1, R"(executeFile="" executeLine=0 lookaheadFile="a.mod" lookaheadLine=0 taskName="t1" )"},
    {"task no file names", Event::rlExecution,
     R"({"project.tasks_pointer":[{"task_name":"t2","adv_line":{"file_name":""},"exe_line":{}}]})", 0,
     R"(executeFile="" executeLine=0 lookaheadFile="" lookaheadLine=0 taskName="t2" )"},
    {"task three entries", Event::rlExecution,
     R"({"project.tasks_pointer":[{"task_name":"a","exe_line":{"file_name":"x.mod","line":3}},)"
     R"({"task_name":"b","adv_line":{"file_name":"y.mod","line":4}},)"
     R"({"task_name":"c","exe_line":{"file_name":"z.mod","line":5}}]})",
     3, R"(executeFile="z.mod" executeLine=4 lookaheadFile="y.mod" lookaheadLine=3 taskName="c" )"},
    {"task line missing", Event::rlExecution,
     R"({"project.tasks_pointer":[{"task_name":"t","adv_line":{"file_name":"f.mod"}}]})", 1,
     R"(executeFile="" executeLine=0 lookaheadFile="f.mod" lookaheadLine=-1 taskName="t" )"},
    {"task lowest line", Event::rlExecution,
     R"({"project.tasks_pointer":[{"task_name":"t","exe_line":{"file_name":"f","line":-2147483648}}]})", 1,
     R"(executeFile="f" executeLine=-2147483648 lookaheadFile="" lookaheadLine=0 taskName="t" )"},
    {"task numbers for names", Event::rlExecution,
     R"({"project.tasks_pointer":[{"task_name":7,"adv_line":{"file_name":3e2,"line":1}}]})", 1,
     R"(executeFile="" executeLine=0 lookaheadFile="300" lookaheadLine=0 taskName="7" )"},
    {"task object for a name", Event::rlExecution,
     R"({"project.tasks_pointer":[{"task_name":{},"adv_line":{"file_name":"f","line":1}}]})", 0,
     R"(executeFile="" executeLine=0 lookaheadFile="" lookaheadLine=0 taskName="" )"},
    {"task text line", Event::rlExecution,
     R"({"project.tasks_pointer":[{"task_name":"t","adv_line":{"file_name":"f","line":"1"}}]})", 0,
     R"(executeFile="" executeLine=0 lookaheadFile="" lookaheadLine=0 taskName="" )"},
    {"task not an array", Event::rlExecution, R"({"project.tasks_pointer":{"task_name":"t"}})", 0,
     R"(executeFile="" executeLine=0 lookaheadFile="" lookaheadLine=0 taskName="" )"},
    {"task empty array", Event::rlExecution, R"({"project.tasks_pointer":[]})", 0,
     R"(executeFile="" executeLine=0 lookaheadFile="" lookaheadLine=0 taskName="" )"},
};

}  // namespace

TEST(EventWatcher, HandlerTable) {
  for (const auto& c : kHandlerCases) {
    SCOPED_TRACE(c.name);
    Deliveries got;
    Impl impl;
    std::error_code ec;
    impl.setEventWatcher(c.event, got.callback(), ec);
    EXPECT_FALSE(ec);
    notify(impl, c.topics);
    ASSERT_TRUE(idle());
    EXPECT_EQ(got.count.load(), c.deliveries);
    EXPECT_EQ(describe(impl.queryEventInfo(c.event)), c.stored);
    // Each delivery has its own copy; they may end in any order, the last entry's is among them.
    std::vector<std::string> delivered;
    for (const auto& info : got.infos) delivered.push_back(describe(info));
    if (c.deliveries > 0) {
      EXPECT_THAT(delivered, ::testing::Contains(c.stored));
    }
  }
}

TEST(EventWatcher, UnreadableTopicDoesNotStopTheOthers) {
  LogCapture captured;
  Deliveries safety;
  Deliveries log;
  Impl impl;
  std::error_code ec;
  impl.setEventWatcher(Event::safety, safety.callback(), ec);
  impl.setEventWatcher(Event::logReporter, log.callback(), ec);
  // Members go in name order: the unreadable "log.user" comes first; the task pointer has no
  // watcher and the motion topic is motion control's.
  notify(impl, R"({"log.user":[1],"move.last_error_with_setting":{"error":0},)"
               R"("project.tasks_pointer":[{"task_name":"t","exe_line":{"file_name":"f","line":2}}],)"
               R"("safety.event.collision":true})");
  ASSERT_TRUE(safety.waitFor(1));
  EXPECT_EQ(log.count.load(), 0);
  EXPECT_TRUE(impl.queryEventInfo(Event::rlExecution).empty());
  EXPECT_TRUE(captured.contains("notification log.user dropped")) << captured.text();
  // Neither a missing nor a non-object "n" reaches a handler.
  impl.onNotification(parseJson(R"({"id":1,"n":5})"));
  impl.onNotification(parseJson(R"({"id":1,"x":{"safety.event.collision":true}})"));
  ASSERT_TRUE(idle());
  EXPECT_EQ(safety.count.load(), 1);
}

TEST(EventWatcher, ThrowingCallbackIsCaughtAndLogged) {
  LogCapture captured;
  Impl impl;
  std::error_code ec;
  std::atomic<int> calls{0};
  impl.setEventWatcher(
      Event::safety,
      [&](const EventInfo&) {
        if (++calls == 1) throw std::runtime_error("boom");
        throw 7;
      },
      ec);
  notify(impl, R"({"safety.event.collision":true})");
  ASSERT_TRUE(idle());
  notify(impl, R"({"safety.event.collision":false})");
  ASSERT_TRUE(idle());
  EXPECT_EQ(calls.load(), 2);
  EXPECT_TRUE(captured.contains("event callback throw: boom")) << captured.text();
  EXPECT_TRUE(captured.contains("event callback throw: non-standard exception")) << captured.text();
}

TEST(EventWatcher, CallbackRunsOnItsOwnThreadWithoutHoldingTheDispatcher) {
  Impl impl;
  std::error_code ec;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<std::thread::id> ranOn;
  impl.setEventWatcher(
      Event::safety,
      [&, released](const EventInfo&) {
        ranOn.set_value(std::this_thread::get_id());
        released.wait();
      },
      ec);
  const auto start = std::chrono::steady_clock::now();
  notify(impl, R"({"safety.event.collision":true})");
  // The dispatcher came back while the callback still runs.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_NE(ranOn.get_future().get(), std::this_thread::get_id());
  release.set_value();
  ASSERT_TRUE(idle());
}

TEST(EventWatcher, DeliveriesBeyondTheSlotsWaitAndTheOldestWaitingAreDropped) {
  using velmora::internal::kMaxEventDeliveries;
  using velmora::internal::kMaxWaitingEventDeliveries;
  LogCapture captured;
  Impl impl;
  std::error_code ec;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::mutex mutex;
  std::vector<int> codes;
  impl.setEventWatcher(
      Event::logReporter,
      [&, released](const EventInfo& info) {
        {
          std::lock_guard<std::mutex> lock(mutex);
          codes.push_back(-std::any_cast<int>(info.at("ecode")));
        }
        released.wait();
      },
      ec);
  auto started = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(codes.size());
  };
  auto logged = [&](int i) { notify(impl, R"({"log.user":)" + std::to_string(i) + "}"); };
  // Every slot taken: the notifications keep coming back at once and queue.
  for (int i = 1; i <= kMaxEventDeliveries; ++i) logged(i);
  ASSERT_TRUE(waitUntil([&] { return started() == kMaxEventDeliveries; }, 5s));
  const int total = kMaxEventDeliveries + static_cast<int>(kMaxWaitingEventDeliveries) + 10;
  const auto start = std::chrono::steady_clock::now();
  for (int i = kMaxEventDeliveries + 1; i <= total; ++i) logged(i);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(velmora::internal::waitingEventDeliveries(), kMaxWaitingEventDeliveries);
  EXPECT_EQ(velmora::internal::runningEventDeliveries(),
            kMaxEventDeliveries + static_cast<int>(kMaxWaitingEventDeliveries));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(started(), kMaxEventDeliveries);

  release.set_value();
  ASSERT_TRUE(idle());
  // The warning is rate limited process-wide: when an earlier test's drop was said less than its
  // interval ago, this one's goes out once the interval has passed.
  EXPECT_TRUE(waitUntil([&] { return captured.contains("event callback dropped: too many callbacks waiting"); }, 5s))
      << captured.text();
  // The first slots' deliveries, then the newest that waited, oldest first.
  std::vector<int> expected;
  for (int i = 1; i <= kMaxEventDeliveries; ++i) expected.push_back(i);
  for (int i = total - static_cast<int>(kMaxWaitingEventDeliveries) + 1; i <= total; ++i) expected.push_back(i);
  std::vector<int> sorted;
  {
    std::lock_guard<std::mutex> lock(mutex);
    sorted = codes;
  }
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, expected);
}

TEST(EventWatcher, DeliveryResumesAfterTheSlotsFreeUp) {
  Deliveries got;
  Impl impl;
  std::error_code ec;
  impl.setEventWatcher(Event::safety, got.callback(), ec);
  for (int round = 1; round <= 3; ++round) {
    for (int i = 0; i < 2 * velmora::internal::kMaxEventDeliveries; ++i) {
      notify(impl, R"({"safety.event.collision":true})");
    }
    ASSERT_TRUE(idle());
    EXPECT_EQ(got.count.load(), round * 2 * velmora::internal::kMaxEventDeliveries);
  }
}

TEST(EventWatcher, SettingAgainReplacesTheCallbackAndResetsTheInformation) {
  Deliveries first;
  Deliveries second;
  Impl impl;
  std::error_code ec;
  impl.setEventWatcher(Event::safety, first.callback(), ec);
  notify(impl, R"({"safety.event.collision":true})");
  ASSERT_TRUE(first.waitFor(1));
  impl.setEventWatcher(Event::safety, second.callback(), ec);
  EXPECT_EQ(describe(impl.queryEventInfo(Event::safety)), "collided=false ");
  notify(impl, R"({"safety.event.collision":true})");
  ASSERT_TRUE(idle());
  EXPECT_EQ(first.count.load(), 1);
  EXPECT_EQ(second.count.load(), 1);
}

TEST(EventWatcher, EventsWithoutWatcherOrCallback) {
  Impl impl;
  std::error_code ec;
  // An empty callback: the handler stores, nothing is called.
  impl.setEventWatcher(Event::logReporter, velmora::EventCallback(), ec);
  EXPECT_FALSE(ec);
  notify(impl, R"({"log.user":4})");
  EXPECT_EQ(velmora::internal::runningEventDeliveries(), 0);
  EXPECT_EQ(describe(impl.queryEventInfo(Event::logReporter)), R"(ecode=-4 edetail="" )");
  // moveExecution needs motion control, which the first connection creates.
  impl.setEventWatcher(
      Event::moveExecution, [](const EventInfo&) {}, ec);
  EXPECT_EQ(ec.value(), 255);
  // A value outside the enumeration changes nothing and reports nothing.
  ec.clear();
  impl.setEventWatcher(
      static_cast<Event>(7), [](const EventInfo&) {}, ec);
  EXPECT_FALSE(ec);
  EXPECT_FALSE(impl.eventWatched(static_cast<Event>(7)));
  EXPECT_TRUE(impl.queryEventInfo(static_cast<Event>(7)).empty());
  EXPECT_TRUE(impl.eventWatched(Event::moveExecution));
  EXPECT_TRUE(impl.eventWatched(Event::logReporter));
  EXPECT_FALSE(impl.eventWatched(Event::safety));
}
