#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <asio/error.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "network/tcp/tcp_client.h"
#include "support/loopback.h"
#include "support/process_stats.h"
#include "support/sim_fixture.h"

using velmora::internal::TcpClient;
using velmora::internal::TcpClientOptions;
using namespace std::chrono_literals;

namespace {

bool sent(TcpClient& client, std::string_view message) { return client.send(message) == TcpClient::Posted::queued; }

// Records what a client's handlers saw, in order: "connect", "connect-failed", "disconnect".
class Probe {
 public:
  explicit Probe(TcpClient& client) {
    client.setHandlers([this](const std::error_code& ec) { event(ec ? "connect-failed" : "connect"); },
                       [this](std::string_view m) {
                         std::lock_guard<std::mutex> lock(mutex_);
                         messages_.emplace_back(m);
                         changed_.notify_all();
                         if (onMessage) onMessage(m);
                       },
                       [this](const std::error_code& ec) {
                         {
                           std::lock_guard<std::mutex> lock(mutex_);
                           lastDisconnect_ = ec;
                         }
                         event("disconnect");
                       });
  }

  std::function<void(std::string_view)> onMessage;

  std::vector<std::string> events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<std::string> messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::error_code lastDisconnect() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastDisconnect_;
  }
  bool waitEvents(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return events_.size() >= n; });
  }
  bool waitMessages(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= n; });
  }

 private:
  void event(const char* what) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.emplace_back(what);
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> events_;
  std::vector<std::string> messages_;
  std::error_code lastDisconnect_;
};

using TcpClientTest = SimTest;

// This process's TCP socket whose peer is `port` (the client's side), or -1.
int clientSocketTo(std::uint16_t port) {
  for (int fd = 0; fd < 4096; ++fd) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET) continue;
    if (ntohs(peer.sin_port) == port) return fd;
  }
  return -1;
}

bool keptAlive(int fd) {
  int on = 0;
  socklen_t length = sizeof on;
  return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, &length) == 0 && on == 1;
}

}  // namespace

TEST_F(TcpClientTest, DeliversSplitJoinedAndCapSizedMessagesAndDropsAnOversizedOne) {
  TcpClient client;
  Probe probe(client);
  ASSERT_FALSE(client.start(address(), 6666));
  ASSERT_TRUE(command().waitForOpenConnections(1, 2s));

  const std::string first = "{\"id\":1,\"n\":{\"t\":1}}\r";
  for (char c : first) {
    command().broadcastRaw(std::string(1, c));
    std::this_thread::sleep_for(200us);
  }
  command().broadcastRaw("{\"a\":2,\"id\":2}\r{\"a\":3,\"id\":3}\r");
  const std::string atCap = std::string(1024 * 1024 - 1, 'x') + "\r";
  command().broadcastRaw(atCap);
  ASSERT_TRUE(probe.waitMessages(4, 5s));
  auto messages = probe.messages();
  EXPECT_EQ(messages[0], first);
  EXPECT_EQ(messages[1], "{\"a\":2,\"id\":2}\r");
  EXPECT_EQ(messages[2], "{\"a\":3,\"id\":3}\r");
  EXPECT_EQ(messages[3], atCap);

  // One byte more and the stream cannot be trusted: the link drops, then comes back by itself.
  command().broadcastRaw(std::string(1024 * 1024, 'y') + "\r");
  ASSERT_TRUE(probe.waitEvents(3, 4s));
  EXPECT_THAT(probe.events(), ::testing::ElementsAre("connect", "disconnect", "connect"));
  EXPECT_EQ(probe.lastDisconnect(), asio::error::message_size);
  EXPECT_EQ(probe.messages().size(), 4u);
  client.stop();
}

TEST_F(TcpClientTest, ConcurrentSendersNeverInterleaveAndKeepTheirOrder) {
  TcpClient client;
  Probe probe(client);
  ASSERT_FALSE(client.start(address(), 6666));
  constexpr int kSenders = 8;
  constexpr int kEach = 200;
  std::vector<std::thread> senders;
  std::atomic<int> refused{0};
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s] {
      for (int i = 0; i < kEach; ++i) {
        // Every tenth message is large, so writes are cut short and the queue is exercised.
        const std::string pad = i % 10 == 0 ? std::string(64 * 1024, 'p') : std::string();
        const std::string message = "{\"c\":{\"t" + std::to_string(s) + "\":" + std::to_string(i) +
                                    "},\"id\":" + std::to_string(s * kEach + i) + ",\"pad\":\"" + pad + "\"}\r";
        if (!sent(client, message)) ++refused;
      }
    });
  }
  for (auto& t : senders) t.join();
  EXPECT_EQ(refused, 0);
  ASSERT_TRUE(command().log().waitForSize(kSenders * kEach, 10s));
  std::map<std::string, int> next;
  for (const auto& r : command().log().all()) {
    ASSERT_EQ(r.form, velmora_sim::Form::command) << "interleaved bytes: " << r.raw.substr(0, 80);
    EXPECT_EQ(r.payload.asInt(), next[r.key]++) << r.key;
  }
  for (int s = 0; s < kSenders; ++s) EXPECT_EQ(next["t" + std::to_string(s)], kEach);
  client.stop();
}

