// The write side on a socket pair that holds little, driven as the client drives it: a sender
// writes when the write side is free and queues otherwise; the I/O thread writes the queue when
// the peer has read.

#include <gmock/gmock.h>

#include <sys/socket.h>
#include <unistd.h>

#include <asio/error.hpp>

#include <cerrno>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "network/tcp/send_queue.h"

using velmora::internal::SendQueue;
using velmora::internal::TcpClient;
using Posted = TcpClient::Posted;
using namespace std::chrono_literals;

namespace {

class Link {
 public:
  explicit Link(std::size_t bound = std::numeric_limits<std::size_t>::max()) : queue(bound, changed, up) {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    writer_ = fds[0];
    reader_ = fds[1];
    const int small = 4096;
    ::setsockopt(writer_, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(reader_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    queue.open();
  }
  ~Link() {
    ::close(writer_);
    closePeer();
  }

  Posted post(std::string_view bytes, std::uint64_t* number = nullptr) {
    std::unique_lock<std::mutex> lock(mutex);
    if (queue.busy()) return queue.enqueue(bytes, number);
    // As the client's sender does: the write itself with the lock released.
    const std::uint64_t mine = queue.beginDirect(number);
    lock.unlock();
    const ssize_t sent = ::send(writer_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    const int error = sent < 0 ? errno : 0;
    lock.lock();
    return queue.endDirect(lock, writer_, bytes, mine, sent, error);
  }
  // Fills the socket so that the next write takes nothing; the filler arrives first.
  std::size_t fill() {
    const std::string chunk(1024, '~');
    std::size_t filled = 0;
    for (ssize_t n; (n = ::send(writer_, chunk.data(), chunk.size(), MSG_DONTWAIT)) > 0;) filled += n;
    return filled;
  }
  // Everything the peer receives until the queue is empty.
  std::string drain() {
    std::string got;
    for (int turn = 0; turn < 10'000; ++turn) {
      receive(got);
      std::unique_lock<std::mutex> lock(mutex);
      if (queue.empty()) break;
      std::error_code broken;
      queue.writeQueued(lock, writer_, broken);
      if (broken) ADD_FAILURE() << broken.message();
    }
    receive(got);
    return got;
  }
  void closePeer() {
    if (reader_ >= 0) ::close(reader_);
    reader_ = -1;
  }
  std::size_t unsent() {
    std::lock_guard<std::mutex> lock(mutex);
    return queue.unsentBytes();
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::atomic<bool> up{true};
  SendQueue queue;

 private:
  void receive(std::string& got) const {
    char buffer[65536];
    for (ssize_t n; (n = ::recv(reader_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) got.append(buffer, n);
  }

  int writer_ = -1;
  int reader_ = -1;
};

// Message `i` of `size` bytes, told apart from its neighbours by its content.
std::string message(std::size_t i, std::size_t size) {
  std::string text;
  while (text.size() < size) text += std::to_string(i) + ',';
  text.resize(size);
  return text;
}

TEST(SendQueue, PartialWritesKeepEveryMessageWholeAndInOrder) {
  const struct {
    const char* name;
    bool filled;
    std::vector<std::size_t> sizes;
  } cases[] = {
      {"one message larger than the socket", false, {1 << 20}},
      {"small ones behind a partial write", false, {300'000, 7, 1, 4096, 9}},
      {"all behind a full socket", true, {5, 70'000, 3, 70'000}},
      {"more than one writev takes", true, std::vector<std::size_t>(150, 33)},
  };
  for (const auto& c : cases) {
    Link link;
    const std::size_t filler = c.filled ? link.fill() : 0;
    std::string expected;
    std::uint64_t last = 0;
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      expected += message(i, c.sizes[i]);
      EXPECT_EQ(link.post(message(i, c.sizes[i]), &last), Posted::queued) << c.name << " #" << i;
    }
    EXPECT_GT(link.unsent(), 0u) << c.name << ": the socket never filled";
    const std::string got = link.drain();
    ASSERT_EQ(got.size(), filler + expected.size()) << c.name;
    EXPECT_TRUE(got.compare(filler, std::string::npos, expected) == 0) << c.name;
    EXPECT_EQ(link.unsent(), 0u) << c.name;
    std::unique_lock<std::mutex> lock(link.mutex);
    EXPECT_FALSE(link.queue.waitWritten(lock, last, link.queue.connection(), std::chrono::steady_clock::now()))
        << c.name << ": the last message counts as written";
  }
}

TEST(SendQueue, WithdrawTakesBackOnlyAMessageNoneOfWhoseBytesLeft) {
  Link link;
  const std::string first = message(0, 300'000);  // written in part at once
  std::uint64_t number = 0;
  ASSERT_EQ(link.post(first, &number), Posted::queued);
  ASSERT_EQ(number, 1u);
  for (const char* text : {"aaaaaaaaaa", "bbbbbbbbbbbbbbbbbbbb", "cccccccccccccccccccccccccccccc"}) link.post(text);
  const struct {
    std::uint64_t number;
    bool taken;
    const char* why;
  } steps[] = {
      {1, false, "partly written"}, {3, true, "queued"},           {3, false, "taken back already"},
      {4, true, "the newest"},      {9, false, "never given out"}, {0, false, "the number of nothing"},
  };
  for (const auto& s : steps) {
    const std::size_t before = link.unsent();
    std::lock_guard<std::mutex> lock(link.mutex);
    EXPECT_EQ(link.queue.withdraw(s.number), s.taken) << s.why;
    EXPECT_EQ(before - link.queue.unsentBytes(), s.taken ? 10 * (s.number - 1) : 0) << s.why;
  }
  EXPECT_EQ(link.drain(), first + "aaaaaaaaaa");
  std::lock_guard<std::mutex> lock(link.mutex);
  EXPECT_FALSE(link.queue.withdraw(2)) << "written";
}

TEST(SendQueue, RefusesWholeMessagesBeyondTheBoundAndKeepsNothingOfABrokenSocket) {
  const struct {
    const char* name;
    bool peerGone;
    std::vector<std::size_t> sizes;
    std::vector<Posted> posted;
    std::size_t unsent;
  } cases[] = {
      {"an empty queue takes one beyond the bound", false, {150, 1}, {Posted::queued, Posted::full}, 150},
      {"up to the bound exactly", false, {60, 40, 1}, {Posted::queued, Posted::queued, Posted::full}, 100},
      {"a refused one keeps nothing", false, {60, 41, 40}, {Posted::queued, Posted::full, Posted::queued}, 100},
      {"the peer is gone", true, {10, 10}, {Posted::notConnected, Posted::notConnected}, 0},
  };
  for (const auto& c : cases) {
    Link link(100);
    link.fill();
    if (c.peerGone) link.closePeer();
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      EXPECT_EQ(link.post(message(i, c.sizes[i])), c.posted[i]) << c.name << " #" << i;
    }
    EXPECT_EQ(link.unsent(), c.unsent) << c.name;
  }
}

TEST(SendQueue, AWaiterForItsBytesWakesWhenTheyLeftOrTheConnectionEnded) {
  const struct {
    const char* name;
    void (*meanwhile)(Link&);
    std::error_code expected;
  } cases[] = {
      {"the bytes left", [](Link& link) { link.drain(); }, {}},
      {"the connection was lost",
       [](Link& link) {
         std::lock_guard<std::mutex> lock(link.mutex);
         link.up = false;
         link.queue.close();
       },
       asio::error::not_connected},
      {"a new connection replaced it",
       [](Link& link) {
         std::lock_guard<std::mutex> lock(link.mutex);
         link.queue.close();
         link.queue.open();
       },
       asio::error::not_connected},
      {"nothing happened", nullptr, asio::error::timed_out},
  };
  for (const auto& c : cases) {
    Link link;
    link.fill();
    std::uint64_t number = 0;
    std::uint64_t connection = 0;
    ASSERT_EQ(link.post("waits", &number), Posted::queued);
    {
      std::lock_guard<std::mutex> lock(link.mutex);
      connection = link.queue.connection();
    }
    std::thread other([&] {
      std::this_thread::sleep_for(20ms);
      if (c.meanwhile != nullptr) c.meanwhile(link);
    });
    const auto deadline = std::chrono::steady_clock::now() + (c.meanwhile != nullptr ? 10s : 200ms);
    std::unique_lock<std::mutex> lock(link.mutex);
    EXPECT_EQ(link.queue.waitWritten(lock, number, connection, deadline), c.expected) << c.name;
    if (c.meanwhile != nullptr) {
      EXPECT_LT(std::chrono::steady_clock::now(), deadline) << c.name << ": never woken";
    }
    lock.unlock();
    other.join();
  }
}

}  // namespace
