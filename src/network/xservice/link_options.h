#pragma once
// The waits and ports a command link is built with; the defaults are the controller's.

#include <chrono>

namespace velmora::internal {

struct LinkOptions {
  /// How long a request waits for its reply unless the caller gives its own wait.
  std::chrono::milliseconds requestWait{std::chrono::seconds(10)};
  /// The controller's file service port, opened beside the command link.
  int fileLinkPort = 7777;
  /// How long a file transfer waits for the controller's verdict.
  std::chrono::milliseconds fileVerdictWait{std::chrono::seconds(300)};
};

}  // namespace velmora::internal
