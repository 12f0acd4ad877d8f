// A request reads its own reply off the socket when nobody else reads; whatever else it reads
// still goes to the link's I/O thread, in order, and the reply-before-a-drop rule holds.

#include <gmock/gmock.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <velmora/error.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "network/xservice/link_fixture.h"
#include "support/loopback.h"
#include "support/process_stats.h"
#include "support/xservice_probe.h"

using velmora::internal::makeErrorCode;
using velmora::internal::ReplyWaiters;
using velmora::internal::XService;
using velmora::internal::XServiceProbe;
using velmora_sim::Behaviour;
using velmora_sim::Exchange;
using namespace std::chrono_literals;

namespace {

// The threads callbacks ran on, and how many ran.
struct Seen {
  std::mutex mutex;
  std::set<std::thread::id> threads;
  int notifications = 0;
  int motions = 0;
  std::atomic<int> replies{0};
  void on(int& counter) {
    std::lock_guard<std::mutex> lock(mutex);
    threads.insert(std::this_thread::get_id());
    ++counter;
  }
};

using XServiceReadingTest = LinkTest;

// Accepts connections on a free port and answers each one's first request with its reply and,
// in the same write, the end of the connection.
class ReplyThenClose {
 public:
  explicit ReplyThenClose(const std::string& address) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
    socklen_t length = sizeof at;
    ::bind(listener_, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length);
    port_ = ntohs(at.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        std::string request;
        char c;
        while (::recv(fd, &c, 1, 0) == 1 && c != '\r') request.push_back(c);
        const auto at = request.find("\"id\":");
        const std::string id = request.substr(at + 5, request.find_first_not_of("0123456789", at + 5) - at - 5);
        const std::string reply = "{\"c\":{\"k\":7},\"id\":" + id + "}\r";
        ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(fd);
      }
    });
  }
  ~ReplyThenClose() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  std::uint16_t port() const { return port_; }

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace

TEST_F(XServiceReadingTest, CallbacksStayOnTheIoThreadAndRunBeforeALaterReplyReturns) {
  auto seen = std::make_shared<Seen>();
  link.setNotificationCallback([seen](const Json::Value&) { seen->on(seen->notifications); });
  link.setMotionCallback([seen](const Json::Value&) { seen->on(seen->motions); });
  // Each request is preceded on the wire by a notification and a motion message.
  command().handle("ordered", [](Exchange& x) {
    Json::Value notification;
    notification["id"] = 1;
    notification["n"]["safety.event.collision"]["x"] = 1;
    x.connection()->send(notification);
    Json::Value motion;
    motion["id"] = "m";
    motion["c"]["move.l"] = 0;
    x.connection()->send(motion);
    x.reply(1);
  });
  command().log().setEnabled(false);
  constexpr int kRounds = 300;
  for (int i = 1; i <= kRounds; ++i) {
    Json::Value result;
    std::error_code ec;
    link.sendCommand("ordered", Json::Value(), result, ec, 2s);
    ASSERT_FALSE(ec) << i;
    {
      std::lock_guard<std::mutex> lock(seen->mutex);
      ASSERT_EQ(seen->notifications, i) << "the notification before the reply was handled first";
      ASSERT_EQ(seen->motions, i);
    }
    link.sendCommandAsync(
        "async", Json::Value(),
        [seen](const Json::Value&) {
          std::lock_guard<std::mutex> lock(seen->mutex);
          seen->threads.insert(std::this_thread::get_id());
          ++seen->replies;
        },
        ec);
    ASSERT_FALSE(ec);
  }
  ASSERT_TRUE(waitUntil([&] { return seen->replies == kRounds; }, 2s));
  std::lock_guard<std::mutex> lock(seen->mutex);
  EXPECT_EQ(seen->threads.size(), 1u) << "every callback on the one I/O thread";
  EXPECT_EQ(seen->threads.count(std::this_thread::get_id()), 0u) << "never on the requesting thread";
}

