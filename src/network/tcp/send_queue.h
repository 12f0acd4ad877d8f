#pragma once
// The write side of a TCP client's connection: the messages on their way out, in call order,
// and which party writes them. One party owns the write side at a time, a sender writing from
// its own thread or the I/O thread once the socket has room again; whoever comes meanwhile
// queues behind, so messages of concurrent senders leave whole and in order.
//
// Not locked by itself: every member is called with the client's lock held. The writing calls
// take that lock and release it only across the system call: a sender never waits for another's
// system call, and sending takes no lock but the client's.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "network/tcp/tcp_client.h"

namespace velmora::internal {

/// A message on its way out. Queued in a list, so an entry never moves while a write call points
/// into it, whatever is withdrawn around it.
struct Outgoing {
  std::string bytes;
  std::uint64_t number = 0;  // in call order
  std::size_t offset = 0;    // bytes written so far
  bool inFlight = false;     // part of a write call in progress: its bytes may be leaving now
};

class SendQueue {
 public:
  using Lock = std::unique_lock<std::mutex>;

  /// `changed` is the client's condition, waited on under its lock; `up` tells whether the
  /// connection still takes writes (cleared, under the lock, as soon as it is known lost).
  SendQueue(std::size_t maxUnsentBytes, std::condition_variable& changed, const std::atomic<bool>& up) noexcept
      : maxUnsentBytes_(maxUnsentBytes), changed_(changed), up_(up) {}
  SendQueue(const SendQueue&) = delete;
  SendQueue& operator=(const SendQueue&) = delete;

  /// A new connection: nothing queued for the last one ever goes out on it.
  void open() noexcept;
  /// The connection is gone: what waits is dropped and `sendAll` callers are woken.
  void close() noexcept;

  /// Whether a `post` would queue: the write side is owned, or messages wait for room.
  bool busy() const noexcept { return writing() || !queue_.empty(); }
  /// Whether a party writes now (the socket must stay open until it leaves). Also read
  /// without the lock, by a reader that would otherwise sleep on the socket's lock meanwhile.
  bool writing() const noexcept { return writing_.load(std::memory_order_relaxed); }
  bool empty() const noexcept { return queue_.empty(); }
  /// Bytes taken and not yet written.
  std::size_t unsentBytes() const noexcept { return queuedBytes_; }
  /// The number of the connection being written, bumped by `open`.
  std::uint64_t connection() const noexcept { return connection_; }

  /// Queues a copy of `bytes` behind what waits; `full` (nothing kept) when that would go beyond
  /// the bound. Empty bytes are taken as message number 0, which is never written.
  TcpClient::Posted enqueue(std::string_view bytes, std::uint64_t* number);
  /// When not `busy`: the calling thread takes the write side to write a message itself, with
  /// the lock released across the system call; returns the message's number.
  std::uint64_t beginDirect(std::uint64_t* number) noexcept;
  /// After that write (`sent` and `error` as the call gave them): queues what the socket did not
  /// take ahead of anything queued meanwhile, then writes that too while the connection is up,
  /// and gives the write side back. `notConnected` when the socket failed (everything queued is
  /// dropped).
  TcpClient::Posted endDirect(Lock& lock, int fd, std::string_view bytes, std::uint64_t mine, ssize_t sent, int error);
  /// The I/O thread, when not `writing` and `fd` has room: writes what is queued. True when some
  /// is left for the next time the socket has room; `broken` tells a failed socket.
  bool writeQueued(Lock& lock, int fd, std::error_code& broken);

  /// Takes message `number` back if none of its bytes has been written or is being written.
  bool withdraw(std::uint64_t number) noexcept;

  /// Blocks until message `number` has been written on `connection`: not_connected when that
  /// connection ends first, timed_out at `deadline`.
  std::error_code waitWritten(Lock& lock, std::uint64_t number, std::uint64_t connection,
                              std::chrono::steady_clock::time_point deadline);

 private:
  bool flush(Lock& lock, int fd, std::error_code& broken);
  void markWritten(std::uint64_t upTo) noexcept;
  void drop() noexcept;

  const std::size_t maxUnsentBytes_;
  std::condition_variable& changed_;
  const std::atomic<bool>& up_;

  std::list<Outgoing> queue_;
  std::size_t queuedBytes_ = 0;
  // A sender's thread or the I/O thread owns the write side. Changed under the lock.
  std::atomic<bool> writing_{false};
  std::uint64_t numbered_ = 0;    // the last message number given
  std::uint64_t connection_ = 0;  // bumps per established connection
  std::uint64_t written_ = 0;     // every message up to this number has left...
  std::uint64_t writtenOn_ = 0;   // ...on this connection
  int writtenWaiters_ = 0;
};

}  // namespace velmora::internal
