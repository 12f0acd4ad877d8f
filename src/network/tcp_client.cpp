#include "network/tcp_client.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <asio/connect.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <vector>

#include "common/globals.h"
#include "common/logging.h"

namespace velmora::internal {

struct TcpClient::Handlers {
  ConnectHandler onConnect;
  ReceiveHandler onReceive;
  DisconnectHandler onDisconnect;
};

// What senders on any thread share with the I/O thread. One side at a time owns the write side:
// a sender writing straight to the socket (`directWriting`) or the I/O thread (`writing`).
// Others queue their bytes and return; the owner writes them after its own, so bytes never
// interleave and no sender waits for another's system call. The descriptor is let go only when
// no sender is writing to it (`detach`), so a write never reaches a closed or reused one.
struct TcpClient::SendState {
  std::mutex mutex;
  std::condition_variable idle;  // a direct writer has finished
  std::atomic<bool> connected{false};
  int fd = -1;
  Run* run = nullptr;              // the run whose socket is connected
  std::vector<std::string> queue;  // waiting for the owner of the write side, in call order
  bool writing = false;            // the I/O thread owns the write side
  bool directWriting = false;      // a sender's thread owns the write side
  std::uint64_t connection = 0;    // bumps per established connection; older writes are stale
  // Completion of sends, for `sendAll`: every send takes the next number; `written` is the last
  // number wholly handed to the system on connection `writtenOn`.
  std::uint64_t sent = 0;
  std::uint64_t written = 0;
  std::uint64_t writtenOn = 0;
  int waiters = 0;  // callers blocked in `sendAll`; plain sends never pay for a wake-up
  std::condition_variable writtenChanged;

  void markWritten(std::uint64_t upTo, std::uint64_t on) {
    written = upTo;
    writtenOn = on;
    if (waiters > 0) writtenChanged.notify_all();
  }

