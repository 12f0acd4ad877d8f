#pragma once
// The waits and limits an upgrade client is built with; the defaults are the controller's.

#include <chrono>
#include <cstdint>

namespace velmora::internal {

struct UpgradeOptions {
  /// After a package: the wait for the first reply, then for the second.
  std::chrono::milliseconds firstReplyTimeout{std::chrono::seconds(50)};
  std::chrono::milliseconds secondReplyTimeout{std::chrono::seconds(10)};
  /// The wait for the reply to a backup request.
  std::chrono::milliseconds exportReplyTimeout{std::chrono::seconds(120)};
  /// The wait for the first bytes of the backup frame, then for each further batch of them.
  std::chrono::milliseconds backupFirstTimeout{std::chrono::seconds(10)};
  std::chrono::milliseconds backupMoreTimeout{std::chrono::seconds(5)};
  /// How long one chunk of an outgoing frame may take to leave.
  std::chrono::milliseconds chunkTimeout{std::chrono::seconds(30)};
  /// Largest backup frame taken, header included.
  std::uint64_t backupCap = 536870912;
};

}  // namespace velmora::internal
