#pragma once
// Process-wide waits and limits of the upgrade client, which tests shorten. Never changed by the
// library itself; the defaults are the controller's.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace velmora::internal {

struct UpgradeSettings {
  /// After a package: the wait for the first reply, then for the second.
  std::atomic<std::chrono::milliseconds> firstReplyTimeout{std::chrono::seconds(50)};
  std::atomic<std::chrono::milliseconds> secondReplyTimeout{std::chrono::seconds(10)};
  /// The wait for the reply to a backup request.
  std::atomic<std::chrono::milliseconds> exportReplyTimeout{std::chrono::seconds(120)};
  /// The wait for the first bytes of the backup frame, then for each further batch of them.
  std::atomic<std::chrono::milliseconds> backupFirstTimeout{std::chrono::seconds(10)};
  std::atomic<std::chrono::milliseconds> backupMoreTimeout{std::chrono::seconds(5)};
  /// How long one chunk of an outgoing frame may take to leave.
  std::atomic<std::chrono::milliseconds> chunkTimeout{std::chrono::seconds(30)};
  /// Largest backup frame taken, header included.
  std::atomic<std::uint64_t> backupCap{536870912};
};

UpgradeSettings& upgradeSettings() noexcept;

}  // namespace velmora::internal
