#pragma once
// A small UDP socket service with an I/O context of its own, driven by the calling thread: no
// thread is started; datagrams queue in the operating system between calls and each receive
// takes the oldest. Only datagrams from the controller's address are taken; the others are
// dropped and counted.

#include <asio/basic_datagram_socket.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

namespace velmora::internal {

/// Memory for the one receive in flight, so that a receive allocates nothing: asio would take
/// the handler's memory from the heap when the receive is started outside `run`.
class HandlerArena {
 public:
  void* allocate(std::size_t size);
  void deallocate(void* pointer) noexcept;

 private:
  alignas(std::max_align_t) unsigned char storage_[512];
  bool inUse_ = false;
};

template <typename T>
class HandlerArenaAllocator {
 public:
  using value_type = T;
  explicit HandlerArenaAllocator(HandlerArena& arena) noexcept : arena_(&arena) {}
  template <typename U>
  HandlerArenaAllocator(const HandlerArenaAllocator<U>& other) noexcept : arena_(other.arena()) {}
  T* allocate(std::size_t n) { return static_cast<T*>(arena_->allocate(n * sizeof(T))); }
  void deallocate(T* pointer, std::size_t) noexcept { arena_->deallocate(pointer); }
  HandlerArena* arena() const noexcept { return arena_; }
  template <typename U>
  bool operator==(const HandlerArenaAllocator<U>& other) const noexcept {
    return arena_ == other.arena();
  }
  template <typename U>
  bool operator!=(const HandlerArenaAllocator<U>& other) const noexcept {
    return arena_ != other.arena();
  }

 private:
  HandlerArena* arena_;
};

/// Thread safety: `isOpen` and `port` from any thread; every other operation from one thread at
/// a time (they share the I/O context).
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
  /// Shuts down and closes the socket, ignoring errors. Safe when not open.
  virtual void close();
  /// Runs the I/O context until the pending receive completes or `timeout` passes; then cancels
  /// the receive and runs it to completion. A failed cancellation closes the socket, runs the
  /// aborted receive to completion and throws NetworkException.
  virtual void runFor(std::chrono::nanoseconds timeout);

  /// Takes one datagram of up to kReceiveSize bytes into `buffer` within `timeout`; returns its
  /// length (kReceiveSize for a longer one), 0 when none came or the socket is not open.
  /// A datagram whose source address is not the controller's (as `setEndpoint` resolved it) is
  /// dropped, counted and told in a log line at most once a second, and the wait goes on. The
  /// source port is not compared: a controller sends from a port of its system's choosing,
  /// which changes when it restarts. Before any `setEndpoint` every sender is taken.
  std::size_t receive(std::uint8_t* buffer, std::chrono::nanoseconds timeout);

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
  using Socket = asio::basic_datagram_socket<asio::ip::udp, asio::io_context::executor_type>;

  // Made at the first open or name lookup: a robot whose stream never opens costs no I/O context.
  struct Io {
    asio::io_context context{1};
    Socket socket{context.get_executor()};
  };
  Io& io();
  // Whether the datagram just taken came from the controller; counts and tells the others.
  bool fromController() noexcept;
  void armReceive(std::uint8_t* buffer, std::size_t& received);
  void onReceived(const std::error_code& ec, std::size_t bytes, std::uint8_t* buffer, std::size_t& received);

  std::unique_ptr<Io> io_;
  asio::ip::udp::endpoint peer_;    // the controller, as resolved by `setEndpoint`
  asio::ip::udp::endpoint sender_;  // the source of the datagram just taken
  std::chrono::steady_clock::time_point receiveDeadline_{};
  std::string localAddress_;
  std::atomic<std::uint32_t> localPort_{0};
  std::atomic<std::uint32_t> state_{kClosed};
  std::atomic<std::uint64_t> foreignDatagrams_{0};
  std::chrono::steady_clock::time_point lastForeignLog_{};
  std::uint64_t foreignSinceLog_ = 0;
  HandlerArena arena_;
};

/// The deadline `timeout` from now, saturated instead of overflowing; now for a timeout <= 0.
std::chrono::steady_clock::time_point deadlineAfter(std::chrono::nanoseconds timeout) noexcept;

}  // namespace velmora::internal
