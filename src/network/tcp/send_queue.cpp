#include "network/tcp/send_queue.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <asio/error.hpp>

#include <algorithm>
#include <cerrno>

namespace velmora::internal {

namespace {

bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

void SendQueue::drop() noexcept {
  queue_.clear();
  queuedBytes_ = 0;
}

void SendQueue::open() noexcept {
  drop();
  ++connection_;
}

void SendQueue::close() noexcept {
  drop();
  if (writtenWaiters_ > 0) changed_.notify_all();
}

void SendQueue::markWritten(std::uint64_t upTo) noexcept {
  written_ = upTo;
  writtenOn_ = connection_;
  if (writtenWaiters_ > 0) changed_.notify_all();
}

TcpClient::Posted SendQueue::enqueue(std::string_view bytes, std::uint64_t* number) {
  if (bytes.empty()) {
    if (number != nullptr) *number = 0;
    return TcpClient::Posted::queued;
  }
  // A peer that stops reading must not make the queue grow without end; an empty queue always
  // takes one message, however large.
  if (queuedBytes_ > 0 && queuedBytes_ + bytes.size() > maxUnsentBytes_) return TcpClient::Posted::full;
  queue_.push_back(Outgoing{std::string(bytes), ++numbered_});
  queuedBytes_ += bytes.size();
  if (number != nullptr) *number = numbered_;
  return TcpClient::Posted::queued;
}

std::uint64_t SendQueue::beginDirect(std::uint64_t* number) noexcept {
  writing_.store(true, std::memory_order_relaxed);
  ++numbered_;
  if (number != nullptr) *number = numbered_;
  return numbered_;
}

TcpClient::Posted SendQueue::endDirect(Lock& lock, int fd, std::string_view bytes, std::uint64_t mine, ssize_t sent,
                                       int error) {
  const bool broken = sent < 0 && !wouldBlock(error);
  const auto took = static_cast<std::size_t>(std::max<ssize_t>(sent, 0));
  std::error_code brokenBy;
  if (broken) {
    // What others queued can never arrive; whoever reads reports the loss to everyone waiting.
    drop();
  } else if (took < bytes.size()) {
    // The socket is full: the rest goes first, before what others queued meanwhile.
    queue_.push_front(Outgoing{std::string(bytes), mine, took});
    queuedBytes_ += bytes.size() - took;
  } else {
    markWritten(mine);
    if (!queue_.empty() && up_ && !flush(lock, fd, brokenBy)) drop();
  }
  writing_.store(false, std::memory_order_relaxed);
  return broken ? TcpClient::Posted::notConnected : TcpClient::Posted::queued;
}

bool SendQueue::writeQueued(Lock& lock, int fd, std::error_code& broken) {
  writing_.store(true, std::memory_order_relaxed);
  const bool ok = flush(lock, fd, broken);
  writing_.store(false, std::memory_order_relaxed);
  return ok && !queue_.empty();
}

// Writes until the queue is done or the socket is full; false when the socket failed.
bool SendQueue::flush(Lock& lock, int fd, std::error_code& broken) {
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

bool SendQueue::withdraw(std::uint64_t number) noexcept {
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

std::error_code SendQueue::waitWritten(Lock& lock, std::uint64_t number, std::uint64_t connection,
                                       std::chrono::steady_clock::time_point deadline) {
  // Judged by the connection the bytes went out on: a close right after they left does not
  // turn a completed send into a failure.
  const auto done = [&] { return writtenOn_ == connection && written_ >= number; };
  ++writtenWaiters_;
  const bool settled = changed_.wait_until(lock, deadline, [&] { return done() || !up_ || connection_ != connection; });
  --writtenWaiters_;
  if (done()) return {};
  return settled ? asio::error::not_connected : asio::error::timed_out;
}

}  // namespace velmora::internal
