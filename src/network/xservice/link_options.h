#pragma once
// The waits and ports a robot's links are built with; the defaults are the controller's.

#include <chrono>

namespace velmora::internal {

struct LinkOptions {
  /// How long a request waits for its reply unless the caller gives its own wait.
  std::chrono::milliseconds requestWait{std::chrono::seconds(10)};
  /// The controller's file service port, opened beside the command link.
  int fileLinkPort = 7777;
  /// How long a file transfer waits for the controller's verdict.
  std::chrono::milliseconds fileVerdictWait{std::chrono::seconds(300)};
  /// How long the state stream waits for its first packet after a start.
  std::chrono::milliseconds firstPacketWait{std::chrono::seconds(3)};
};

}  // namespace velmora::internal
