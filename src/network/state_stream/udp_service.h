#pragma once
// A small UDP socket service driven by the calling thread: no thread is started; datagrams queue
// in the operating system between calls and each receive takes the oldest, with one blocking
// system call while the stream flows. Only datagrams from the controller's address are taken; the others are
// dropped and counted.

#include <asio/ip/udp.hpp>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <system_error>

namespace velmora::internal {

/// Thread safety: `isOpen`, `port`, `foreignDatagrams` and `close` from any thread (a `close`
/// wakes a receive blocked on another thread); every other operation from one thread at a time.
class UdpService {
 public:
  /// Bytes taken by one receive; the rest of a longer datagram is lost.
  static constexpr std::size_t kReceiveSize = 1052;

  UdpService();
  virtual ~UdpService();
  UdpService(const UdpService&) = delete;
  UdpService& operator=(const UdpService&) = delete;

  /// Stores the local address and port to bind and resolves the controller's address (numeric
  /// addresses are taken as they are). Opens nothing. Throws std::system_error when the host
  /// cannot be resolved.
  void setEndpoint(unsigned port, const std::string& remoteHost, const std::string& localAddress);

  /// Closes the socket if open, then binds an IPv4 socket to the local address (empty means
  /// 0.0.0.0) and port; when that fails and `anyPortOnFailure`, to a free port, which `port`
  /// then returns. Every failure goes into `ec` and leaves the service closed.
  virtual void open(std::error_code& ec, bool anyPortOnFailure);
  /// As above; the result shows in `isOpen`.
  virtual void open(bool anyPortOnFailure);
  /// Shuts down and closes the socket, ignoring errors. Safe when not open. A receive blocked on
  /// another thread returns 0 at once; the descriptor is released only after it has left.
  virtual void close();

  /// Takes one datagram of up to kReceiveSize bytes into `buffer` within `timeout` (never
  /// returning before it for want of a datagram, and a kernel tick after it at most); returns
  /// its length (kReceiveSize for a longer one), 0 when none came or the socket is not open. A
  /// datagram already queued is taken even with no time left.
  /// A datagram whose source address is not the controller's (as `setEndpoint` resolved it) is
  /// dropped, counted and told in a log line at most once a second, and the wait goes on. The
  /// source port is not compared: a controller sends from a port of its system's choosing,
  /// which changes when it restarts. Before any `setEndpoint` every sender is taken.
  std::size_t receive(std::uint8_t* buffer, std::chrono::nanoseconds timeout);

  /// Whether the datagram last taken by `receive` reached this host at or after `since`; call
  /// it right after that receive. True when the system gave no stamp.
  bool arrivedSince(std::chrono::system_clock::time_point since) const noexcept;

  bool isOpen() const noexcept { return state_.load(std::memory_order_acquire) == kOpen; }
  int port() const noexcept { return static_cast<int>(localPort_.load(std::memory_order_acquire)); }
  /// Datagrams dropped so far for coming from another address than the controller's. Any thread.
  std::uint64_t foreignDatagrams() const noexcept { return foreignDatagrams_.load(std::memory_order_relaxed); }

 protected:
  /// The base's close, for destructors (no virtual call).
  void closeSocket() noexcept;

 private:
  static constexpr std::uint32_t kOpen = 1;
  static constexpr std::uint32_t kClosed = 2;

  // Whether the datagram just taken came from the controller; counts and tells the others.
  bool fromController() noexcept;
  // Sets the socket's receive time-out to `wait` unless it is already that; false when the
  // system refused it.
  bool armWait(int fd, std::chrono::nanoseconds wait) noexcept;
  // One receive system call; -1 with errno as the system left it.
  long receiveOnce(int fd, std::uint8_t* buffer, bool wait) noexcept;

  // -1 while closed. A receive holds `receivers_` while it uses the descriptor, so `close` on
  // another thread never releases a number that a blocked call would then read from.
  std::atomic<int> fd_{-1};
  std::atomic<int> receivers_{0};
  std::chrono::nanoseconds armedWait_{0};  // the socket's receive time-out; 0 = none (or unknown)
  asio::ip::udp::endpoint peer_;           // the controller, as resolved by `setEndpoint`
  asio::ip::udp::endpoint sender_;         // the source of the datagram just taken
  timespec arrival_{};                     // the system's stamp of that datagram; 0 without one
  std::string localAddress_;
  std::atomic<std::uint32_t> localPort_{0};
  std::atomic<std::uint32_t> state_{kClosed};
  std::atomic<std::uint64_t> foreignDatagrams_{0};
  std::chrono::steady_clock::time_point lastForeignLog_{};
  std::uint64_t foreignSinceLog_ = 0;
};

/// The deadline `timeout` from now, saturated instead of overflowing; now for a timeout <= 0.
std::chrono::steady_clock::time_point deadlineAfter(std::chrono::nanoseconds timeout) noexcept;

}  // namespace velmora::internal