TEST(XServiceReplyThenClose, AReplyFollowedAtOnceByTheEndOfTheLinkIsStillTheAnswer) {
  const std::string address = testLoopbackAddress();
  ReplyThenClose server(address);
  XService link;
  for (int i = 0; i < 20; ++i) {
    link.connect(address, server.port());
    std::error_code ec;
    link.start(ec);
    ASSERT_FALSE(ec) << i;
    Json::Value result;
    link.sendCommand("k", Json::Value(), result, ec, 2s);
    EXPECT_EQ(ec, makeErrorCode(0)) << i;
    EXPECT_EQ(result.asInt(), 7) << i;
    link.stop();
  }
}

// A request waiting alone builds the value it asks for where it reads its reply, in one pass;
// whatever is not its plain reply goes the usual way, with the same outcome.
TEST_F(XServiceReadingTest, ALoneRequestTakesItsPlainReplyWhereItReadsIt) {
  using velmora_sim::Behaviour;
  using velmora_sim::Form;
  ReplyWaiters& waiters = XServiceProbe::waiters(link);
  Recorder notes;
  link.setNotificationCallback(std::ref(notes));
  Json::Value notification;
  notification["id"] = 1;
  notification["n"]["safety.event.collision"]["x"] = 1;
  struct Case {
    const char* what;
    Behaviour behaviour;
    int code;        // of the get
    int takenThere;  // settled where it was read: 1, 0, or -1 when either may happen
  };
  // Each reply's text as the controller sends it; ID stands for the request's id.
  const auto text = [](std::string body) {
    return Behaviour::handle([body](velmora_sim::Exchange& x) {
      std::string bytes = body;
      const auto at = bytes.find("ID");
      if (at != std::string::npos) bytes.replace(at, 2, std::to_string(x.request().id.asUInt64()));
      x.connection()->sendRaw(bytes + "\r");
      x.silent();
    });
  };
  // The notification last: the I/O thread it goes to may still be busy with it at the next
  // request, which then leaves the reading to that thread.
  const Case cases[] = {
      {"a plain reply", Behaviour::reply(5), 0, 1},
      {"a stray reply first",
       text(R"({"g":{"k":4},"id":1})"
            "\r"
            R"({"g":{"k":5},"id":ID})"),
       0, 1},
      {"the key missing", text(R"({"g":{"other":1},"id":ID})"), 257, 0},
      {"the key twice", text(R"({"g":{"k":4,"k":5},"id":ID})"), 0, 0},
      {"an escaped name", text(R"({"g":{"\u006b":5},"id":ID})"), 0, 0},
      {"a notification first", Behaviour::handle([notification](velmora_sim::Exchange& x) {
         x.connection()->send(notification);
         x.reply(5);
       }),
       0, -1},  // left to the I/O thread: the reply follows it there unless it comes apart
  };
  for (const Case& c : cases) {
    command().script(Form::get, "k", c.behaviour.times(1));
    const auto before = waiters.ownReplies();
    Json::Value value;
    std::error_code ec;
    link.getValue("k", value, ec);
    EXPECT_EQ(ec, makeErrorCode(c.code)) << c.what;
    if (!ec) {
      EXPECT_EQ(value, Json::Value(5)) << c.what;
    }
    if (c.takenThere >= 0) {
      EXPECT_EQ(waiters.ownReplies() - before, static_cast<unsigned>(c.takenThere)) << c.what;
    }
  }
  EXPECT_TRUE(notes.waitFor(1));
}

// After a pause the I/O thread reads the socket again; the next caller to take the reading
// parks it at once, or every reply that caller reads would wake that thread in vain.
TEST_F(XServiceReadingTest, ACallerTakingTheReadingParksTheIoThreadsInterest) {
  const auto& client = XServiceProbe::client(link);
  Json::Value value;
  std::error_code ec;
  int parked = 0;
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    // A few ticks without requests: the I/O thread takes the reading up again.
    ASSERT_TRUE(waitUntil([&] { return !client.readParked(); }, 2s)) << round;
    link.getValue("sys.state", value, ec);
    ASSERT_FALSE(ec);
    if (client.readParked()) ++parked;
  }
  // A tick may come between the reply and the look: most rounds, not every one.
  EXPECT_GE(parked, kRounds * 3 / 4);
}

