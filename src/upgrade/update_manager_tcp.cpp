#include "upgrade/update_manager_tcp.h"

#include <velmora/error.h>

#include <memory>
#include <new>

namespace velmora::internal {

namespace {

TcpClientOptions linkOptions() {
  TcpClientOptions options;
  options.autoReconnect = false;
  return options;
}

}  // namespace

UpdateManagerTcp::UpdateManagerTcp() : client_(linkOptions(), [] { return std::make_unique<RecordFramer>(); }) {}

UpdateManagerTcp::~UpdateManagerTcp() {
  client_.stop();
  clearQueue();
}

void UpdateManagerTcp::setRemote(const std::string& ip, std::uint16_t port) {
  remote_ = ip;
  port_ = port;
  bindCallbacks();
}

void UpdateManagerTcp::bindCallbacks() {
  client_.setHandlers([this](const std::error_code& ec) { onConnect(ec); },
                      [this](std::string_view bytes) { onReceive(bytes); },
                      [this](const std::error_code& ec) { onDisconnect(ec); });
}

void UpdateManagerTcp::start(std::error_code& ec) {
  ec = makeErrorCode(0);
  if (state_ == kConnected) return;
  if (remote_.empty() || client_.start(remote_, port_)) {
    client_.stop();
    ec = makeErrorCode(256);
  }
}

void UpdateManagerTcp::stop() noexcept {
  client_.stop();
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = kDown;
  received_.notify_all();
}

void UpdateManagerTcp::send(const std::uint8_t* data, std::size_t length, std::chrono::milliseconds timeout,
                            std::error_code& ec) {
  if (state_ != kConnected || client_.sendAll(std::string_view(reinterpret_cast<const char*>(data), length), timeout)) {
    stop();
    ec = makeErrorCode(256);
  }
}

void UpdateManagerTcp::takeBytes(std::vector<char>& out, std::chrono::nanoseconds timeout, std::error_code& ec) {
  out.clear();
  ec = makeErrorCode(0);
  const auto now = std::chrono::steady_clock::now();
  const auto deadline = timeout > (std::chrono::steady_clock::time_point::max() - now)
                            ? std::chrono::steady_clock::time_point::max()
                            : now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(timeout);
  std::unique_lock<std::mutex> lock(mutex_);
  received_.wait_until(lock, deadline, [this] { return !stream_.empty() || state_ != kConnected; });
  if (!stream_.empty()) {
    // Swapped, not copied: the I/O thread goes on filling the caller's emptied buffer.
    out.swap(stream_);
    return;
  }
  ec = makeErrorCode(state_ != kConnected ? 256 : 263);
}

void UpdateManagerTcp::clearQueue() {
  std::lock_guard<std::mutex> lock(mutex_);
  stream_.clear();
}

void UpdateManagerTcp::onConnect(const std::error_code& ec) {
  std::lock_guard<std::mutex> lock(mutex_);
  stream_.clear();  // a new connection is a new stream
  state_ = ec ? kDown : kConnected;
  received_.notify_all();
}

void UpdateManagerTcp::onReceive(std::string_view bytes) {
  bool overflow = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream_.size() + bytes.size() > kStreamCap) {
      overflow = true;
    } else {
      try {
        stream_.insert(stream_.end(), bytes.begin(), bytes.end());
      } catch (const std::bad_alloc&) {
        overflow = true;  // a gap in the stream would misplace every later frame
      }
    }
    if (overflow) stream_.clear();
    received_.notify_all();
  }
  if (overflow) client_.stop();  // on this I/O thread: ends the connection without joining
}

void UpdateManagerTcp::onDisconnect(const std::error_code&) {
  // Under the mutex: a waiter between its check and its sleep cannot miss this.
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = kDown;
  received_.notify_all();
}

}  // namespace velmora::internal
