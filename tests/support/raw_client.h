#pragma once
// A bare blocking TCP client, independent of the library, for talking to the simulator.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class RawClient {
 public:
  /// Connects at once; `connected()` tells whether it worked.
  RawClient(const std::string& address, std::uint16_t port);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  bool send(const std::string& bytes);
  /// The next message ended by a carriage return, without it; nothing when none came in time or
  /// the peer closed.
  std::optional<std::string> readMessage(std::chrono::milliseconds timeout);
  /// Whether the peer closed the connection within `timeout`.
  bool waitClosed(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
  std::string buffer_;
};