// While a caller keeps requesting, each request puts the I/O thread's look at the parked socket
// off: that thread sleeps the whole while instead of waking every tick.
TEST_F(XServiceReadingTest, WhileACallerKeepsRequestingTheIoThreadSleeps) {
  std::atomic<long> ioThread{0};
  link.setNotificationCallback([&](const Json::Value&) { ioThread = static_cast<long>(::syscall(SYS_gettid)); });
  Json::Value topics;
  topics["safety.event.collision"]["x"] = 1;
  ASSERT_EQ(command().notify(topics), 1);
  ASSERT_TRUE(waitUntil([&] { return ioThread != 0; }, 2s));
  const auto sleeps = [&] {
    std::ifstream status("/proc/self/task/" + std::to_string(ioThread.load()) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
    }
    return -1L;
  };
  command().log().setEnabled(false);
  Json::Value value;
  std::error_code ec;
  link.getValue("sys.state", value, ec);
  ASSERT_FALSE(ec);
  const long before = sleeps();
  ASSERT_GE(before, 0);
  // Where the machine holds this thread up between two requests for long enough, the tick may
  // come meanwhile: each such stretch allows a wake-up for every tick it lasts.
  long allowed = 5;
  auto last = std::chrono::steady_clock::now();
  const auto end = last + 100ms;
  while (last < end) {
    link.getValue("sys.state", value, ec);
    ASSERT_FALSE(ec);
    const auto now = std::chrono::steady_clock::now();
    if (now - last > 400us)
      allowed += 2 * (1 + std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
    last = now;
  }
  // A tick each millisecond would be a hundred, a wake-up for each reply far more.
  EXPECT_LE(sleeps() - before, allowed);
}

// Several callers requesting at once pass the reading from one to the next, and the I/O
// thread's interest stays parked the while: a reader whose reply is in while the others' are in
// too leaves the reading free for the next request rather than arming that interest again.
TEST_F(XServiceReadingTest, SeveralCallersRequestingAtOnceKeepTheIoThreadsInterestParked) {
  command().log().setEnabled(false);
  const auto& client = XServiceProbe::client(link);
  Json::Value value;
  std::error_code ec;
  link.getValue("sys.state", value, ec);
  ASSERT_FALSE(ec);
  std::atomic<bool> stop{false};
  std::atomic<long> requests{0};
  std::atomic<long> failures{0};
  const auto parks = client.readParks();
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> callers(4);
  for (auto& caller : callers) {
    caller = std::thread([&] {
      while (!stop) {
        Json::Value reply;
        std::error_code failed;
        link.getValue("sys.state", reply, failed);
        ++(failed ? failures : requests);
      }
    });
  }
  std::this_thread::sleep_for(200ms);
  stop = true;
  for (auto& caller : callers) caller.join();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(failures, 0);
  ASSERT_GT(requests, 100);
  // Only the I/O thread's tick arms the interest again, when the machine holds every caller up
  // for a millisecond; arming it whenever a reader found nobody left waiting would be once or
  // more a millisecond.
  EXPECT_LE(client.readParks() - parks, static_cast<std::uint64_t>(took.count()) / 10 + 2)
      << "in " << requests << " requests";
}

// A request whose reply is in calls a request still waiting to read on, so the later reply
// goes from the socket to its own waiter rather than through the I/O thread.
TEST_F(XServiceReadingTest, ARequestDoneReadingCallsAWaitingOneToReadOn) {
  command().script("slow", velmora_sim::Behaviour::reply(1).after(150ms));
  ReplyWaiters& waiters = XServiceProbe::waiters(link);
  const auto& client = XServiceProbe::client(link);
  const auto deadline = [] { return std::chrono::steady_clock::now() + 2s; };
  // A machine that holds the called request back past the I/O thread's tick lets that thread
  // read in its place now and then: most rounds, not every one, show the call.
  int readByItself = 0;
  for (std::uint64_t round = 0; round < 4; ++round) {
    const std::uint64_t first = 5000 + 2 * round;
    const std::uint64_t second = first + 1;
    ReplyWaiters::Ticket own(waiters, first);
    const auto claims = client.callerReads();
    own.readFromNow();
    ASSERT_EQ(client.callerReads(), claims + 1) << round;
    std::error_code otherCode;
    Json::Value otherReply;
    std::thread other([&] {
      ReplyWaiters::Ticket ticket(waiters, second);
      XServiceProbe::send(link, "{\"c\":{\"slow\":null},\"id\":" + std::to_string(second) + "}\r");
      otherCode = ticket.wait(otherReply, deadline());
    });
    // The other request finds the reading taken and goes to sleep.
    ASSERT_TRUE(waitUntil([&] { return waiters.size() == 2; }, 2s));
    std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(XServiceProbe::send(link, "{\"c\":{\"fast\":null},\"id\":" + std::to_string(first) + "}\r"));
    Json::Value reply;
    ASSERT_FALSE(own.wait(reply, deadline())) << round;
    other.join();
    ASSERT_FALSE(otherCode) << round;
    EXPECT_EQ(otherReply["c"]["slow"].asInt(), 1);
    if (client.callerReads() == claims + 2) ++readByItself;
  }
  EXPECT_GE(readByItself, 3) << "the other request read its own reply in " << readByItself << " of 4 rounds";
}

// Once the last request has read its reply, the I/O thread takes the reading up again on its
// own: a message nobody asks for still arrives, whether it comes right after the reply, a moment
// later, or while another thread keeps requesting.
TEST_F(XServiceReadingTest, AMessageRightAfterConnectingArrivesWithoutARequest) {
  // A fresh connection waits for its callers' replies without the I/O thread reading; a message
  // that comes before any request must not wait for one.
  Recorder notes;
  link.setNotificationCallback(std::ref(notes));
  Json::Value topics;
  topics["safety.event.collision"]["x"] = 1;
  for (int round = 0; round < 10; ++round) {
    link.stop();
    ASSERT_TRUE(command().waitForOpenConnections(0, 2s));
    start(link, 1);
    ASSERT_EQ(command().notify(topics), 1);
    ASSERT_TRUE(notes.waitFor(static_cast<std::size_t>(round) + 1, 200ms)) << "round " << round;
  }
}

TEST_F(XServiceReadingTest, AMessageAfterTheLastReplyIsDeliveredWithoutAnotherRequest) {
  Recorder notes;
  link.setNotificationCallback(std::ref(notes));
  command().log().setEnabled(false);
  Json::Value topics;
  topics["safety.event.collision"]["x"] = 1;
  struct Case {
    const char* what;
    std::chrono::microseconds after;
    bool keepRequesting;
    std::chrono::milliseconds replyAfter;  // the reply waited for in the socket over ticks
  };
  const Case cases[] = {
      {"right after the reply", 0us, false, 0ms},
      {"a moment later", 400us, false, 0ms},
      {"well after", 5ms, false, 0ms},
      {"while requests go on", 400us, true, 0ms},
      {"after a reply that kept its caller reading for ticks", 400us, false, 8ms},
  };
  command().script("late", Behaviour::reply(1).after(8ms));
  std::size_t expected = 0;
  for (const Case& c : cases) {
    for (int round = 0; round < 20; ++round) {
      std::atomic<bool> stop{false};
      std::thread requester;
      Json::Value result;
      std::error_code ec;
      link.getValue(c.replyAfter > 0ms ? "late" : "sys.state", result, ec);
      ASSERT_FALSE(ec) << c.what;
      if (c.keepRequesting) {
        requester = std::thread([&] {
          while (!stop) {
            Json::Value value;
            std::error_code failed;
            link.getValue("sys.state", value, failed);
          }
        });
      }
      std::this_thread::sleep_for(c.after);
      ASSERT_EQ(command().notify(topics), 1);
      ++expected;
      // Far beyond the I/O thread's tick; without it the message would wait for a request.
      const bool arrived = notes.waitFor(expected, 200ms);
      stop = true;
      if (requester.joinable()) requester.join();
      ASSERT_TRUE(arrived) << c.what << ", round " << round;
    }
  }
}
