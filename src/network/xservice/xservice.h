#pragma once
// The command link: a TCP client to one service of the controller carrying JSON messages ended
// by a carriage return, with its file link.
//
// Wire forms (compact JSON, members in byte order of their names, one carriage return):
//   command  {"c":{key:value},"id":n}        get    {"g":{key:value,...},"id":n}
//   set      {"id":n,"s":{key:value}}        watch  {"id":n,"w":{topic:true|false}}
// `n` comes from the process-wide `nextRequestId`. A reply repeats the id and the form member;
// a notification carries "n" with its topics; a message whose "id" is a text is a motion
// message (the reply to a command sent with a text id).
//
// Codes (library category): 256 link down or lost while waiting; 257 reply without the form
// member, the key, or with a value of the wrong kind; 259 mismatched arguments; 263 no reply in
// time, or the request could not go out (the controller reads too slowly); the set forms and
// the announcement hand back the controller's own code.
//
// Threads: requests may come from any thread, concurrently. Everything the controller sends is
// handled on the link's I/O thread, where the connection handler, the two message callbacks and
// the reply callbacks run, one at a time, outside every lock of the link. None of them may wait
// for a reply on the same link (the thread that would read it is the one running them).

#include <json/value.h>
#include <spdlog/logger.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "network/file_link/xtransfer.h"
#include "network/tcp/tcp_client.h"
#include "network/xservice/link_options.h"
#include "network/xservice/reply_waiters.h"

namespace velmora::internal {

/// Request ids of every command link in the process: fetch-and-add, first id 1, never repeated.
extern std::atomic<std::uint64_t> nextRequestId;

class XService : public std::enable_shared_from_this<XService> {
 public:
  using MessageCallback = std::function<void(const Json::Value&)>;
  using ConnectionHandler = std::function<void(bool)>;

  /// The file service announcement's largest file, as the callers give it.
  static constexpr std::uint64_t kMaxFileLength = 10 * 1024 * 1024;
  /// Request bytes the link holds while the controller does not read them; a request beyond
  /// fails with 263 at once (a few large requests, or thousands of ordinary ones).
  static constexpr std::size_t kMaxUnsentBytes = 4 * 1024 * 1024;

  /// No socket, thread or connection yet.
  explicit XService(LinkOptions options = {});
  /// Stops the link first, so no handler runs during or after destruction.
  virtual ~XService();
  XService(const XService&) = delete;
  XService& operator=(const XService&) = delete;

  // ---- Connection (xservice.cpp) ----

  /// Stores the address and port and gives the file link the same address with the file
  /// service's port. No traffic (a link still running is stopped first). Caller's thread.
  void connect(const std::string& ip, int port);

  /// Opens the connection; `ec` 0, or 256 when it cannot (no host, refused, unreachable). Does
  /// nothing while connected. Starts the file link too; its failure is only logged. Returns
  /// after the connection handler has run and, with `awaitFileLink`, after the file link's
  /// attempt, made once the connection is up. Otherwise that attempt is launched by the next
  /// request that waits for a reply, while the reply is on its way, and goes on by itself (a
  /// transfer waits for it, or starts the file link itself); a failed connection launches none.
  /// Any thread but this link's I/O thread.
  void start(std::error_code& ec, bool awaitFileLink = true);

  /// Closes the connection (the connection handler sees false if it was up), ends the I/O
  /// threads of the link and its file link. Idempotent; safe from the link's own handlers.
  void stop();

  /// Whether the command connection is up.
  bool isConnected() const noexcept { return linkState_ == 1; }
  /// The address and port given to `connect`.
  const std::string& host() const noexcept { return host_; }
  int port() const noexcept { return port_; }
  /// How long the get, set and announcement forms wait for their reply.
  std::chrono::nanoseconds requestWait() const noexcept;
  /// What this link was built with; links that serve the same controller take the same.
  const LinkOptions& options() const noexcept { return options_; }

  // ---- Callbacks (xservice.cpp) ----
  // Each setter replaces its callback under the callback lock and returns only when the old
  // one is no longer running: called from another thread it waits for a call in progress to
  // end (callbacks are expected to be short; the wait is as long as that call, so the caller
  // must hold no lock that a callback takes); called from inside a callback of this link it
  // replaces at once. An empty function means "nothing". The old callable is released before
  // the setter returns, unless it is the one running.

  /// Called with true when a connection is established and false when it ends.
  void setConnectionHandler(ConnectionHandler handler);
  /// Notifications holding "move.last_error_with_setting" and messages with a text "id".
  void setMotionCallback(MessageCallback callback);
  /// Every other notification; one holding the motion topic and others goes to both.
  void setNotificationCallback(MessageCallback callback);

  /// The robot's own log (the link never writes to it). Any thread.
  std::shared_ptr<spdlog::logger> logger() const;
  void setLogger(std::shared_ptr<spdlog::logger> logger);

