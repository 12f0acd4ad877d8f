#pragma once
// A controller that keeps its connection open but does not read until told to: the socket of a
// link to it fills up. Once resumed it reads everything, keeps each message (without its
// carriage return) and answers each request as the controller does, {form:{key:0},"id":id}.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class StalledPeer {
 public:
  /// Listens on a free port of `address`, with a small receive buffer.
  explicit StalledPeer(const std::string& address);
  ~StalledPeer();
  StalledPeer(const StalledPeer&) = delete;
  StalledPeer& operator=(const StalledPeer&) = delete;

  std::uint16_t port() const { return port_; }
  /// Reads from now on.
  void resume();
  /// The messages received so far.
  std::vector<std::string> messages() const;
  bool waitForMessages(std::size_t n, std::chrono::milliseconds timeout) const;
  /// Whether a connection has been accepted.
  bool waitConnected(std::chrono::milliseconds timeout) const;

 private:
  void serve();
  void answer(int fd, const std::string& message);

  int listener_ = -1;
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool reading_ = false;
  bool stopping_ = false;
  bool connected_ = false;
  std::vector<std::string> messages_;
  std::thread thread_;
};