TEST_F(TcpClientTest, SendersRacingALostLinkNeverCarryBytesIntoTheNextConnection) {
  TcpClientOptions options;
  options.reconnectDelay = 10ms;
  TcpClient client(options);
  Probe probe(client);
  ASSERT_FALSE(client.start(address(), 6666));
  std::atomic<bool> stop{false};
  std::vector<std::thread> senders;
  for (int s = 0; s < 6; ++s) {
    senders.emplace_back([&, s] {
      for (int i = 0; !stop; ++i) {
        const std::string pad(i % 7 == 0 ? 32 * 1024 : 16, 'p');
        sent(client,
             "{\"c\":{\"t" + std::to_string(s) + "\":" + std::to_string(i) + "},\"id\":1,\"pad\":\"" + pad + "\"}\r");
        if (!client.isConnected()) std::this_thread::yield();
      }
    });
  }
  for (int drop = 0; drop < 20; ++drop) {
    ASSERT_TRUE(waitUntil([&] { return command().openConnections() == 1; }, 2s)) << drop;
    std::this_thread::sleep_for(5ms);
    command().dropConnections();
  }
  stop = true;
  for (auto& t : senders) t.join();
  client.stop();
  // A connection starts with a whole message: no tail of one sent on an earlier connection.
  for (const auto& r : command().log().all()) {
    ASSERT_EQ(r.form, velmora_sim::Form::command) << "connection " << r.connection << ": " << r.raw.substr(0, 60);
  }
}

TEST_F(TcpClientTest, ReconnectsAboutOneSecondAfterTheControllerDropsTheLink) {
  TcpClient client;
  Probe probe(client);
  ASSERT_FALSE(client.start(address(), 6666));
  ASSERT_TRUE(command().waitForOpenConnections(1, 2s));
  const auto dropped = std::chrono::steady_clock::now();
  command().dropConnections();
  ASSERT_TRUE(probe.waitEvents(2, 2s));
  EXPECT_FALSE(sent(client, "{\"x\":1,\"id\":1}\r")) << "no connection, no send";
  ASSERT_TRUE(probe.waitEvents(3, 3s));
  const auto elapsed = std::chrono::steady_clock::now() - dropped;
  EXPECT_GE(elapsed, 900ms);
  EXPECT_LE(elapsed, 2500ms);
  EXPECT_THAT(probe.events(), ::testing::ElementsAre("connect", "disconnect", "connect"));
  EXPECT_TRUE(waitUntil([&] { return command().acceptCount() == 2; }, 2s));
  EXPECT_TRUE(sent(client, "{\"c\":{\"k\":1},\"id\":1}\r"));
  EXPECT_TRUE(command().log().waitFor("k", 2s));
  client.stop();
}

TEST_F(TcpClientTest, EachConnectionIsReportedByTheThreadThatMadeItAndKeptAlive) {
  TcpClient client;
  std::mutex mutex;
  std::vector<std::thread::id> reported;
  const auto count = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return reported.size();
  };
  client.setHandlers(
      [&](const std::error_code& ec) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!ec) reported.push_back(std::this_thread::get_id());
      },
      [](std::string_view) {}, [](const std::error_code&) {});
  ASSERT_FALSE(client.start(address(), 6666));
  // The starter makes the first connection: reported, on its own thread, before start returns.
  ASSERT_EQ(count(), 1u);
  EXPECT_EQ(reported[0], std::this_thread::get_id());
  EXPECT_TRUE(waitUntil([&] { return keptAlive(clientSocketTo(6666)); }, 2s)) << "left to the I/O thread";

  ASSERT_TRUE(command().waitForOpenConnections(1, 2s));
  command().dropConnections();
  ASSERT_TRUE(waitUntil([&] { return count() == 2; }, 4s));
  EXPECT_NE(reported[1], std::this_thread::get_id()) << "a reconnection is the I/O thread's";
  EXPECT_TRUE(waitUntil([&] { return keptAlive(clientSocketTo(6666)); }, 2s));
  client.stop();
}

