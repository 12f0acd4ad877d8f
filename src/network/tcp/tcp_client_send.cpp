// Sending: a message goes straight to the socket from its sender's thread when nothing else
// waits to be written; otherwise it queues behind the others, within a bound, and whoever owns
// the write side (a sender or the I/O thread) writes the queue in order.

#include <sys/socket.h>
#include <sys/uio.h>

#include <asio/error.hpp>

#include <algorithm>
#include <cerrno>

#include "network/tcp/tcp_core.h"

namespace velmora::internal {

namespace {

bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

void TcpClient::Core::markWritten(std::uint64_t upTo) {
  written_ = upTo;
  writtenOn_ = connection_;
  if (sendAllWaiters_ > 0) changed_.notify_all();
}

TcpClient::Posted TcpClient::send(std::string_view bytes, std::uint64_t* number, std::uint64_t* connection) {
  Core& c = *core_;
  std::unique_lock<std::mutex> lock(c.mutex_);
  if (!c.up_) return Posted::notConnected;
  if (connection != nullptr) *connection = c.connection_;
  if (bytes.empty()) {
    if (number != nullptr) *number = 0;
    return Posted::queued;
  }
  if (c.directWriting_ || c.ioWriting_ || !c.queue_.empty()) {
    // Someone owns the write side and takes this along. A peer that stops reading must not make
    // the queue grow without end; an empty queue always takes one message, however large.
    if (c.queuedBytes_ > 0 && c.queuedBytes_ + bytes.size() > options_.maxUnsentBytes) return Posted::full;
    c.queue_.push_back(Outgoing{std::string(bytes), ++c.numbered_});
    c.queuedBytes_ += bytes.size();
    if (number != nullptr) *number = c.numbered_;
    return Posted::queued;
  }
  // Nothing in the way: write from this thread and spare the hop to the I/O thread. The lock is
  // not held across the system call, so concurrent senders queue instead of waiting.
  c.directWriting_ = true;
  const std::uint64_t mine = ++c.numbered_;
  if (number != nullptr) *number = mine;
  const int fd = c.fd_;
  lock.unlock();
  ssize_t n;
  do {
    n = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  const bool broken = n < 0 && !wouldBlock(errno);
  lock.lock();
  std::error_code brokenBy;
  if (broken) {
    // What others queued can never arrive; whoever reads reports the loss to everyone waiting.
    c.queue_.clear();
    c.queuedBytes_ = 0;
  } else if (static_cast<std::size_t>(std::max<ssize_t>(n, 0)) < bytes.size()) {
    // The socket is full: the rest goes first, before what others queued meanwhile.
    c.queue_.push_front(Outgoing{std::string(bytes), mine, static_cast<std::size_t>(std::max<ssize_t>(n, 0))});
    c.queuedBytes_ += bytes.size() - c.queue_.front().offset;
  } else {
    c.markWritten(mine);
    if (!c.queue_.empty() && c.up_ && !c.flushQueue(lock, brokenBy)) {
      c.queue_.clear();
      c.queuedBytes_ = 0;
    }
  }
  c.directWriting_ = false;
  if (!c.queue_.empty() && c.up_) {
    c.writeArmed_ = true;
    c.applyInterest();
  }
  if (c.closing_) c.changed_.notify_all();
  return broken ? Posted::notConnected : Posted::queued;
}

bool TcpClient::Core::flushQueue(std::unique_lock<std::mutex>& lock, std::error_code& broken) {
  constexpr std::size_t kMaxPieces = 64;
  iovec vectors[kMaxPieces];
  while (!queue_.empty()) {
    std::size_t count = 0;
    std::size_t total = 0;
    for (auto it = queue_.begin(); it != queue_.end() && count < kMaxPieces; ++it, ++count) {
      it->inFlight = true;
      vectors[count].iov_base = it->bytes.data() + it->offset;
      vectors[count].iov_len = it->bytes.size() - it->offset;
      total += vectors[count].iov_len;
    }
    const int fd = fd_;
    lock.unlock();
    msghdr message{};
    message.msg_iov = vectors;
    message.msg_iovlen = count;
    ssize_t n;
    do {
      n = ::sendmsg(fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    const int error = errno;
    lock.lock();
    auto it = queue_.begin();
    for (std::size_t i = 0; i < count; ++i, ++it) it->inFlight = false;
    if (n < 0) {
      if (wouldBlock(error)) return true;
      broken = {error, std::system_category()};
      return false;
    }
    auto left = static_cast<std::size_t>(n);
    while (left > 0) {
      Outgoing& front = queue_.front();
      const std::size_t rest = front.bytes.size() - front.offset;
      if (left < rest) {
        front.offset += left;
        queuedBytes_ -= left;
        break;
      }
      left -= rest;
      queuedBytes_ -= rest;
      markWritten(front.number);
      queue_.pop_front();
    }
    if (static_cast<std::size_t>(n) < total) return true;  // the socket is full
  }
  return true;
}

// On EPOLLOUT: the I/O thread owns the write side while the queue waits for room.
std::error_code TcpClient::Core::ioWrite() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!writeArmed_ || directWriting_ || !up_) return {};
  writeArmed_ = false;
  ioWriting_ = true;
  std::error_code broken;
  const bool ok = flushQueue(lock, broken);
  ioWriting_ = false;
  if (ok && !queue_.empty()) writeArmed_ = true;
  return broken;
}

bool TcpClient::withdraw(std::uint64_t number) noexcept {
  Core& c = *core_;
  std::lock_guard<std::mutex> lock(c.mutex_);
  // Newest first: a request gives up on a message it queued recently.
  for (auto it = c.queue_.end(); it != c.queue_.begin();) {
    --it;
    if (it->number < number) break;
    if (it->number != number) continue;
    if (it->inFlight || it->offset > 0) return false;
    c.queuedBytes_ -= it->bytes.size();
    c.queue_.erase(it);
    return true;
  }
  return false;
}

std::size_t TcpClient::unsentBytes() const noexcept {
  std::lock_guard<std::mutex> lock(core_->mutex_);
  return core_->queuedBytes_;
}

std::error_code TcpClient::sendAll(std::string_view bytes, std::chrono::milliseconds timeout) {
  if (onOwnIoThread()) return std::make_error_code(std::errc::resource_deadlock_would_occur);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::uint64_t number = 0;
  std::uint64_t connection = 0;
  if (send(bytes, &number, &connection) != Posted::queued) return asio::error::not_connected;
  if (number == 0) return {};  // nothing to send
  Core& c = *core_;
  std::unique_lock<std::mutex> lock(c.mutex_);
  // Judged by the connection the bytes went out on: a close right after they left does not
  // turn a completed send into a failure.
  const auto done = [&] { return c.writtenOn_ == connection && c.written_ >= number; };
  ++c.sendAllWaiters_;
  const bool settled =
      c.changed_.wait_until(lock, deadline, [&] { return done() || !c.up_ || c.connection_ != connection; });
  --c.sendAllWaiters_;
  if (done()) return {};
  return settled ? asio::error::not_connected : asio::error::timed_out;
}

}  // namespace velmora::internal
