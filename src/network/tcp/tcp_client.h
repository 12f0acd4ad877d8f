#pragma once
// The thin TCP client under every link to the controller: one I/O thread per client, a
// synchronous start, framed receive, ordered sends from any thread, automatic reconnection, and
// reading by a waiting caller so a reply needs no hop through the I/O thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "network/tcp/framer.h"
#include "network/tcp/io_threads.h"

namespace velmora::internal {

struct TcpClientOptions {
  /// Reconnect after an established connection is lost, until `stop`. A failed `start` never
  /// retries in the background: its caller was told the connection failed.
  bool autoReconnect = true;
  std::chrono::milliseconds reconnectDelay{1000};
  /// Bound of one connection attempt (name resolution excluded). A controller on the local
  /// network answers within milliseconds; this only caps a silent address.
  std::chrono::milliseconds connectTimeout{5000};
  /// Bytes a connection may hold that the operating system has not taken yet. A message that
  /// would go beyond is refused whole, so a peer that stops reading costs a bounded amount of
  /// memory; a message always fits when nothing else waits, however large. No bound by
  /// default: links that send large data pace themselves (one file, or `sendAll`).
  std::size_t maxUnsentBytes = std::numeric_limits<std::size_t>::max();
};

/// Called after every connection attempt (the first and each reconnection) with the attempt's
/// result: on the I/O thread, but for the first attempt of a `start`, which the starting thread
/// makes and reports itself before `start` returns.
using ConnectHandler = std::function<void(const std::error_code&)>;
/// Called on the I/O thread once for every established connection that ends, whatever ended it
/// (the peer, an I/O error, an oversized message, `stop`).
using DisconnectHandler = std::function<void(const std::error_code&)>;
/// Called on the I/O thread for each framed message, in arrival order (but for those a reading
/// caller claimed, see `claimRead`).
using ReceiveHandler = std::function<void(std::string_view)>;

/// A TCP client with its own I/O thread while started (a pooled one, see IoThreads). Handlers
/// run one at a time on that thread and nothing more is read by it while one runs; an exception
/// out of a handler is logged and swallowed.
class TcpClient {
 public:
  using FramerFactory = std::function<std::unique_ptr<Framer>()>;

  /// How a message was taken by `post`.
  enum class Posted {
    queued,        ///< it leaves in order (partly or wholly written already)
    notConnected,  ///< no connection: nothing kept
    full,          ///< the unsent bytes are at their bound: nothing kept
  };

  /// What a reading caller's `read` found.
  enum class ReadStatus {
    idle,     ///< nothing more to read now
    backlog,  ///< the I/O thread is behind with messages left to it: leave reading to it
    closed,   ///< the connection has ended (or is ending); the I/O thread reports it
  };

  /// A client framing by carriage return with the 1 MiB cap.
  explicit TcpClient(TcpClientOptions options = {});
  TcpClient(TcpClientOptions options, FramerFactory framer);
  /// Stops the client; on its own I/O thread the loop is left to finish by itself.
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  /// Installs the handlers; they take effect at the next `start`. Any thread.
  void setHandlers(ConnectHandler onConnect, ReceiveHandler onReceive, DisconnectHandler onDisconnect);

  /// Stops whatever runs, then connects to host:port and returns when the attempt has finished
  /// and the connect handler has run. An empty host fails at once without a socket. Refused on
  /// the client's own I/O thread (it would have to join itself). Any thread but the I/O thread.
  /// The first attempt is made on the calling thread, which also runs its connect handler.
  std::error_code start(const std::string& host, std::uint16_t port);

  /// Begins connecting as `start` does without waiting for the attempt: its connect handler
  /// tells the outcome, and a failed one is not retried. A later `start` first waits for this
  /// attempt and keeps its connection when it succeeded. Any thread but the I/O thread.
  void launch(const std::string& host, std::uint16_t port);

  /// Closes the connection (the disconnect handler runs if one was established), cancels any
  /// pending reconnection and ends the I/O loop; no handler runs after it returns. Idempotent;
  /// from the I/O thread itself it returns without waiting, and the connection ends once the
  /// running handler returns (the next `start` or the destructor waits). Any thread.
  void stop() noexcept;

