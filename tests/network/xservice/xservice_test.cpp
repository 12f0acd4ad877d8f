#include <gmock/gmock.h>

#include <velmora/error.h>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "network/xservice/xservice.h"
#include "support/log_capture.h"
#include "support/process_stats.h"
#include "support/sim_fixture.h"
#include "support/xservice_probe.h"

using velmora::internal::makeErrorCode;
using velmora::internal::ReplyWaiters;
using velmora::internal::XService;
using velmora::internal::XServiceProbe;
using namespace std::chrono_literals;

namespace {

// The connection handler's calls, in order.
struct Seen {
  std::mutex mutex;
  std::vector<bool> calls;
  void operator()(bool up) {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(up);
  }
  std::vector<bool> get() {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
  }
};

using XServiceTest = SimTest;

}  // namespace

TEST_F(XServiceTest, StartStopCyclesCallTheHandlerOncePerConnection) {
  LogCapture log;
  Seen seen;
  {
    XService link;
    link.setConnectionHandler([&](bool up) { seen(up); });
    for (int i = 0; i < 10; ++i) {
      link.connect(address(), 6666);
      std::error_code ec;
      link.start(ec);
      ASSERT_FALSE(ec) << i;
      EXPECT_TRUE(link.isConnected());
      link.start(ec);  // already connected: nothing happens
      EXPECT_FALSE(ec);
      link.stop();
      EXPECT_FALSE(link.isConnected());
    }
  }
  const std::vector<bool> expected = [] {
    std::vector<bool> v;
    for (int i = 0; i < 10; ++i) v.insert(v.end(), {true, false});
    return v;
  }();
  EXPECT_EQ(seen.get(), expected);
  EXPECT_TRUE(waitUntil([&] { return command().acceptCount() == 10; }, 2s));
  EXPECT_TRUE(waitUntil([&] { return files().acceptCount() == 10; }, 2s))
      << "the file link starts with the command link";
  const std::string connectLine = "xService " + address() + ":6666 connect";
  EXPECT_TRUE(log.contains("uid: default_uid | " + connectLine));
  EXPECT_TRUE(log.contains("xService " + address() + ":6666 disconnect"));
}

TEST_F(XServiceTest, StartFailsWith256WithoutCallingTheHandler) {
  LogCapture log;
  command().refuse(true);
  Seen seen;
  XService link;
  link.setConnectionHandler([&](bool up) { seen(up); });
  std::error_code ec;
  link.start(ec);  // never connected anywhere: empty host
  EXPECT_EQ(ec, makeErrorCode(256));

  // Sockets only: the simulator's own threads may open other descriptors meanwhile.
  const int sockets = openSocketCount();
  link.connect("", 6666);
  link.start(ec);
  EXPECT_EQ(ec, makeErrorCode(256));
  EXPECT_EQ(openSocketCount(), sockets) << "an empty host opens no socket";

  link.connect(address(), 6666);
  const auto began = std::chrono::steady_clock::now();
  link.start(ec);
  EXPECT_EQ(ec, makeErrorCode(256));
  EXPECT_LT(std::chrono::steady_clock::now() - began, 500ms);
  EXPECT_TRUE(seen.get().empty());
  EXPECT_FALSE(log.contains("connect"));
  EXPECT_EQ(files().acceptCount(), 0) << "no file link for a link reported down";

  // Not waited for, the file link is tried while the command link connects: it is closed again.
  link.start(ec, false);
  EXPECT_EQ(ec, makeErrorCode(256));
  std::this_thread::sleep_for(100ms);  // time for an attempt left running to get through
  EXPECT_TRUE(files().waitForOpenConnections(0, 2s)) << "no file link left open for a link reported down";
}

