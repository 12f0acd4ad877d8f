#include "support/stalled_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <json/reader.h>
#include <json/writer.h>

StalledPeer::StalledPeer(const std::string& address) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // Small, so a stalled connection is full after little: accepted sockets inherit it.
  const int small = 4096;
  ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
  socklen_t length = sizeof at;
  if (::bind(listener_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 || ::listen(listener_, 4) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
    return;
  }
  port_ = ntohs(at.sin_port);
  thread_ = std::thread([this] { serve(); });
}

StalledPeer::~StalledPeer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  ::close(listener_);
}

void StalledPeer::resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  reading_ = true;
  changed_.notify_all();
}

std::vector<std::string> StalledPeer::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

bool StalledPeer::waitForMessages(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= n; });
}

bool StalledPeer::waitConnected(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return connected_; });
}

void StalledPeer::serve() {
  int fd = -1;
  while (fd < 0) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 20) > 0) fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      if (fd >= 0) ::close(fd);
      return;
    }
  }
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    connected_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return reading_ || stopping_; });
  }
  std::string pending;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) break;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char chunk[64 * 1024];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    pending.append(chunk, static_cast<std::size_t>(n));
    for (auto cr = pending.find('\r'); cr != std::string::npos; cr = pending.find('\r')) {
      const std::string message = pending.substr(0, cr);
      pending.erase(0, cr + 1);
      {
        // Kept before it is answered: whoever has the answer finds it here.
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
        changed_.notify_all();
      }
      answer(fd, message);
    }
  }
  ::close(fd);
}

void StalledPeer::answer(int fd, const std::string& message) {
  Json::Value request;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  if (!reader->parse(message.data(), message.data() + message.size(), &request, nullptr) || !request.isObject()) return;
  Json::Value reply;
  for (const char* form : {"c", "g", "s"}) {
    if (!request[form].isObject() || request[form].empty()) continue;
    reply[form][request[form].getMemberNames().front()] = 0;
  }
  if (reply.isNull()) return;
  reply["id"] = request["id"];
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  const std::string text = Json::writeString(writer, reply) + "\r";
  ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}
