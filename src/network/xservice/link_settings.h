#pragma once
// Process-wide settings of the controller links that tests shorten or move. Never changed by
// the library itself; the defaults are the controller's.

#include <atomic>
#include <chrono>

namespace velmora::internal {

struct LinkSettings {
  /// The controller's file service port, used by every `XService::connect`.
  std::atomic<int> fileLinkPort{7777};
  /// How long a file transfer waits for the controller's verdict.
  std::atomic<std::chrono::milliseconds> fileVerdictTimeout{std::chrono::seconds(300)};
  /// How long the get, set and announcement forms wait for their reply.
  std::atomic<std::chrono::milliseconds> defaultRequestWait{std::chrono::seconds(10)};
};

LinkSettings& linkSettings() noexcept;

}  // namespace velmora::internal
