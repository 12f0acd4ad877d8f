#include "velmora_sim/state_rt_port.h"

#include <asio/buffer.hpp>
#include <asio/ip/address.hpp>

#include <array>

namespace velmora::sim {

struct RtPortListener::Connection {
  explicit Connection(asio::io_context& io) : socket(io) {}
  asio::ip::tcp::socket socket;
  std::array<char, 4096> buffer{};
};

RtPortListener::~RtPortListener() { stop(); }

std::error_code RtPortListener::start(const std::string& address, unsigned short port) {
  stop();
  std::error_code ec;
  const asio::ip::address ip = asio::ip::make_address(address, ec);
  if (ec) return ec;
  io_ = std::make_unique<asio::io_context>(1);
  acceptor_ = std::make_unique<asio::ip::tcp::acceptor>(*io_);
  const asio::ip::tcp::endpoint endpoint(ip, port);
  acceptor_->open(endpoint.protocol(), ec);
  if (!ec) acceptor_->set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor_->bind(endpoint, ec);
  if (!ec) acceptor_->listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    acceptor_.reset();
    io_.reset();
    return ec;
  }
  port_ = acceptor_->local_endpoint().port();
  acceptNext();
  thread_ = std::thread([this] { io_->run(); });
  return {};
}

void RtPortListener::stop() {
  if (!io_) return;
  io_->stop();
  if (thread_.joinable()) thread_.join();
  std::error_code ignored;
  for (const auto& connection : connections_) connection->socket.close(ignored);
  connections_.clear();
  open_ = 0;
  acceptor_.reset();
  io_.reset();
}

void RtPortListener::acceptNext() {
  auto connection = std::make_shared<Connection>(*io_);
  acceptor_->async_accept(connection->socket, [this, connection](const std::error_code& ec) {
    if (ec) return;  // listener closed
    ++accepted_;
    ++open_;
    connections_.push_back(connection);
    readNext(connection);
    acceptNext();
  });
}

void RtPortListener::readNext(const std::shared_ptr<Connection>& connection) {
  connection->socket.async_read_some(asio::buffer(connection->buffer),
                                     [this, connection](const std::error_code& ec, std::size_t n) {
                                       if (ec) {
                                         std::error_code ignored;
                                         connection->socket.close(ignored);
                                         --open_;
                                         for (auto it = connections_.begin(); it != connections_.end(); ++it) {
                                           if (*it == connection) {
                                             connections_.erase(it);
                                             break;
                                           }
                                         }
                                         return;
                                       }
                                       bytes_ += n;
                                       readNext(connection);
                                     });
}

}  // namespace velmora::sim
