#pragma once
// Captures what the library writes to its global log while it lives. Create it before any link
// starts and let it go after they stopped: the logger's sink list is not guarded.

#include <memory>
#include <string>

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const;
  bool contains(const std::string& piece) const { return text().find(piece) != std::string::npos; }

 private:
  struct Sink;
  std::shared_ptr<Sink> sink_;
};
