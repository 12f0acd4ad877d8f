#pragma once
// The command link: a TCP client to one service of the controller carrying JSON messages ended
// by a carriage return, with its file link. This part holds the connection's life; the message
// layer (request forms, replies by id, notification dispatch, file sending) builds on the hooks
// below: `client.send` for framed bytes, `waiters` for requests waiting by id, `onReceive` for
// every framed message and the two callbacks under `callbackMutex`.

#include <json/value.h>
#include <spdlog/logger.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "network/reply_waiters.h"
#include "network/tcp_client.h"
#include "network/xtransfer.h"

namespace velmora::internal {

/// Gives a class shared ownership helpers and forbids copies.
template <typename Derived>
class Base : public std::enable_shared_from_this<Derived> {
 public:
  Base() = default;
  Base(const Base&) = delete;
  Base& operator=(const Base&) = delete;
};

class XService : public Base<XService> {
 public:
  /// No socket, thread or connection yet.
  XService();
  /// Stops the link first, so no handler runs during or after destruction.
  virtual ~XService();

  /// Stores the address and port and gives the file link the same address with the file
  /// service's port. No traffic (a link still running is stopped first). Caller's thread.
  void connect(const std::string& ip, int port);

  /// Opens the connection; `ec` 0, or 256 when it cannot (no host, refused, unreachable). Does
  /// nothing while connected. Then starts the file link; its failure is only logged. Returns
  /// after the connection handler has run. Any thread but this link's I/O thread.
  void start(std::error_code& ec);

  /// Closes the connection (the connection handler sees false if it was up), ends the I/O
  /// threads of the link and its file link. Idempotent; safe from the link's own handlers.
  void stop();

  /// Called with true when a connection is established and false when it ends, on the I/O
  /// thread with no lock of the link held. Set it before `connect`.
  void setConnectionHandler(std::function<void(bool)> handler);

  /// Whether the command connection is up.
  bool isConnected() const noexcept { return linkState == 1; }

  /// The receive hook: one framed message, carriage return included, on the I/O thread.
  void onReceive(std::string_view data);

  std::shared_ptr<spdlog::logger> logger;  ///< the robot's own log; the link never writes to it
  std::string host;
  int port = 0;
  std::atomic<int> linkState{2};  ///< 1 connected, 2 disconnected
  TcpClient client;
  ReplyWaiters waiters;
  std::mutex callbackMutex;  ///< held while the two callbacks below run or change
  std::function<void(const Json::Value&)> motionCallback = [](const Json::Value&) {};
  std::function<void(const Json::Value&)> notificationCallback = [](const Json::Value&) {};
  std::mutex transferMutex;  ///< serialises file transfers
  std::shared_ptr<XTransfer> transfer;
  std::function<void(bool)> connectionHandler = [](bool) {};

 private:
  void _bind();
  void handleConnect(const std::error_code& ec);
  void handleDisconnect();
};

}  // namespace velmora::internal
