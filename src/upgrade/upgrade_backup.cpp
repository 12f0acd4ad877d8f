#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <velmora/error.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/json_read.h"
#include "common/md5.h"
#include "upgrade/upgrade_impl.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

const char* itemName(BackupItem item) noexcept {
  switch (item) {
    case BackupItem::customConfig:
      return "interactive";
    case BackupItem::robotConfig:
    case BackupItem::robotConfigWithoutBodyParams:
      return "robot_cfg";
    case BackupItem::controllerLog:
      return "log";
    case BackupItem::systemLog:
      return "syslog";
    case BackupItem::rlProgram:
      return "project";
    case BackupItem::backupRlProgram:
      return "historical_engineering";
    case BackupItem::sdkRecordPath:
      return "sdk_path";
  }
  return "";  // the controller's "result" reports an unknown item
}

Json::Value exportRequest(const std::set<BackupItem>& items) {
  Json::Value request(Json::objectValue);
  Json::Value& list = request["export"] = Json::Value(Json::arrayValue);
  for (const BackupItem item : items) {
    list.append(itemName(item));
    if (item == BackupItem::robotConfigWithoutBodyParams) {
      Json::Value exclude(Json::objectValue);
      exclude["exclude"].append("local_cfg");
      list.append(exclude);
    }
  }
  request["send_file"] = true;
  return request;
}

// Writes `bytes` to "<file>.part" beside the file, then renames it over the file: an older
// backup at the path survives every failure, and a link at the path is followed (to a regular
// file), never replaced. -280 when the part cannot be created or the path names no regular
// file (a device or a folder is never written, let alone removed), 270 when it cannot be written
// whole: a truncated backup is worse than none, as it would look complete.
int writeFile(const std::string& path, std::string_view bytes) {
  namespace fs = std::filesystem;
  std::error_code fsError;
  fs::path target(path);
  if (fs::exists(target, fsError)) {
    target = fs::canonical(target, fsError);
    if (fsError || !fs::is_regular_file(target, fsError)) return -280;
  } else if (fs::is_symlink(fs::symlink_status(target, fsError))) {
    return -280;  // a link to nothing: where it would lead is no place to create files
  }
  const std::string part = target.string() + ".part";
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(part.c_str(), kFlags, 0666);
  if (fd < 0 && errno == EEXIST) {
    // The part of an export that was cut short is ours to replace; anything else there is not.
    struct stat status {};
    if (::lstat(part.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return -280;
    ::unlink(part.c_str());
    fd = ::open(part.c_str(), kFlags, 0666);
  }
  if (fd < 0) return -280;
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  // On disk before the rename: a crash must not leave an empty file where the old backup was.
  const bool whole = written == bytes.size() && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !whole || ::rename(part.c_str(), target.c_str()) != 0) {
    ::unlink(part.c_str());  // only the part this call created
    return 270;
  }
  return 0;
}

}  // namespace

std::error_code BaseUpgrade::Impl::runExport(const std::string& localFilePath, const std::set<BackupItem>& items) {
  if (link_.linkState() != internal::UpdateManagerTcp::kConnected) return makeErrorCode(256);
  std::error_code ec = sendJson(exportRequest(items));
  if (ec) return ec;
  Json::Value reply;
  ec = receiveReply(reply, options_.exportReplyTimeout);
  if (ec) return ec;
  const Json::Value& result = internal::member(reply, "result");
  const Json::Value& word = internal::member(reply, "reply");
  if (!word.isString() || word.asString() != "export" || !result.isObject()) return makeErrorCode(-257);

  // No file comes unless "size" is "ok"; an item not "ok" makes the backup partial, which is
  // reported only once the file itself has arrived.
  bool fileComing = false;
  bool partial = false;
  for (const auto& name : result.getMemberNames()) {
    const Json::Value& value = result[name];
    if (name == "size") {
      fileComing = value.isString() && value.asString() == "ok";
    } else if (value.isString() && value.asString() != "ok") {
      partial = true;
    }
  }
  if (!fileComing) return makeErrorCode(270);
  ec = receiveBackup(localFilePath);
  if (ec) return ec;
  return makeErrorCode(partial ? 271 : 0);
}

std::error_code BaseUpgrade::Impl::receiveBackup(const std::string& localFilePath) {
  const std::uint64_t cap = options_.backupCap;
  const std::uint64_t maxPayload = cap > internal::kFrameHeader ? cap - internal::kFrameHeader : 0;
  const FrameWait wait{{internal::kPackageFrame, internal::kNameOffset, maxPayload},
                       options_.backupFirstTimeout,
                       options_.backupMoreTimeout,
                       270};
  std::error_code ec = receiveFrame(wait);
  if (ec) return makeErrorCode(ec.value() == 256 || ec.value() == 263 ? 270 : ec.value());

  internal::BackupFile file;
  if (!internal::splitBackupPayload(reader_.payload(), file)) return makeErrorCode(270);
  internal::Md5Hash hash{std::string()};
  hash.update(file.bytes.data(), file.bytes.size());
  if (std::memcmp(hash.digest(), file.digest.data(), 16) != 0) return makeErrorCode(270);
  return makeErrorCode(writeFile(localFilePath, file.bytes));
}

}  // namespace velmora
