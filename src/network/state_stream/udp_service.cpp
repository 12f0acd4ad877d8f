#include "network/state_stream/udp_service.h"

#include <velmora/error.h>
#include <velmora/exception.h>

#include <asio/bind_allocator.hpp>
#include <asio/buffer.hpp>
#include <asio/ip/address.hpp>

#include <new>

#include "common/globals.h"
#include "common/logging.h"

namespace velmora::internal {

void* HandlerArena::allocate(std::size_t size) {
  if (!inUse_ && size <= sizeof(storage_)) {
    inUse_ = true;
    return storage_;
  }
  return ::operator new(size);
}

void HandlerArena::deallocate(void* pointer) noexcept {
  if (pointer == storage_) {
    inUse_ = false;
  } else {
    ::operator delete(pointer);
  }
}

std::chrono::steady_clock::time_point deadlineAfter(std::chrono::nanoseconds timeout) noexcept {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point now = Clock::now();
  if (timeout <= std::chrono::nanoseconds::zero()) return now;
  if (timeout >= Clock::time_point::max() - now) return Clock::time_point::max();
  return now + std::chrono::duration_cast<Clock::duration>(timeout);
}

UdpService::UdpService() = default;

UdpService::Io& UdpService::io() {
  if (!io_) io_ = std::make_unique<Io>();
  return *io_;
}

UdpService::~UdpService() { closeSocket(); }

void UdpService::setEndpoint(unsigned port, const std::string& remoteHost, const std::string& localAddress) {
  localAddress_ = localAddress;
  localPort_.store(port, std::memory_order_release);
  const auto wirePort = static_cast<unsigned short>(port);
  std::error_code ec;
  const asio::ip::address numeric = asio::ip::make_address(remoteHost, ec);
  if (!ec) {
    // Resolving a numeric address with "address configured" fails on a host whose only
    // address is loopback; the answer would be the address itself anyway.
    peer_ = asio::ip::udp::endpoint(numeric, wirePort);
    return;
  }
  asio::ip::udp::resolver resolver(io().context);
  // The socket is IPv4, so the controller's stream can only come from an IPv4 address.
  const auto results = resolver.resolve(asio::ip::udp::v4(), remoteHost, std::to_string(port),
                                        asio::ip::resolver_base::passive | asio::ip::resolver_base::address_configured);
  if (results.empty()) throw std::system_error(asio::error::host_not_found);
  peer_ = results.begin()->endpoint();
}

void UdpService::open(std::error_code& ec, bool anyPortOnFailure) {
  ec.clear();
  if (io_ && io_->socket.is_open()) close();

  // An empty local address means "any interface": robots built without one must still stream.
  asio::ip::address address = asio::ip::address_v4::any();
  if (!localAddress_.empty()) {
    address = asio::ip::make_address(localAddress_, ec);
    if (ec) return;
  }
  Socket& socket = io().socket;
  socket.open(asio::ip::udp::v4(), ec);
  if (ec) return;
  // No SO_REUSEADDR: a second receiver on the same port must fall back to a free port, not
  // share the port and silently split the stream with the first.
  const std::uint32_t wanted = localPort_.load(std::memory_order_acquire);
  if (wanted > 0xFFFF) {
    ec = asio::error::invalid_argument;
  } else {
    socket.bind(asio::ip::udp::endpoint(address, static_cast<unsigned short>(wanted)), ec);
  }
  if (ec && anyPortOnFailure) {
    ec.clear();
    socket.bind(asio::ip::udp::endpoint(address, 0), ec);
  }
  if (!ec) {
    // Read back even after a bind to the configured port: port 0 there means "any", and the
    // controller must be told the port actually bound.
    const asio::ip::udp::endpoint bound = socket.local_endpoint(ec);
    if (!ec) localPort_.store(bound.port(), std::memory_order_release);
  }
  if (!ec) socket.non_blocking(true, ec);
  if (ec) {
    std::error_code ignored;
    socket.close(ignored);
    return;
  }
  state_.store(kOpen, std::memory_order_release);
}

void UdpService::open(bool anyPortOnFailure) {
  std::error_code ec;
  open(ec, anyPortOnFailure);
}

void UdpService::close() { closeSocket(); }

void UdpService::closeSocket() noexcept {
  if (io_) {
    std::error_code ignored;
    io_->socket.shutdown(asio::socket_base::shutdown_both, ignored);
    io_->socket.close(ignored);
  }
  state_.store(kClosed, std::memory_order_release);
}

void UdpService::runFor(std::chrono::nanoseconds timeout) {
  if (!io_) return;  // nothing was ever started that could be pending
  asio::io_context& context = io_->context;
  context.restart();
  context.run_until(deadlineAfter(timeout));
  if (context.stopped()) return;
  std::error_code ec;
  io_->socket.cancel(ec);
  if (ec) {
    // The receive may still be queued and would later complete into the caller's buffer and
    // frame: closing aborts it, and running the context finishes it before we report.
    close();
    context.run();
    throw NetworkException(std::string(messageText(5)) + ec.message());
  }
  context.run();
}

bool UdpService::fromController() noexcept {
  // Anyone on the network could otherwise feed the arm's state to the program.
  if (peer_.address().is_unspecified() || sender_.address() == peer_.address()) return true;
  foreignDatagrams_.fetch_add(1, std::memory_order_relaxed);
  ++foreignSinceLog_;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastForeignLog_ >= std::chrono::seconds(1)) {
    lastForeignLog_ = now;
    try {
      globalLogger()->warn(
          "uid: {} | state stream: {} datagram(s) not from the controller {} dropped, the last from {}", logUid,
          foreignSinceLog_, peer_.address().to_string(), sender_.address().to_string());
    } catch (...) {
    }
    foreignSinceLog_ = 0;
  }
  return false;
}