  /// Writes `bytes` at once from the calling thread when nothing else waits to be written, else
  /// queues a copy, so that messages of concurrent senders leave whole and in call order. Never
  /// blocks on the network. `number` (when given) receives the message's number for `withdraw`,
  /// `connection` that of the connection it went to. Any thread.
  Posted send(std::string_view bytes, std::uint64_t* number = nullptr, std::uint64_t* connection = nullptr);

  /// Takes message `number` back if none of its bytes has been written yet, so a request that
  /// gave up never reaches the peer later; false when it is written, being written or gone (a
  /// message once started is always finished: the stream's framing depends on it). Any thread.
  bool withdraw(std::uint64_t number) noexcept;

  /// Sends `bytes` as `send` does, then blocks until they have all been handed to the operating
  /// system: back-pressure for a sender of large data, which so never has more than one call's
  /// bytes queued. `not_connected` when there is no connection or it ends first, `timed_out`
  /// when they have not left within `timeout` (they may still leave later, so the caller decides
  /// whether its stream can be trusted). Any thread but the I/O thread.
  std::error_code sendAll(std::string_view bytes, std::chrono::milliseconds timeout);

  /// Whether a connection is established now.
  bool isConnected() const noexcept;
  /// Bytes handed over that the operating system has not taken yet.
  std::size_t unsentBytes() const noexcept;
  /// How long the last established connection took from its attempt to its handshake's end:
  /// a first measure of the round trip to the peer, before any reply.
  std::chrono::steady_clock::duration handshakeTime() const noexcept;

  // ---- Reading by a waiting caller ----
  // One party reads the connection at a time: the I/O thread whenever nobody else does, or a
  // caller that waits for a message and claims the reading, so its reply goes from the socket
  // to it directly. Messages the caller does not take go to the receive handler on the I/O
  // thread, in order; while any of them is still with the I/O thread, every later message
  // follows it there, so the handler's view of the stream and the order of delivery never
  // change.

  /// Decides for each message a reading caller reads whether it is taken there (true) or left
  /// to the receive handler (false). Called on the reading caller's thread.
  using Claim = std::function<bool(std::string_view)>;
  /// Installs the claim; it takes effect at the next `start`. Any thread.
  void setClaim(Claim claim);

  /// Makes the calling thread the reader when nobody reads and the I/O thread is not behind.
  /// True: the caller must `releaseRead` when done. Never on the client's own I/O thread.
  bool claimRead() noexcept;
  /// The reader only: reads what is there and hands each message on. While `deadline` is ahead
  /// and nothing is there, it first sleeps in the socket until bytes come or the deadline passes:
  /// one receive call in the common case, no poll before it. A past deadline (the default) never
  /// waits.
  ReadStatus read(std::chrono::steady_clock::time_point deadline = {}) noexcept;
  /// The reader only: gives the reading back. The I/O thread takes it up again once callers
  /// have stopped requesting for a moment (about a millisecond).
  void releaseRead() noexcept;
  /// A caller about to wait for a message: while callers keep doing so, the I/O thread leaves
  /// the reading to them and sleeps (see `releaseRead`).
  void deferTick() noexcept;
  /// Whether the I/O thread leaves reading to callers for now (its read interest parked).
  bool readParked() const noexcept;
  /// How many times callers have taken the reading so far.
  std::uint64_t callerReads() const noexcept;
  /// How many of those takes found the I/O thread's read interest armed and parked it.
  std::uint64_t readParks() const noexcept;

  class Core;

 private:
  TcpClientOptions options_;
  FramerFactory framerFactory_;
  std::shared_ptr<Core> core_;
  std::mutex controlMutex_;              // start and stop from callers' threads
  std::shared_ptr<IoThreads::Job> job_;  // the running period's I/O loop
  bool launched_ = false;                // the running period's first attempt has not been waited for

  // Starts a period; with `attemptHere` this thread makes its first attempt (see Core::open).
  std::error_code begin(const std::string& host, std::uint16_t port, bool attemptHere);
  void stopLocked() noexcept;
  bool onOwnIoThread() const noexcept;
};

}  // namespace velmora::internal
