#pragma once
// Inside the TCP client: what its I/O thread and the callers' threads share. Only the client's
// own sources include this.
//
// Who may touch the established socket, by state. Reading is one party at a time (`holder_`);
// writing is one party at a time (the send queue's `writing`); the two sides are independent,
// and the kernel keeps a read and a write on one socket apart.
//
// | state                                   | may read                          | may write                           |
// |-----------------------------------------|-----------------------------------|-------------------------------------|
// | no connection (`fd_` -1, attempting)    | nobody                            | nobody (`send` returns notConnected)|
// | up, read interest armed                 | the I/O thread, on its epoll event| a sender whose queue was empty, from|
// |                                         |                                   | its own thread; else the I/O thread |
// |                                         |                                   | once the socket has room (EPOLLOUT) |
// | up, a caller holds the reading          | that caller only: non-blocking    | as above                            |
// |                                         | reads, or asleep in one receive   |                                     |
// |                                         | call bounded by `kWaitSlice`      |                                     |
// | up, parked (nobody holds, interest off) | the next caller to claim, or the  | as above                            |
// |                                         | I/O thread once the tick re-arms  |                                     |
// | lost (`up_` false, not yet closed)      | the holder until it lets go       | the writer until it lets go; no new |
// |                                         |                                   | writes                              |
// | closing (`closing_`)                    | nobody new; the I/O thread shuts  | nobody new; the I/O thread waits for|
// |                                         | the socket down to wake a caller  | the writer, then closes `fd_`       |
// |                                         | asleep in it, waits for it to go  |                                     |
//
// Only the I/O thread opens and closes the socket (and the starter, which makes a period's first
// attempt before that thread runs), and closes it only after both sides are let go.

#include <sys/epoll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "network/tcp/send_queue.h"
#include "network/tcp/tcp_client.h"

namespace velmora::internal {

class TcpClient::Core : public std::enable_shared_from_this<TcpClient::Core> {
 public:
  struct Handlers {
    ConnectHandler onConnect;
    ReceiveHandler onReceive;
    DisconnectHandler onDisconnect;
    Claim claim;
  };

  // Who reads the socket.
  enum Holder : int { kNobody = 0, kIoThread = 1, kCaller = 2 };

  Core(TcpClientOptions options, FramerFactory framer);
  ~Core();
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  // ---- Lifecycle (tcp_client.cpp) ----
  /// Readies one period before its I/O thread runs, on the starting thread; with `attemptHere`
  /// that thread also makes the first connection attempt, standing in for the I/O thread (its
  /// connect handler runs there, before `start` returns).
  void open(std::shared_ptr<const Handlers> handlers, std::string host, std::uint16_t port, bool attemptHere) noexcept;
  /// The I/O thread's body for the period `open` readied; it makes the first attempt unless
  /// the starter has.
  void run(bool attempted) noexcept;
  /// Ends the period: closes what is open and tells a starter still waiting.
  void finish() noexcept;
  /// Makes the epoll, wake and tick descriptors (once) and readies a new period.
  std::error_code prepare();
  /// Waits for the first attempt of the period started last.
  std::error_code waitStarted(std::chrono::milliseconds bound);
  /// Asks the I/O thread to end the period; it closes what is open and returns.
  void requestStop() noexcept;
  bool onIoThread() const noexcept { return std::this_thread::get_id() == ioThread_.load(); }

  // ---- Reading (tcp_client_read.cpp) ----
  bool claimRead() noexcept;
  ReadStatus callerRead(std::chrono::steady_clock::time_point deadline) noexcept;
  void releaseRead() noexcept;
  void deferTick() noexcept;

  std::mutex handlersMutex;
  std::shared_ptr<const Handlers> handlers;  // installed; a run takes its own copy

 private:
  friend class TcpClient;  // its senders write from their own threads (tcp_client_send.cpp)
  friend class IoReadSink;
  friend class CallerReadSink;

  enum class Timer { none, connectTimeout, reconnect };
  struct Endpoint {
    Endpoint(const sockaddr* at, socklen_t length) : size(length) { std::memcpy(&address, at, length); }
    sockaddr_storage address{};
    socklen_t size;
  };

  // Adds `fd` (just made; -1 when making it failed) to the epoll set for reading under `tag`
  // and keeps it in `kept`; closes it if that fails.
  std::error_code watch(int fd, std::uint64_t tag, int& kept);

  // I/O thread (tcp_connection.cpp).
  void loop();
  void attempt();
  void tryNextEndpoint();
  void attemptFailed(const std::error_code& ec);
  void scheduleReconnect();
  // The attempt's socket, watched in the epoll set, became writable.
  void finishConnect();
  void connectedNow(int fd);
  // Sets the keep-alive that a connection the starter made leaves to this thread.
  void keepAliveLeft() noexcept;
  void closeConnection(const std::error_code& why, bool reconnect);
  void closeAttemptSocket() noexcept;
  void signalStart(const std::error_code& ec);
  void onSocketEvent(std::uint32_t events);
  // Runs a handler on the I/O thread; what it throws is logged, never let out.
  template <typename Handler, typename... Args>
  static void callHandler(const char* what, const Handler& handler, Args&&... args) noexcept {
    if (!handler) return;
    try {
      handler(std::forward<Args>(args)...);
    } catch (const std::exception& e) {
      logHandlerFailure(what, e.what());
    } catch (...) {
      logHandlerFailure(what, "a non-standard exception");
    }
  }
  static void logHandlerFailure(const char* what, const char* text) noexcept;