void UdpService::armReceive(std::uint8_t* buffer, std::size_t& received) {
  io_->socket.async_receive_from(
      asio::buffer(buffer, kReceiveSize), sender_,
      asio::bind_allocator(HandlerArenaAllocator<void>(arena_),
                           [this, buffer, &received](const std::error_code& ec, std::size_t bytes) {
                             onReceived(ec, bytes, buffer, received);
                           }));
}

void UdpService::onReceived(const std::error_code& ec, std::size_t bytes, std::uint8_t* buffer, std::size_t& received) {
  // A datagram cut to the buffer is still a datagram.
  if (ec && ec != asio::error::message_size) return;
  if (fromController()) {
    received = bytes;
    return;
  }
  // The handler's memory is free again by now. Never after the deadline: the run that ends a
  // cancelled receive would wait for the next datagram.
  if (io_->socket.is_open() && std::chrono::steady_clock::now() < receiveDeadline_) armReceive(buffer, received);
}

std::size_t UdpService::receive(std::uint8_t* buffer, std::chrono::nanoseconds timeout) {
  // Bounds the foreign datagrams dropped without a look at the clock, so a flood of them cannot
  // hold a caller past its time-out.
  constexpr int kDropsBeforeWaiting = 64;
  std::size_t received = 0;
  Socket& socket = io().socket;
  if (socket.is_open()) {
    // A datagram already queued is taken with one system call; only an empty queue pays for the
    // timed wait through the I/O context.
    for (int drops = 0; drops < kDropsBeforeWaiting; ++drops) {
      std::error_code ec;
      received = socket.receive_from(asio::buffer(buffer, kReceiveSize), sender_, 0, ec);
      if (ec && ec != asio::error::message_size) break;
      if (fromController()) return received;
    }
    received = 0;
  }
  receiveDeadline_ = deadlineAfter(timeout);
  armReceive(buffer, received);
  runFor(timeout);
  return received;
}

}  // namespace velmora::internal
