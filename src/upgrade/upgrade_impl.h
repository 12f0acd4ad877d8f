#pragma once
// The private part of BaseUpgrade: the link, the frame reader and the operations' steps.

#include <json/value.h>
#include <velmora/upgrade.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "upgrade/update_manager_tcp.h"
#include "upgrade/upgrade_frames.h"
#include "upgrade/upgrade_options.h"

namespace velmora {

class VELMORA_LOCAL BaseUpgrade::Impl {
 public:
  /// Frames go out in chunks of at most this many bytes, each waited for, so a package of any
  /// size leaves without a copy of it being queued.
  static constexpr std::size_t kChunk = 10240;
  /// Largest JSON reply taken; replies are a few dozen bytes.
  static constexpr std::uint64_t kMaxReplyPayload = 1024 * 1024;

  explicit Impl(std::string remote = {}, const internal::UpgradeOptions& options = {});
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  std::string remote() const;
  const internal::UpgradeOptions& options() const noexcept { return options_; }
  /// Stops the link and keeps `remote` for the next `connect`.
  void assignRemote(const std::string& remote);

  // Each runs under the busy mark: -320 while another one runs on this object.
  /// Connects to the stored address, or to `*newRemote` after storing it: 256, 267.
  std::error_code connect(const std::string* newRemote);
  std::error_code upgrade(const std::string& packagePath);
  std::error_code exportBackup(const std::string& localFilePath, const std::set<BackupItem>& items);

 private:
  /// How to wait for one frame of the service.
  struct FrameWait {
    internal::FrameRule rule;
    std::chrono::milliseconds first;  ///< for the first bytes of the frame
    std::chrono::milliseconds more;   ///< for each further batch; zero: `first` bounds the whole frame
    int badLength;                    ///< the code for a length outside the rule
  };

  std::error_code connectLink(const std::string* newRemote);
  std::error_code runUpgrade(const std::string& packagePath);
  std::error_code runExport(const std::string& localFilePath, const std::set<BackupItem>& items);
  std::error_code sendFrame(const std::uint8_t* frame, std::size_t size);
  std::error_code sendJson(const Json::Value& request);
  /// Waits for the next frame into `reader_`: 256/263 from the waits, -257 for another type,
  /// `wait.badLength` for a refused length. A failure inside a frame stops the link, as the
  /// stream is then out of step.
  std::error_code receiveFrame(const FrameWait& wait);
  /// The next reply frame, whatever its type byte, read as JSON: -257 when it is no object (the
  /// frame is consumed, the link kept).
  std::error_code receiveReply(Json::Value& reply, std::chrono::milliseconds timeout);
  std::error_code receiveBackup(const std::string& localFilePath);
  /// Forgets received bytes, so only what answers the next request is read as its answer. A
  /// reply still owed by an exchange that ended early is first waited for and taken whole.
  void clearQueue();
  /// Notes that the exchange just ended owes `replies` more, due within `within`.
  void expectStaleReplies(int replies, std::chrono::milliseconds within);

  const internal::UpgradeOptions options_;
  std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
  mutable std::mutex remoteMutex_;
  std::string remote_;
  internal::UpdateManagerTcp link_;
  internal::FrameReader reader_;
  std::vector<char> taken_;  // bytes just taken from the link
  // Replies of an earlier exchange still to come, and until when they may come.
  int staleReplies_ = 0;
  std::chrono::steady_clock::time_point staleUntil_;
};

}  // namespace velmora
