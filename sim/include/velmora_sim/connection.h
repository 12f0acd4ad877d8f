#pragma once
// One accepted connection of a simulator service, as handlers and tests see it.

#include <json/value.h>

#include <string>

namespace velmora_sim {

class Connection {
 public:
  virtual ~Connection() = default;
  /// Accept number on its service, from 1.
  virtual int number() const noexcept = 0;
  virtual bool isOpen() const noexcept = 0;
  /// The client's IP address as text.
  virtual const std::string& remoteAddress() const noexcept = 0;
  /// Sends one framed message after everything sent before. Any thread.
  virtual void send(const Json::Value& message) = 0;
  /// Sends bytes exactly as given. Any thread.
  virtual void sendRaw(std::string bytes) = 0;
  /// Closes the connection. Any thread.
  virtual void close() = 0;
};

}  // namespace velmora_sim