TEST_F(TcpClientTest, StopFromInsideHandlersEndsTheLinkWithoutDeadlock) {
  // The simulator takes connections from its backlog in its own time, and a closed one counts
  // as open until it sees the close: each step waits until every connection made so far was
  // accepted, so no round counts (or sends to) a connection of the step before.
  int connections = command().acceptCount();
  const auto acceptedAll = [&] { return waitUntil([&] { return command().acceptCount() == connections; }, 2s); };
  for (const char* where : {"connect", "receive"}) {
    TcpClient client;
    std::atomic<bool> stopInConnect{std::string(where) == "connect"};
    client.setHandlers(
        [&](const std::error_code& ec) {
          if (!ec && stopInConnect) client.stop();
        },
        [&](std::string_view) { client.stop(); }, [&](const std::error_code&) {});
    client.start(address(), 6666);
    ++connections;
    ASSERT_TRUE(acceptedAll()) << where;
    if (!stopInConnect) {
      ASSERT_TRUE(command().waitForOpenConnections(1, 2s));
      command().broadcastRaw("{\"a\":1,\"id\":1}\r{\"a\":2,\"id\":2}\r");
    }
    EXPECT_TRUE(waitUntil([&] { return !client.isConnected(); }, 2s)) << where;
    EXPECT_TRUE(command().waitForOpenConnections(0, 2s)) << where;
    client.stop();  // joins the thread that stopped itself
    stopInConnect = false;
    EXPECT_FALSE(client.start(address(), 6666)) << "restartable after " << where;
    ++connections;
    ASSERT_TRUE(acceptedAll()) << where;
    client.stop();
    ASSERT_TRUE(command().waitForOpenConnections(0, 2s));  // the next round counts from zero
  }
}

TEST_F(TcpClientTest, StopIsIdempotentAndSafeBeforeStart) {
  TcpClient never;
  never.stop();
  never.stop();

  TcpClient client;
  Probe probe(client);
  ASSERT_FALSE(client.start(address(), 6666));
  client.stop();
  client.stop();
  EXPECT_THAT(probe.events(), ::testing::ElementsAre("connect", "disconnect"));
  EXPECT_FALSE(client.isConnected());
  EXPECT_FALSE(sent(client, "x\r"));
  std::this_thread::sleep_for(1200ms);  // no reconnection after a deliberate stop
  EXPECT_EQ(command().acceptCount(), 1);
}

TEST_F(TcpClientTest, RefusedOrEmptyAddressFailsPromptlyAndNeverRetries) {
  command().refuse(true);
  TcpClient client;
  Probe probe(client);
  const auto began = std::chrono::steady_clock::now();
  EXPECT_TRUE(client.start(address(), 6666));
  EXPECT_LT(std::chrono::steady_clock::now() - began, 500ms);
  EXPECT_TRUE(client.start("", 6666));
  EXPECT_FALSE(client.isConnected());
  command().refuse(false);
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(command().acceptCount(), 0);
  EXPECT_THAT(probe.events(), ::testing::ElementsAre("connect-failed"));
}

TEST_F(TcpClientTest, AThrowingHandlerDoesNotEndTheIoThread) {
  TcpClient client;
  Probe probe(client);
  std::atomic<int> calls{0};
  client.setHandlers([](const std::error_code&) { throw std::runtime_error("connect"); },
                     [&](std::string_view) {
                       if (++calls == 1) throw std::runtime_error("receive");
                     },
                     [](const std::error_code&) {});
  ASSERT_FALSE(client.start(address(), 6666));
  ASSERT_TRUE(command().waitForOpenConnections(1, 2s));
  command().broadcastRaw("{\"a\":1,\"id\":1}\r");
  command().broadcastRaw("{\"a\":2,\"id\":2}\r");
  EXPECT_TRUE(waitUntil([&] { return calls == 2; }, 2s));
  EXPECT_TRUE(client.isConnected());
  client.stop();
}

TEST_F(TcpClientTest, SendAllReturnsOnceTheBytesHaveLeft) {
  std::string data(8 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + (i >> 12));
  files().expect(data.size());
  TcpClient client;
  ASSERT_FALSE(client.start(address(), 7777));
  for (std::size_t offset = 0; offset < data.size(); offset += 10240) {
    ASSERT_FALSE(client.sendAll(std::string_view(data).substr(offset, 10240), 5s)) << offset;
  }
  const auto file = files().waitForFile(1, 5s);
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->bytes == data);
  EXPECT_TRUE(sent(client, "and the plain send still works"));
  client.stop();
  EXPECT_EQ(client.sendAll("x", 1s), asio::error::not_connected);
}

TEST(TcpClientSendAll, TimesOutAgainstAPeerThatDoesNotReadAndWakesWhenTheLinkDrops) {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, asio::ip::tcp::endpoint(asio::ip::make_address(testLoopbackAddress()), 0));
  velmora::internal::TcpClientOptions options;
  options.autoReconnect = false;
  TcpClient client(options);
  ASSERT_FALSE(client.start(acceptor.local_endpoint().address().to_string(), acceptor.local_endpoint().port()));
  asio::ip::tcp::socket peer = acceptor.accept();

  const std::string chunk(1 << 20, 'c');
  std::error_code ec;
  for (int i = 0; i < 256 && !ec; ++i) ec = client.sendAll(chunk, 200ms);
  EXPECT_EQ(ec, asio::error::timed_out) << "the peer's buffers are full";

  std::thread closer([&] {
    std::this_thread::sleep_for(100ms);
    std::error_code ignored;
    peer.close(ignored);
  });
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(client.sendAll(chunk, 10s), asio::error::not_connected);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 2s);
  closer.join();
  client.stop();
}