  // ---- Messages (xservice_messages.cpp) ----

  /// Stamps a new "id" into `request` (replacing any), sends it and waits up to `timeout` for
  /// the reply with that id. 0 and `reply` filled, 256 or 263.
  void request(Json::Value& request, Json::Value& reply, std::error_code& ec, std::chrono::nanoseconds timeout);
  /// The request every form goes through: hands `text` (one whole message, carriage return
  /// included, stamped with `id`) to the TCP client and, with `reply`, waits up to `timeout` for
  /// the reply with that id. 259 when it is longer than a line the controller takes, 256 when
  /// the link is down, 263 when it holds as much unsent as it may (nothing sent either way) or
  /// no reply came in time.
  /// With `pick`, `reply` may come as only the value it names: `*picked` then says so.
  std::error_code request(std::string_view text, std::uint64_t id, Json::Value* reply, std::chrono::nanoseconds timeout,
                          const ReplyWaiters::Pick* pick = nullptr, bool* picked = nullptr);
  /// Sends `message` as it is; false when the link is down. Waits for nothing.
  bool sendJson(const Json::Value& message);

  /// {"c":{key:value}}, waiting up to `timeout`: `result` = reply "c"[key]; 257 when absent.
  /// The value is not judged here. `result` is untouched on failure.
  void sendCommand(const std::string& key, const Json::Value& value, Json::Value& result, std::error_code& ec,
                   std::chrono::nanoseconds timeout);
  /// {"c":{key:value}} without waiting: `onReply` runs on the I/O thread with the whole reply.
  /// Stored before the request leaves, so a fast reply finds it; dropped without being called
  /// when the link goes down before the reply came. 256 when it cannot be sent (nothing kept).
  /// `owner` tags the callback for `clearReplyCallbacks`.
  void sendCommandAsync(const std::string& key, const Json::Value& value, const MessageCallback& onReply,
                        std::error_code& ec, const void* owner = nullptr);
  /// {"s":{key:value}} without waiting, as `sendCommandAsync`: `onReply` gets the whole reply.
  void setValueAsync(const std::string& key, const Json::Value& value, const MessageCallback& onReply,
                     std::error_code& ec, const void* owner = nullptr);
  /// {"c":body,"id":id} with the caller's id (motion control gives a text id, so the reply
  /// reaches the motion callback). Waits for nothing; 256 when it cannot be sent.
  void sendCommandWithId(const Json::Value& body, const Json::Value& id, std::error_code& ec);
  /// {"g":{key:value}}: `value` (parameter in) becomes reply "g"[key]; on 257 it keeps the
  /// parameter. Waits the default request wait (10 s).
  void getValue(const std::string& key, Json::Value& value, std::error_code& ec);
  /// The same with a separate output; `out` untouched on failure.
  void getValue(const std::string& key, const Json::Value& param, Json::Value& out, std::error_code& ec);
  /// {"g":{keys[i]:params[i],...}}: `out` = the whole reply "g" object. 259 and nothing sent
  /// when the lists differ in length.
  void getValues(const std::vector<std::string>& keys, const std::vector<Json::Value>& params, Json::Value& out,
                 std::error_code& ec);
  /// {"s":{key:value}}: `ec` = the controller's integer code (0 success); 257 when absent or
  /// not an integer.
  void setValue(const std::string& key, const Json::Value& value, std::error_code& ec);
  /// The same request; returns the controller's integer with `ec` 0, or 0 with 256/257/263.
  int setValueRaw(const std::string& key, const Json::Value& value, std::error_code& ec);
  /// {"w":{topic:on}} without waiting; its reply is dropped. 256 when it cannot be sent.
  void watch(const std::string& topic, bool on, std::error_code& ec);

  /// Forgets the reply callbacks stored with `owner` without calling them, and returns only
  /// when none of them is running (at once from inside a callback of this link). For an
  /// owner's teardown: nothing it captured is touched afterwards.
  void clearReplyCallbacks(const void* owner);

  /// Requests that ended with 263 so far (no reply in time, or no room to go out). Any thread.
  std::uint64_t timeouts() const noexcept { return timeouts_.load(std::memory_order_relaxed); }

  /// Requests waiting for their reply now (0 whenever no request is in progress).
  std::size_t pendingRequests() const { return waiters_.size(); }
  /// Reply callbacks stored now.
  std::size_t pendingReplyCallbacks() const;

  /// The receive hook: one framed message, carriage return included. Never throws, whatever
  /// the bytes. Called on the I/O thread (tests and fuzzing call it directly, one thread at a
  /// time).
  void onReceive(std::string_view data) noexcept;

  // ---- Files (xservice_file.cpp) ----