TEST_F(XServiceTest, FileServiceDownLeavesTheCommandLinkWorking) {
  LogCapture log;
  files().refuse(true);
  XService link;
  link.connect(address(), 6666);
  std::error_code ec;
  link.start(ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(log.contains("uid: default_uid | FileTransfer connect failed ("));
  EXPECT_EQ(XServiceProbe::fileLink(link).linkState, 2);
  ReplyWaiters::Ticket ticket(XServiceProbe::waiters(link), 41);
  ASSERT_TRUE(XServiceProbe::send(link, "{\"g\":{\"k\":null},\"id\":41}\r"));
  Json::Value reply;
  EXPECT_FALSE(ticket.wait(reply, std::chrono::steady_clock::now() + 2s));
  EXPECT_TRUE(reply["g"].isMember("k"));
}

TEST_F(XServiceTest, ADroppedLinkWakesEveryWaiterWithin100msThenReconnects) {
  Seen seen;
  XService link;
  link.setConnectionHandler([&](bool up) { seen(up); });
  link.connect(address(), 6666);
  std::error_code ec;
  link.start(ec);
  ASSERT_FALSE(ec);

  // The request's reply travels back through the receive hook to its own waiter only.
  command().script("slow", velmora_sim::Behaviour::reply(1).after(50ms).times(1));
  {
    ReplyWaiters::Ticket fast(XServiceProbe::waiters(link), 1001);
    ReplyWaiters::Ticket slow(XServiceProbe::waiters(link), 1002);
    ASSERT_TRUE(XServiceProbe::send(link, "{\"c\":{\"slow\":null},\"id\":1002}\r"));
    ASSERT_TRUE(XServiceProbe::send(link, "{\"c\":{\"fast\":null},\"id\":1001}\r"));
    Json::Value reply;
    ASSERT_FALSE(fast.wait(reply, std::chrono::steady_clock::now() + 2s));
    EXPECT_EQ(reply["c"]["fast"].asInt(), 0);
    ASSERT_FALSE(slow.wait(reply, std::chrono::steady_clock::now() + 2s));
    EXPECT_EQ(reply["c"]["slow"].asInt(), 1);
  }

  // Drops at varying moments after the waiters registered: none may sleep through it.
  std::mt19937 random(6);
  command().handle("hold", [](velmora_sim::Exchange& x) { x.silent(); });
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(waitUntil([&] { return link.isConnected(); }, 3s)) << round;
    constexpr int kWaiters = 8;
    std::atomic<int> ready{0};
    std::vector<std::chrono::steady_clock::duration> waited(kWaiters);
    std::vector<std::error_code> codes(kWaiters);
    std::vector<std::thread> threads;
    for (int i = 0; i < kWaiters; ++i) {
      threads.emplace_back([&, i] {
        const std::uint64_t id = 5000 + static_cast<std::uint64_t>(round * kWaiters + i);
        ReplyWaiters::Ticket ticket(XServiceProbe::waiters(link), id);
        XServiceProbe::send(link, "{\"c\":{\"hold\":null},\"id\":" + std::to_string(id) + "}\r");
        ++ready;
        Json::Value reply;
        codes[i] = ticket.wait(reply, std::chrono::steady_clock::now() + 10s);
      });
    }
    while (ready < kWaiters) std::this_thread::yield();
    EXPECT_TRUE(command().log().waitFor("hold", 2s, static_cast<std::size_t>((round + 1) * kWaiters)));
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    const auto dropped = std::chrono::steady_clock::now();
    command().dropConnections();
    for (auto& t : threads) t.join();
    const auto elapsed = std::chrono::steady_clock::now() - dropped;
    EXPECT_LT(elapsed, 100ms) << round;
    for (const auto& code : codes) EXPECT_EQ(code, makeErrorCode(256)) << round;
    EXPECT_EQ(XServiceProbe::waiters(link).size(), 0u);
  }
  ASSERT_TRUE(waitUntil([&] { return link.isConnected(); }, 3s));
  const auto calls = seen.get();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], true);
  EXPECT_EQ(calls[1], false);
  EXPECT_EQ(calls[2], true);
}

TEST_F(XServiceTest, StopFromTheConnectionHandlerAndDestructionWhileWaiting) {
  {
    XService link;
    link.setConnectionHandler([&](bool up) {
      if (up) link.stop();
    });
    link.connect(address(), 6666);
    std::error_code ec;
    link.start(ec);
    EXPECT_TRUE(waitUntil([&] { return !link.isConnected(); }, 2s));
  }
  auto link = std::make_unique<XService>();
  link->connect(address(), 6666);
  std::error_code ec;
  link->start(ec);
  ASSERT_FALSE(ec);
  std::error_code waited;
  std::atomic<bool> registered{false};
  std::thread waiter([&] {
    ReplyWaiters::Ticket ticket(XServiceProbe::waiters(*link), 77);
    registered = true;
    Json::Value reply;
    waited = ticket.wait(reply, std::chrono::steady_clock::now() + 10s);
  });
  while (!registered) std::this_thread::yield();
  link->stop();
  waiter.join();
  EXPECT_EQ(waited, makeErrorCode(256));
  link.reset();
  EXPECT_TRUE(command().waitForOpenConnections(0, 2s));
}

