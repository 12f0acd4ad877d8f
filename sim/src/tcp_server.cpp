#include "tcp_server.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <future>
#include <stdexcept>
#include <thread>

#include "velmora_sim/wire.h"

namespace velmora_sim::detail {

void runOnIo(asio::io_context& io, const std::function<void()>& fn) {
  if (io.stopped() || io.get_executor().running_in_this_thread()) {
    fn();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  auto result = done->get_future();
  asio::post(io, [&fn, done] {
    try {
      fn();
      done->set_value();
    } catch (...) {
      done->set_exception(std::current_exception());
    }
  });
  if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    throw std::runtime_error("simulator thread did not answer within 10 s");
  }
  result.get();
}

Peer::Peer(asio::io_context& io, asio::ip::tcp::socket socket, int number)
    : io_(io), socket_(std::move(socket)), number_(number) {
  std::error_code ignored;
  socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
  const auto remote = socket_.remote_endpoint(ignored);
  if (!ignored) remoteAddress_ = remote.address().to_string();
}

void Peer::send(const Json::Value& message) { sendRaw(frame(message)); }

void Peer::sendRaw(std::string bytes) {
  auto self = shared_from_this();
  if (io_.get_executor().running_in_this_thread()) {
    write(std::move(bytes));
    return;
  }
  asio::post(io_, [self, bytes = std::move(bytes)]() mutable { self->write(std::move(bytes)); });
}

void Peer::close() {
  auto self = shared_from_this();
  runOnIo(io_, [self] { self->closeNow(); });
}

void Peer::start(BytesHandler onBytes, ClosedHandler onClosed) {
  onBytes_ = std::move(onBytes);
  onClosed_ = std::move(onClosed);
  read();
}

void Peer::read() {
  auto self = shared_from_this();
  socket_.async_read_some(asio::buffer(buffer_), [self](const std::error_code& ec, std::size_t n) {
    if (!self->open_) return;
    if (ec) {
      self->closeNow();
      return;
    }
    if (self->onBytes_) self->onBytes_(*self, self->buffer_.data(), n);
    if (self->open_) self->read();
  });
}

void Peer::write(std::string bytes) {
  if (!open_ || bytes.empty()) return;
  queue_.push_back(std::move(bytes));
  if (!writing_) writeNext();
}

void Peer::writeNext() {
  if (queue_.empty() || !open_) {
    writing_ = false;
    if (closeWhenWritten_) closeNow();
    return;
  }
  writing_ = true;
  auto self = shared_from_this();
  asio::async_write(socket_, asio::buffer(queue_.front()), [self](const std::error_code& ec, std::size_t) {
    if (!self->open_) return;
    self->queue_.pop_front();
    if (ec) {
      self->closeNow();
      return;
    }
    self->writeNext();
  });
}

void Peer::later(std::chrono::milliseconds delay, std::function<void(Peer&)> fn) {
  if (delay <= std::chrono::milliseconds::zero()) {
    fn(*this);
    return;
  }
  auto timer = std::make_shared<asio::steady_timer>(io_, delay);
  auto self = shared_from_this();
  timer->async_wait([timer, self, fn = std::move(fn)](const std::error_code& ec) {
    if (!ec && self->open_) fn(*self);
  });
}

void Peer::closeWhenWritten() {
  closeWhenWritten_ = true;
  if (!writing_) closeNow();
}

void Peer::closeNow() {
  if (!open_.exchange(false)) return;
  std::error_code ignored;
  socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
  queue_.clear();
  // The byte handler may be the caller; it stays until the connection object goes.
  auto onClosed = std::move(onClosed_);
  if (onClosed) onClosed(*this);
}

void Peer::resetNow() {
  if (!open_) return;
  std::error_code ignored;
  // A zero linger makes the close send a reset instead of an orderly end.
  socket_.set_option(asio::socket_base::linger(true, 0), ignored);
  socket_.close(ignored);
  closeNow();
}

ServiceCore::ServiceCore(asio::io_context& io, const std::string& address, std::uint16_t port, PeerStarter starter)
    : io_(io), address_(asio::ip::make_address(address)), port_(port), starter_(std::move(starter)) {
  openListener();
}

void ServiceCore::openListener() {
  acceptor_.emplace(io_);
  const asio::ip::tcp::endpoint endpoint(address_, port_);
  acceptor_->open(endpoint.protocol());
  acceptor_->set_option(asio::socket_base::reuse_address(true));
  acceptor_->bind(endpoint);
  acceptor_->listen();
  port_ = acceptor_->local_endpoint().port();
  ++listenerGeneration_;
  accept();
}

void ServiceCore::accept() {
  const auto generation = listenerGeneration_;
  acceptor_->async_accept([this, generation](const std::error_code& ec, asio::ip::tcp::socket socket) {
    if (generation != listenerGeneration_ || !acceptor_ || !acceptor_->is_open()) return;
    if (!ec) {
      auto peer = std::make_shared<Peer>(io_, std::move(socket), ++accepted_);
      {
        std::lock_guard<std::mutex> lock(peersMutex_);
        peers_.push_back(peer);
      }
      ++open_;
      peer->start(starter_(peer), [this](Peer& closed) { release(closed); });
    }
    accept();
  });
}

void ServiceCore::refuse(bool refused) {
  runOnIo(io_, [this, refused] {
    if (refused) {
      ++listenerGeneration_;
      if (acceptor_) {
        std::error_code ignored;
        acceptor_->close(ignored);
        acceptor_.reset();
      }
    } else if (!acceptor_) {
      openListener();
    }
  });
}

void ServiceCore::dropConnections() {
  runOnIo(io_, [this] {
    for (const auto& peer : peers()) peer->closeNow();
  });
}

void ServiceCore::closeAll() {
  refuse(true);
  dropConnections();
}

void ServiceCore::release(Peer& peer) {
  {
    std::lock_guard<std::mutex> lock(peersMutex_);
    for (auto it = peers_.begin(); it != peers_.end(); ++it) {
      if (it->get() == &peer) {
        peers_.erase(it);
        break;
      }
    }
  }
  --open_;
}

bool ServiceCore::waitForOpenConnections(int n, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (open_ != n) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::shared_ptr<Peer> ServiceCore::latest() const {
  std::lock_guard<std::mutex> lock(peersMutex_);
  for (auto it = peers_.rbegin(); it != peers_.rend(); ++it) {
    if ((*it)->isOpen()) return *it;
  }
  return nullptr;
}

std::vector<std::shared_ptr<Peer>> ServiceCore::peers() const {
  std::lock_guard<std::mutex> lock(peersMutex_);
  return peers_;
}

}  // namespace velmora_sim::detail
