#pragma once
// The thin TCP client under every link to the controller: one I/O thread per client, a
// synchronous start, framed receive, ordered sends from any thread and automatic reconnection.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "network/framer.h"

namespace velmora::internal {

struct TcpClientOptions {
  /// Reconnect after an established connection is lost, until `stop`. A failed `start` never
  /// retries in the background: its caller was told the connection failed.
  bool autoReconnect = true;
  std::chrono::milliseconds reconnectDelay{1000};
  /// Bound of one connection attempt (name resolution excluded). A controller on the local
  /// network answers within milliseconds; this only caps a silent address.
  std::chrono::milliseconds connectTimeout{5000};
};

/// Called on the I/O thread after every connection attempt (the first and each reconnection)
/// with the attempt's result.
using ConnectHandler = std::function<void(const std::error_code&)>;
/// Called on the I/O thread once for every established connection that ends, whatever ended it
/// (the peer, an I/O error, an oversized message, `stop`).
using DisconnectHandler = std::function<void(const std::error_code&)>;
/// Called on the I/O thread for each framed message, in arrival order.
using ReceiveHandler = std::function<void(std::string_view)>;

/// A TCP client with its own I/O thread. Handlers run one at a time on that thread and nothing
/// more is read while one runs; an exception out of a handler is logged and swallowed.
class TcpClient {
 public:
  using FramerFactory = std::function<std::unique_ptr<Framer>()>;

  /// A client framing by carriage return with the 1 MiB cap.
  explicit TcpClient(TcpClientOptions options = {});
  TcpClient(TcpClientOptions options, FramerFactory framer);
  /// Stops the client; on its own I/O thread the thread is left to finish by itself.
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  /// Installs the handlers; they take effect at the next `start`. Any thread.
  void setHandlers(ConnectHandler onConnect, ReceiveHandler onReceive, DisconnectHandler onDisconnect);

  /// Stops whatever runs, then connects to host:port and returns when the attempt has finished
  /// and the connect handler has run. An empty host fails at once without a socket. Refused on
  /// the client's own I/O thread (it would have to join itself). Any thread but the I/O thread.
  std::error_code start(const std::string& host, std::uint16_t port);

  /// Closes the connection (the disconnect handler runs if one was established), cancels any
  /// pending reconnection and ends the I/O thread. Idempotent; from the I/O thread itself it
  /// returns without joining (the next `start` or the destructor joins). Any thread.
  void stop() noexcept;

  /// Queues a copy of `bytes` (or writes them at once from the calling thread when nothing is
  /// waiting) so that messages of concurrent senders leave whole and in call order. False when
  /// not connected. Never blocks on the network. Any thread.
  bool send(std::string_view bytes);

  /// Sends `bytes` as `send` does, then blocks until they have all been handed to the operating
  /// system: back-pressure for a sender of large data, which so never has more than one call's
  /// bytes queued. `not_connected` when there is no connection or it ends first, `timed_out`
  /// when they have not left within `timeout` (they may still leave later, so the caller decides
  /// whether its stream can be trusted). Any thread but the I/O thread.
  std::error_code sendAll(std::string_view bytes, std::chrono::milliseconds timeout);

  /// Whether a connection is established now.
  bool isConnected() const noexcept;

 private:
  struct Handlers;
  struct SendState;
  class Run;

  TcpClientOptions options_;
  FramerFactory framerFactory_;
  std::shared_ptr<SendState> sendState_;
  std::mutex controlMutex_;  // start and stop from callers' threads
  std::mutex handlersMutex_;
  std::shared_ptr<const Handlers> handlers_;
  std::shared_ptr<Run> run_;
  std::thread thread_;

  void stopLocked() noexcept;
  bool onOwnIoThread() const noexcept;
  // `send`, telling the number the bytes took and the connection they went to.
  bool sendNumbered(std::string_view bytes, std::uint64_t* number, std::uint64_t* connection);
};

}  // namespace velmora::internal