  /// Sends the file at `path` (at most `maxLength` bytes, 1 or more) announced with
  /// "ix.sdk.transferInit" on this link, its bytes on the file link, and waits for the verdict.
  /// `options` holds "file_name", "function" and "overwrite". Codes: 256 file link or command
  /// link down, -280 cannot open, -283 empty or too long, -284 not wholly read / "error" / file
  /// link lost, -285 no verdict in time, 257/263 or the controller's code for the
  /// announcement. One transfer at a time per link; caller's thread.
  void sendFile(const std::string& path, std::uint64_t maxLength, const Json::Value& options, std::error_code& ec);
  /// The announcement alone: {"c":{"ix.sdk.transferInit":{"function","len","md5","name",
  /// "overwrite"}}}; `ec` = the controller's code (0 accepts), 257, 256 or 263.
  void transferInit(const std::string& md5Hex, std::uint64_t length, const Json::Value& options, std::error_code& ec);

 private:
  friend class XServiceProbe;  // tests reach the client and the waiters through it

  enum Slot : unsigned { kConnection = 1, kMotion = 2, kNotification = 4, kReply = 8 };
  struct ReplyCallback {
    MessageCallback callback;
    const void* owner = nullptr;
  };
  void _bind();
  void handleConnect(const std::error_code& ec);
  void handleDisconnect();
  void dispatch(Json::Value& message, std::size_t bytes);
  void dispatchReply(std::uint64_t id, Json::Value& message);
  void noteDropped(const char* why, std::size_t bytes) noexcept;
  void sendAsync(char form, const std::string& key, const Json::Value& value, const MessageCallback& onReply,
                 std::error_code& ec, const void* owner);
  // A reading request's thread offers each message it reads: true when it was a reply some
  // request waits for, now handed to it, or a reply nobody wants, now dropped.
  bool claimReply(std::string_view data) noexcept;
  // Tells (at most once a second) that requests are refused while the controller reads nothing.
  void noteRefused(std::size_t bytes) noexcept;

  template <typename Callable>
  void replaceCallback(std::shared_ptr<const Callable>& slot, Callable callable, Slot which);
  template <typename Callable, typename Arg>
  void runCallback(const std::shared_ptr<const Callable>& slot, Slot which, const Arg& arg);
  void waitIdle(unsigned slots, const void* owner, std::unique_lock<std::mutex>& lock);
  bool insideOwnCallback() const noexcept;

  // The reply's form member (an object), or its value for `key`; null when absent or of the
  // wrong kind.
  static Json::Value* replyBody(Json::Value& reply, const char* form);
  static Json::Value* replyValue(Json::Value& reply, const char* form, const std::string& key);
  // `request` for one key: `value` = the reply's `form`[key] (untouched on failure), 257 when the
  // reply has none.
  std::error_code requestValue(std::string_view text, std::uint64_t id, const char* form, const std::string& key,
                               Json::Value& value, std::chrono::nanoseconds timeout);

  const LinkOptions options_;
  std::string host_;
  int port_ = 0;
  std::atomic<int> linkState_{2};  // 1 connected, 2 disconnected
  std::atomic<std::uint64_t> timeouts_{0};
  TcpClient client_;
  ReplyWaiters waiters_;      // the requests waiting by id: the pending table
  std::mutex transferMutex_;  // serialises file transfers, file-link start included
  // A started link whose file link is still to be launched (by the next request, see `start`);
  // set and cleared under fileLaunchMutex_, read without it on the request path.
  std::mutex fileLaunchMutex_;
  std::atomic<bool> fileLinkDue_{false};
  void launchDueFileLink() noexcept;
  std::shared_ptr<XTransfer> transfer_;

  mutable std::mutex loggerMutex_;
  std::shared_ptr<spdlog::logger> logger_;

  // Callbacks: slots, their running state and the reply callbacks, under one lock that is never
  // held while a callback runs.
  mutable std::mutex callbackMutex_;
  std::condition_variable callbackIdle_;
  unsigned running_ = 0;  // Slot bits of the callback running on the I/O thread
  const void* runningReplyOwner_ = nullptr;
  int idleWaiters_ = 0;  // setters waiting for a running callback to end
  std::shared_ptr<const ConnectionHandler> connectionHandler_;
  std::shared_ptr<const MessageCallback> motionCallback_;
  std::shared_ptr<const MessageCallback> notificationCallback_;
  std::unordered_map<std::uint64_t, ReplyCallback> replyCallbacks_;

  // Dropped messages and refused requests, told at most once a second each; any thread.
  std::mutex dropMutex_;
  std::chrono::steady_clock::time_point lastDropLog_{};
  std::uint64_t droppedSinceLog_ = 0;
  std::chrono::steady_clock::time_point lastFullLog_{};
  std::uint64_t refusedSinceLog_ = 0;
};

}  // namespace velmora::internal
