// Sending: a message goes straight to the socket from its sender's thread when nothing else
// waits to be written; otherwise it queues behind the others, within a bound, and whoever owns
// the write side (a sender or the I/O thread) writes the queue in order.

#include <sys/socket.h>
#include <sys/uio.h>

#include <asio/error.hpp>

#include <algorithm>
#include <cerrno>

#include "network/tcp_core.h"

namespace velmora::internal {

namespace {

bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

void TcpClient::Core::markWritten(std::uint64_t upTo) {
  written_ = upTo;
  writtenOn_ = connection_;
  if (sendAllWaiters_ > 0) changed_.notify_all();
}

TcpClient::Posted TcpClient::Core::post(std::string_view bytes, std::uint64_t* number, std::uint64_t* connectionOut) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!up_) return Posted::notConnected;
  if (connectionOut != nullptr) *connectionOut = connection_;
  if (bytes.empty()) {
    if (number != nullptr) *number = 0;
    return Posted::queued;
  }
  if (directWriting_ || ioWriting_ || !queue_.empty()) {
    // Someone owns the write side and takes this along. A peer that stops reading must not make
    // the queue grow without end; an empty queue always takes one message, however large.
    if (queuedBytes_ > 0 && queuedBytes_ + bytes.size() > options_.maxUnsentBytes) return Posted::full;
    queue_.push_back(Outgoing{std::string(bytes), ++numbered_});
    queuedBytes_ += bytes.size();
    if (number != nullptr) *number = numbered_;
    return Posted::queued;
  }
  // Nothing in the way: write from this thread and spare the hop to the I/O thread. The lock is
  // not held across the system call, so concurrent senders queue instead of waiting.
  directWriting_ = true;
  const std::uint64_t mine = ++numbered_;
  if (number != nullptr) *number = mine;
  const int fd = fd_;
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
    queue_.clear();
    queuedBytes_ = 0;
  } else if (static_cast<std::size_t>(std::max<ssize_t>(n, 0)) < bytes.size()) {
    // The socket is full: the rest goes first, before what others queued meanwhile.
    queue_.push_front(Outgoing{std::string(bytes), mine, static_cast<std::size_t>(std::max<ssize_t>(n, 0))});
    queuedBytes_ += bytes.size() - queue_.front().offset;
  } else {
    markWritten(mine);
    if (!queue_.empty() && up_ && !flushQueue(lock, brokenBy)) {
      queue_.clear();
      queuedBytes_ = 0;
    }
  }
  directWriting_ = false;
  if (!queue_.empty() && up_) {
    writeArmed_ = true;
    applyInterest();
  }
  if (closing_) changed_.notify_all();
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

bool TcpClient::Core::withdraw(std::uint64_t number) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  // Newest first: a request gives up on a message it queued recently.
  for (auto it = queue_.end(); it != queue_.begin();) {
    --it;
    if (it->number < number) break;
    if (it->number != number) continue;
    if (it->inFlight || it->offset > 0) return false;
    queuedBytes_ -= it->bytes.size();
    queue_.erase(it);
    return true;
  }
  return false;
}

std::size_t TcpClient::Core::unsentBytes() const noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  return queuedBytes_;
}

std::error_code TcpClient::Core::sendAll(std::string_view bytes, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::uint64_t number = 0;
  std::uint64_t connection = 0;
  if (post(bytes, &number, &connection) != Posted::queued) return asio::error::not_connected;
  if (number == 0) return {};  // nothing to send
  std::unique_lock<std::mutex> lock(mutex_);
  // Judged by the connection the bytes went out on: a close right after they left does not
  // turn a completed send into a failure.
  const auto done = [&] { return writtenOn_ == connection && written_ >= number; };
  ++sendAllWaiters_;
  const bool settled = changed_.wait_until(
      lock, deadline, [&] { return done() || !up_ || connection_ != connection; });
  --sendAllWaiters_;
  if (done()) return {};
  return settled ? asio::error::not_connected : asio::error::timed_out;
}

}  // namespace velmora::internal