TEST_F(XServiceTest, AThousandConnectStopCyclesLeaveNoDescriptorOrThread) {
  {
    XService warmUp;  // first-use allocations (logger, error category) are not leaks
    warmUp.connect(address(), 6666);
    std::error_code ec;
    warmUp.start(ec);
  }
  ASSERT_TRUE(command().waitForOpenConnections(0, 2s));
  ASSERT_TRUE(files().waitForOpenConnections(0, 2s));
  const int fds = openFdCount();
  const int threads = threadCount();
  {
    XService link;
    for (int i = 0; i < 1000; ++i) {
      link.connect(address(), 6666);
      std::error_code ec;
      link.start(ec);
      ASSERT_FALSE(ec) << i;
      link.stop();
    }
  }
  // Every connection the simulator accepts it closes again; wait for both before counting. The
  // cycles can outrun the simulator's accepting by far (under a sanitizer, seconds).
  EXPECT_TRUE(waitUntil([&] { return command().acceptCount() == 1001 && files().acceptCount() == 1001; }, 60s))
      << command().acceptCount() << " " << files().acceptCount();
  EXPECT_TRUE(command().waitForOpenConnections(0, 5s));
  EXPECT_TRUE(files().waitForOpenConnections(0, 5s));
  // Polled, and fewer allowed: sanitizer runtimes open a descriptor of their own now and then,
  // at the first count too.
  EXPECT_TRUE(waitUntil([&] { return openFdCount() <= fds; }, 2s)) << openFdCount() << " vs " << fds;
  // A loop thread left idle ends by itself after a while, so there may be fewer, never more.
  EXPECT_TRUE(waitUntil([&] { return threadCount() <= threads; }, 2s)) << threadCount() << " vs " << threads;
}

TEST_F(XServiceTest, TheFileLinkPortFollowsItsSetting) {
  velmora_sim::SimulatorOptions options;
  options.address = address();
  options.commandPort = 0;
  options.filePort = 0;
  options.rtPort = 0;
  velmora_sim::Simulator other(options);
  velmora::internal::LinkOptions moved;
  moved.fileLinkPort = other.file().port();
  XService link(moved);
  link.connect(address(), other.command().port());
  std::error_code ec;
  link.start(ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(XServiceProbe::fileLink(link).linkState, 1);
  EXPECT_TRUE(waitUntil([&] { return other.file().acceptCount() == 1; }, 2s));
  EXPECT_EQ(files().acceptCount(), 0);
}

TEST_F(XServiceTest, AFileLinkNotWaitedForIsLaunchedByTheNextRequestAndNeverAfterAStop) {
  struct Case {
    const char* what;
    bool request;  // a request waits for its reply after the start
    bool stopFirst;
    int fileLinks;
  };
  const Case cases[] = {
      {"a request follows", true, false, 1},
      {"no request follows", false, false, 0},
      {"stopped before the request", true, true, 0},
  };
  for (const Case& c : cases) {
    const int before = files().acceptCount();
    XService link;
    link.connect(address(), 6666);
    std::error_code ec;
    link.start(ec, false);
    ASSERT_FALSE(ec) << c.what;
    if (c.stopFirst) link.stop();
    if (c.request) {
      Json::Value value;
      link.getValue("k", value, ec);
      EXPECT_EQ(static_cast<bool>(ec), c.stopFirst) << c.what;
    }
    if (c.fileLinks > 0) {
      EXPECT_TRUE(waitUntil([&] { return files().acceptCount() > before; }, 2s)) << c.what;
    }
    std::this_thread::sleep_for(50ms);  // an attempt left running would be accepted by now
    EXPECT_EQ(files().acceptCount() - before, c.fileLinks) << c.what;
    link.stop();
    EXPECT_TRUE(files().waitForOpenConnections(0, 2s)) << c.what;
  }
}
