// The client's sending face: a message goes straight to the socket from its sender's thread when
// nothing else waits to be written; otherwise it queues behind the others (send_queue.cpp), and
// the I/O thread writes the queue once the socket has room.

#include <sys/socket.h>

#include <asio/error.hpp>

#include <cerrno>

#include "network/tcp/tcp_core.h"

namespace velmora::internal {

TcpClient::Posted TcpClient::send(std::string_view bytes, std::uint64_t* number, std::uint64_t* connection) {
  Core& c = *core_;
  std::unique_lock<std::mutex> lock(c.mutex_);
  if (!c.up_) return Posted::notConnected;
  SendQueue& queue = c.sending_;
  if (connection != nullptr) *connection = queue.connection();
  // Someone owns the write side and takes this along.
  if (bytes.empty() || queue.busy()) return queue.enqueue(bytes, number);
  // Nothing in the way: write from this thread and spare the hop to the I/O thread. The lock is
  // not held across the system call, so concurrent senders queue instead of waiting.
  // The socket stays open until the write side is given back.
  const int fd = c.fd_;
  const std::uint64_t mine = queue.beginDirect(number);
  lock.unlock();
  ssize_t sent;
  do {
    sent = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  const int error = sent < 0 ? errno : 0;
  lock.lock();
  const Posted posted = queue.endDirect(lock, fd, bytes, mine, sent, error);
  if (!queue.empty() && c.up_) {
    c.writeArmed_ = true;
    c.applyInterest();
  }
  if (c.closing_) c.changed_.notify_all();  // the I/O thread waits for this writer to leave
  return posted;
}

// On EPOLLOUT: the I/O thread owns the write side while the queue waits for room.
std::error_code TcpClient::Core::ioWrite() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!writeArmed_ || sending_.writing() || !up_) return {};
  writeArmed_ = false;
  std::error_code broken;
  if (sending_.writeQueued(lock, fd_, broken)) writeArmed_ = true;
  return broken;
}

bool TcpClient::withdraw(std::uint64_t number) noexcept {
  std::lock_guard<std::mutex> lock(core_->mutex_);
  return core_->sending_.withdraw(number);
}

std::size_t TcpClient::unsentBytes() const noexcept {
  std::lock_guard<std::mutex> lock(core_->mutex_);
  return core_->sending_.unsentBytes();
}

std::error_code TcpClient::sendAll(std::string_view bytes, std::chrono::milliseconds timeout) {
  if (onOwnIoThread()) return std::make_error_code(std::errc::resource_deadlock_would_occur);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::uint64_t number = 0;
  std::uint64_t connection = 0;
  if (send(bytes, &number, &connection) != Posted::queued) return asio::error::not_connected;
  if (number == 0) return {};  // nothing to send
  std::unique_lock<std::mutex> lock(core_->mutex_);
  return core_->sending_.waitWritten(lock, number, connection, deadline);
}

}  // namespace velmora::internal