  // Under `mutex_`: the epoll interest of the socket from `readArmed_` and `writeArmed_`.
  void applyInterest() noexcept;
  // How long after callers stop requesting a parked read interest is looked at (see
  // `readParked_`): about the longest a message that arrives then waits for the I/O thread.
  static constexpr std::chrono::milliseconds kParkedTick{1};
  // The longest one receive call of a waiting caller sleeps; a later deadline is waited in
  // slices, a nearer one with a poll of its own.
  static constexpr std::chrono::milliseconds kWaitSlice{50};
  // Under `mutex_`, on the I/O thread at a tick: re-arms the parked read interest unless a
  // caller reads now.
  void unparkRead() noexcept;
  // Under `mutex_`: re-arms the parked read interest now.
  void unparkNow() noexcept;
  // Under `mutex_`: parks the read interest (applied by the caller, where its one-shot is not
  // spent already).
  void park() noexcept;
  // The tick a whole tick from now.
  void armTick() noexcept;
  void wakeIo() noexcept;

  // Reading (tcp_client_read.cpp). `ioRead` tells why the connection ended, if it did;
  // `taken` is set when the socket had nothing for it: a caller took what woke it.
  std::error_code ioRead(bool& taken);
  void drainInbox();
  void leaveToIo(std::string_view message);
  void reportLost(const std::error_code& ec) noexcept;
  void logOverflow() noexcept;

  // Writing what waits once the socket has room (tcp_client_send.cpp); tells why the connection
  // ended, if it did.
  std::error_code ioWrite();

  const TcpClientOptions options_;
  const FramerFactory framerFactory_;

  // Fixed for the client's life once created (at the first start).
  int epoll_ = -1;
  int wake_ = -1;       // eventfd
  int parkTimer_ = -1;  // timerfd: the parked read interest's tick
  // How long the last connection's handshake took (steady clock ticks; read from any thread).
  std::atomic<std::chrono::steady_clock::rep> handshake_{0};
  // When a request last put the tick off (read and set without the lock).
  std::atomic<std::chrono::steady_clock::rep> tickDeferredAt_{0};

  mutable std::mutex mutex_;
  std::condition_variable changed_;  // start result, role released, writer done, bytes written

  // ---- Under mutex_ ----
  int fd_ = -1;                        // the established connection's socket, -1 when none
  std::uint64_t socketTagShared_ = 0;  // its epoll data
  std::atomic<bool> up_{false};        // fd_ carries a connection readers and writers may use (isConnected)
  std::atomic<bool> stopRequested_{false};
  bool wakePending_ = false;               // the eventfd has been written and not yet drained
  std::optional<std::error_code> lostBy_;  // a reading caller saw the connection end
  bool readArmed_ = false;
  // A caller reads, and the socket is left disarmed rather than re-armed for every reply. While
  // parked, requests put the tick off (`deferTick`): the I/O thread sleeps while callers keep
  // requesting, and re-arms about a tick after they stop. Also read without the lock there.
  std::atomic<bool> readParked_{false};
  bool writeArmed_ = false;
  bool closing_ = false;  // the I/O thread waits for readers and writers to leave fd_
  // Start of a period.
  std::atomic<bool> startDone_{true};  // also read without the lock while the starter watches
  std::error_code startResult_;
  // Reading.
  std::atomic<int> holder_{kNobody};
  // The socket blocks in a receive call without MSG_DONTWAIT, for at most `kWaitSlice` (set
  // with the connection): a reading caller waits for its reply in that one call.
  bool blockingReads_ = false;
  // The tick came while a caller read: it is armed again once that caller lets go, rather than
  // every tick for as long as it waits.
  bool tickMissed_ = false;
  std::uint64_t claims_ = 0;                  // callers' takes of the reading
  std::uint64_t parks_ = 0;                   // ...that parked the read interest
  const Handlers* readerHandlers_ = nullptr;  // the period's handlers, for reading callers
  // Messages a reading caller left to the I/O thread, in order. It stops reading as soon as it
  // leaves any, so this holds at most one read's worth.
  std::deque<std::string> inbox_;
  std::atomic<std::size_t> undispatched_{0};  // left to the I/O thread and not yet handled
  // Sending.
  SendQueue sending_{options_.maxUnsentBytes, changed_, up_};

  // ---- The holder of the reading (I/O thread or a caller) ----
  std::unique_ptr<Framer> framer_;

  // ---- I/O thread only (and the starter before the I/O thread runs, see `open`) ----
  std::atomic<std::thread::id> ioThread_{};
  std::shared_ptr<const Handlers> running_;  // this period's handlers
  std::string host_;
  std::uint16_t port_ = 0;
  bool established_ = false;
  bool firstDone_ = false;
  bool starterAttempts_ = false;  // the starter makes the first attempt (see `open`)
  int attemptFd_ = -1;
  std::vector<Endpoint> endpoints_;
  std::size_t nextEndpoint_ = 0;
  std::error_code lastAttemptError_;
  Timer timer_ = Timer::none;
  std::chrono::steady_clock::time_point attemptBegan_{};
  std::chrono::steady_clock::time_point timerAt_{};
  std::uint64_t socketTag_ = 1;  // epoll data of the current socket (0 is the wake descriptor)
};

}  // namespace velmora::internal
