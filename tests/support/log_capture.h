#pragma once
// Captures what the library writes to its global log while it lives. Create it before any link
// starts and let it go after they stopped: the logger's sink list is not guarded.

#include <spdlog/sinks/sink.h>

#include <memory>
#include <string>

// Adds a sink to the global log, or takes it off again. The library's periodic flush walks the
// sink list from its own thread, so the first call stops that flush for the rest of the process.
void attachToGlobalLog(const std::shared_ptr<spdlog::sinks::sink>& sink);
void detachFromGlobalLog(const std::shared_ptr<spdlog::sinks::sink>& sink);

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