  // Under `mutex`: forgets the connection once no sender writes to its descriptor any more (a
  // direct writer only makes non-blocking calls, so the wait is short).
  void detach(std::unique_lock<std::mutex>& lock) {
    connected = false;
    idle.wait(lock, [this] { return !directWriting; });
    fd = -1;
    run = nullptr;
    queue.clear();
    writing = false;
    if (waiters > 0) writtenChanged.notify_all();
  }
};

namespace {

template <typename Handler, typename... Args>
void callHandler(const char* what, const Handler& handler, Args&&... args) noexcept {
  if (!handler) return;
  try {
    handler(std::forward<Args>(args)...);
  } catch (const std::exception& e) {
    try {
      globalLogger()->error("uid: {} | tcp {} handler threw: {}", logUid, what, e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      globalLogger()->error("uid: {} | tcp {} handler threw a non-standard exception", logUid, what);
    } catch (...) {
    }
  }
}

void setKeepAlive(int fd) noexcept {
  // A controller that vanishes without closing must show up as a lost link, not as endless
  // request timeouts.
  const int on = 1, idle = 10, interval = 3, count = 3;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

// One started period of a client: its I/O context, socket and thread. A new run per `start`
// means nothing queued by an earlier run can ever execute in a later one.
class TcpClient::Run final : public MessageSink {
 public:
  Run(std::shared_ptr<SendState> state, std::shared_ptr<const Handlers> handlers,
      const TcpClientOptions& options, std::unique_ptr<Framer> framer, std::string host,
      std::uint16_t port)
      : work_(asio::make_work_guard(io)),
        socket_(io),
        timer_(io),
        state_(std::move(state)),
        handlers_(std::move(handlers)),
        options_(options),
        framer_(std::move(framer)),
        host_(std::move(host)),
        port_(port) {}

  ~Run() override {
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (state_->run == this) state_->detach(lock);
  }

  asio::io_context io;

  const SendState* tag() const noexcept { return state_.get(); }

  void threadMain() noexcept {
    current = this;
    asio::post(io, [this] { attempt(); });
    for (;;) {
      try {
        io.run();
        break;
      } catch (const std::exception& e) {
        logError("I/O loop", e.what());
      } catch (...) {
        logError("I/O loop", "non-standard exception");
      }
    }
    current = nullptr;
  }

  std::error_code waitFirstAttempt(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(startMutex_);
    if (!startCv_.wait_for(lock, bound, [this] { return startDone_; })) return asio::error::timed_out;
    return startResult_;
  }

  // I/O thread only.
  void shutdown() noexcept {
    if (stopping_) return;
    stopping_ = true;
    const bool wasEstablished = established_;
    closeSocket();
    if (wasEstablished) callHandler("disconnect", handlers_->onDisconnect, asio::error::operation_aborted);
    signalStart(asio::error::operation_aborted);
    work_.reset();
    io.stop();
  }

  // I/O thread only: writes what senders queued, in one gathered write per batch, after
  // recording that the sends up to `writtenUpTo` (0: none) have left.
  void writeQueued(std::uint64_t connection, std::uint64_t writtenUpTo) {
    auto batch = std::make_shared<Batch>();
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      // A batch that left counts as written even if the peer has closed since.
      if (writtenUpTo != 0 && state_->connection == connection) state_->markWritten(writtenUpTo, connection);
      if (state_->run != this || !state_->connected || state_->connection != connection) return;
      if (state_->queue.empty()) {
        state_->writing = false;
        return;
      }
      batch->messages.swap(state_->queue);
      batch->last = state_->sent;
    }
    batch->buffers.reserve(batch->messages.size());
    for (const auto& m : batch->messages) batch->buffers.emplace_back(asio::buffer(m));
    const auto generation = generation_;
    asio::async_write(socket_, batch->buffers,
                      [this, batch, generation, connection](const std::error_code& ec, std::size_t) {
                        if (stopping_ || generation != generation_) return;
                        if (ec) {
                          lost(ec);
                          return;
                        }
                        writeQueued(connection, batch->last);
                      });
  }

  bool onMessage(std::string_view message) override {
    callHandler("receive", handlers_->onReceive, message);
    return !stopping_ && established_;
  }

  static thread_local Run* current;

 private:
  struct Batch {
    std::vector<std::string> messages;
    std::vector<asio::const_buffer> buffers;
    std::uint64_t last = 0;  // number of the newest send in the batch
  };

  static void logError(const char* what, const char* text) noexcept {
    try {
      globalLogger()->error("uid: {} | tcp {}: {}", logUid, what, text);
    } catch (...) {
    }
  }

  void attempt() {
    if (stopping_) return;
    std::error_code ec;
    std::vector<asio::ip::tcp::endpoint> endpoints;
    const auto address = asio::ip::make_address(host_, ec);
    if (!ec) {
      endpoints.emplace_back(address, port_);
    } else {
      // Resolved synchronously on this thread: an asynchronous resolve would start a hidden
      // resolver thread per link.
      ec.clear();
      asio::ip::tcp::resolver resolver(io);
      const auto results = resolver.resolve(host_, std::to_string(port_), ec);
      if (!ec) {
        for (const auto& entry : results) endpoints.push_back(entry.endpoint());
        if (endpoints.empty()) ec = asio::error::host_not_found;
      }
    }
    if (ec) {
      attemptFailed(ec);
      return;
    }
    const auto generation = ++generation_;
    attempting_ = true;
    timedOut_ = false;
    timer_.expires_after(options_.connectTimeout);
    timer_.async_wait([this, generation](const std::error_code& e) {
      if (e || stopping_ || !attempting_ || generation != generation_) return;
      timedOut_ = true;
      std::error_code ignored;
      socket_.close(ignored);
    });
    asio::async_connect(socket_, endpoints,
                        [this, generation](const std::error_code& e, const asio::ip::tcp::endpoint&) {
                          if (stopping_ || generation != generation_) return;
                          attempting_ = false;
                          try {
                            timer_.cancel();
                          } catch (const std::system_error&) {
                          }
                          const std::error_code result = timedOut_ ? asio::error::timed_out : e;
                          if (result) {
                            std::error_code ignored;
                            socket_.close(ignored);
                            attemptFailed(result);
                            return;
                          }
                          connected();
                        });
  }

  void attemptFailed(const std::error_code& ec) {
    attempting_ = false;
    callHandler("connect", handlers_->onConnect, ec);
    if (!firstDone_) {
      signalStart(ec);  // the starting caller stops this run
      return;
    }
    scheduleReconnect();
  }

  void scheduleReconnect() {
    if (stopping_ || !options_.autoReconnect) return;
    const auto generation = generation_;
    timer_.expires_after(options_.reconnectDelay);
    timer_.async_wait([this, generation](const std::error_code& e) {
      if (e || stopping_ || generation != generation_) return;
      attempt();
    });
  }

  void connected() {
    setKeepAlive(socket_.native_handle());
    framer_->reset();
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->fd = socket_.native_handle();
      state_->run = this;
      state_->queue.clear();
      state_->writing = false;
      ++state_->connection;
      state_->connected = true;
    }
    established_ = true;
    callHandler("connect", handlers_->onConnect, std::error_code());
    signalStart(std::error_code());
    if (stopping_ || !established_) return;
    read();
  }

  void read() {
    auto [room, size] = framer_->prepare();
    const auto generation = generation_;
    socket_.async_read_some(asio::buffer(room, size), [this, generation](const std::error_code& ec,
                                                                         std::size_t count) {
      if (stopping_ || generation != generation_) return;
      if (ec) {
        lost(ec);
        return;
      }
      try {
        const FrameStatus status = framer_->commit(count, *this);
        if (stopping_ || generation != generation_) return;
        if (status == FrameStatus::overflow) {
          globalLogger()->error("uid: {} | tcp {}:{} sent a message over {} bytes, link dropped", logUid,
                                host_, port_, DelimiterFramer::kDefaultCap);
          lost(asio::error::message_size);
          return;
        }
        read();
      } catch (const std::exception& e) {
        logError("receive", e.what());
        if (!stopping_ && generation == generation_) lost(std::make_error_code(std::errc::not_enough_memory));
      }
    });
  }

  void lost(const std::error_code& ec) {
    closeSocket();
    callHandler("disconnect", handlers_->onDisconnect, ec);
    scheduleReconnect();
  }

  void closeSocket() noexcept {
    ++generation_;
    attempting_ = false;
    established_ = false;
    std::error_code ignored;
    try {
      timer_.cancel();
    } catch (const std::system_error&) {
      // A timer that cannot be cancelled fires into a newer generation and is ignored.
    }
    {
      std::unique_lock<std::mutex> lock(state_->mutex);
      if (state_->run == this || state_->run == nullptr) state_->detach(lock);
    }
    socket_.close(ignored);
  }

  void signalStart(const std::error_code& ec) {
    if (firstDone_) return;
    firstDone_ = true;
    {
      std::lock_guard<std::mutex> lock(startMutex_);
      startDone_ = true;
      startResult_ = ec;
    }
    startCv_.notify_all();
  }

  asio::executor_work_guard<asio::io_context::executor_type> work_;
  asio::ip::tcp::socket socket_;
  asio::steady_timer timer_;
  std::shared_ptr<SendState> state_;
  std::shared_ptr<const Handlers> handlers_;
  TcpClientOptions options_;
  std::unique_ptr<Framer> framer_;
  std::string host_;
  std::uint16_t port_;

  // I/O thread only.
  bool stopping_ = false;
  bool established_ = false;
  bool attempting_ = false;
  bool timedOut_ = false;
  bool firstDone_ = false;
  std::uint64_t generation_ = 0;  // bumps on every attempt and close: older completions are stale

  std::mutex startMutex_;
  std::condition_variable startCv_;
  bool startDone_ = false;
  std::error_code startResult_;
};

thread_local TcpClient::Run* TcpClient::Run::current = nullptr;

TcpClient::TcpClient(TcpClientOptions options)
    : TcpClient(options, [] { return std::make_unique<DelimiterFramer>(); }) {}

TcpClient::TcpClient(TcpClientOptions options, FramerFactory framer)
    : options_(options),
      framerFactory_(std::move(framer)),
      sendState_(std::make_shared<SendState>()),
      handlers_(std::make_shared<const Handlers>()) {}

TcpClient::~TcpClient() {
  if (onOwnIoThread()) {
    Run::current->shutdown();
    if (thread_.joinable()) thread_.detach();  // the thread holds its run until it ends
    return;
  }
  std::lock_guard<std::mutex> lock(controlMutex_);
  stopLocked();
}

void TcpClient::setHandlers(ConnectHandler onConnect, ReceiveHandler onReceive,
                            DisconnectHandler onDisconnect) {
  auto handlers = std::make_shared<const Handlers>(
      Handlers{std::move(onConnect), std::move(onReceive), std::move(onDisconnect)});
  std::lock_guard<std::mutex> lock(handlersMutex_);
  handlers_ = std::move(handlers);
}

bool TcpClient::onOwnIoThread() const noexcept {
  return Run::current != nullptr && Run::current->tag() == sendState_.get();
}

std::error_code TcpClient::start(const std::string& host, std::uint16_t port) {
  if (onOwnIoThread()) return std::make_error_code(std::errc::resource_deadlock_would_occur);
  std::lock_guard<std::mutex> lock(controlMutex_);
  stopLocked();
  if (host.empty()) return asio::error::host_not_found;
  std::shared_ptr<const Handlers> handlers;
  {
    std::lock_guard<std::mutex> handlersLock(handlersMutex_);
    handlers = handlers_;
  }
  try {
    auto run = std::make_shared<Run>(sendState_, std::move(handlers), options_, framerFactory_(), host, port);
    run_ = run;
    thread_ = std::thread([run] { run->threadMain(); });
  } catch (const std::system_error& e) {
    run_.reset();
    return e.code();
  } catch (const std::bad_alloc&) {
    run_.reset();
    return std::make_error_code(std::errc::not_enough_memory);
  }
  // Name resolution is not covered by the connect timeout; give it a generous margin.
  const std::error_code result =
      run_->waitFirstAttempt(options_.connectTimeout + std::chrono::seconds(30));
  if (result) stopLocked();
  return result;
}

void TcpClient::stop() noexcept {
  if (onOwnIoThread()) {
    Run::current->shutdown();
    return;
  }
  std::lock_guard<std::mutex> lock(controlMutex_);
  stopLocked();
}

void TcpClient::stopLocked() noexcept {
  if (!run_) return;
  if (thread_.joinable()) {
    try {
      asio::post(run_->io, [run = run_.get()] { run->shutdown(); });
    } catch (...) {
      run_->io.stop();
    }
    thread_.join();
  }
  run_.reset();
}

namespace {

// Writes what it can of `pieces` without blocking; the bytes written, or -1 on a broken link.
ssize_t writeSome(int fd, const std::vector<std::string>& pieces) {
  constexpr std::size_t kMaxPieces = 64;
  iovec vectors[kMaxPieces];
  ssize_t written = 0;
  for (std::size_t first = 0; first < pieces.size(); first += kMaxPieces) {
    const std::size_t count = std::min(kMaxPieces, pieces.size() - first);
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
      vectors[i].iov_base = const_cast<char*>(pieces[first + i].data());
      vectors[i].iov_len = pieces[first + i].size();
      bytes += pieces[first + i].size();
    }
    msghdr message{};
    message.msg_iov = vectors;
    message.msg_iovlen = count;
    ssize_t n;
    do {
      n = ::sendmsg(fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? written : -1;
    written += n;
    if (static_cast<std::size_t>(n) < bytes) break;
  }
  return written;
}

// Drops the first `count` bytes of `pieces`.
void consume(std::vector<std::string>& pieces, std::size_t count) {
  std::size_t whole = 0;
  while (whole < pieces.size() && count >= pieces[whole].size()) count -= pieces[whole++].size();
  pieces.erase(pieces.begin(), pieces.begin() + static_cast<std::ptrdiff_t>(whole));
  if (count > 0 && !pieces.empty()) pieces.front().erase(0, count);
}

}  // namespace

bool TcpClient::send(std::string_view bytes) { return sendNumbered(bytes, nullptr, nullptr); }

bool TcpClient::sendNumbered(std::string_view bytes, std::uint64_t* number, std::uint64_t* connection) {
  SendState& s = *sendState_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (!s.connected) return false;
  if (bytes.empty()) return true;
  ++s.sent;
  if (number != nullptr) *number = s.sent;
  if (connection != nullptr) *connection = s.connection;
  if (s.writing || s.directWriting) {
    s.queue.emplace_back(bytes);  // the owner of the write side takes it along
    return true;
  }
  // Nothing in flight: write from this thread and spare the hop to the I/O thread. The lock is
  // not held across the system call, so concurrent senders queue instead of waiting.
  s.directWriting = true;
  const int fd = s.fd;
  const std::uint64_t mine = s.sent;
  const std::uint64_t on = s.connection;
  lock.unlock();
  ssize_t n;
  do {
    n = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  const bool broken = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
  std::vector<std::string> pending;
  const auto sent = static_cast<std::size_t>(std::max<ssize_t>(n, 0));
  if (!broken && sent < bytes.size()) pending.emplace_back(bytes.substr(sent));
  lock.lock();
  // Bytes that left are done even when the peer closed meanwhile: a reply sent before the close
  // must not be undone by it. Earlier numbers left before this thread took the write side.
  const auto markDone = [&](std::uint64_t upTo) {
    if (s.connection == on) s.markWritten(upTo, on);
  };
  if (!broken && pending.empty()) markDone(mine);
  if (broken) {
    // The connection is gone: what others queued can never arrive, and the I/O thread's read
    // reports the loss to everyone waiting.
    s.queue.clear();
  }
  // What others queued meanwhile goes out from here too, while this thread owns the write side.
  while (!broken && pending.empty() && !s.queue.empty() && s.connected) {
    std::vector<std::string> batch;
    batch.swap(s.queue);
    const std::uint64_t upTo = s.sent;
    lock.unlock();
    const ssize_t written = writeSome(fd, batch);
    lock.lock();
    if (written < 0) {
      s.queue.clear();
      break;
    }
    consume(batch, static_cast<std::size_t>(written));
    pending.swap(batch);
    if (pending.empty()) markDone(upTo);
  }
  if (!pending.empty() && s.connected) {
    // The socket is full: the I/O thread finishes, keeping the order.
    pending.insert(pending.end(), std::make_move_iterator(s.queue.begin()), std::make_move_iterator(s.queue.end()));
    s.queue.swap(pending);
    s.writing = true;
    asio::post(s.run->io, [run = s.run, connection = s.connection] { run->writeQueued(connection, 0); });
  }
  s.directWriting = false;
  s.idle.notify_all();
  return !broken;
}

std::error_code TcpClient::sendAll(std::string_view bytes, std::chrono::milliseconds timeout) {
  if (onOwnIoThread()) return std::make_error_code(std::errc::resource_deadlock_would_occur);
  SendState& s = *sendState_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::uint64_t number = 0;
  std::uint64_t connection = 0;
  if (!sendNumbered(bytes, &number, &connection)) return asio::error::not_connected;
  if (number == 0) return {};  // nothing to send
  std::unique_lock<std::mutex> lock(s.mutex);
  // Judged by the connection the bytes went out on: a close right after they left does not
  // turn a completed send into a failure.
  const auto done = [&] { return s.writtenOn == connection && s.written >= number; };
  ++s.waiters;
  const bool settled = s.writtenChanged.wait_until(
      lock, deadline, [&] { return done() || !s.connected || s.connection != connection; });
  --s.waiters;
  if (done()) return {};
  return settled ? asio::error::not_connected : asio::error::timed_out;
}

bool TcpClient::isConnected() const noexcept { return sendState_->connected.load(); }

}  // namespace velmora::internal
