#include <velmora/error.h>

#include <cstdio>
#include <cstring>
#include <fstream>

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

// -280 when the file cannot be opened, 270 when it cannot be written whole.
int writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) return -280;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    // A truncated backup is worse than none: it would look complete.
    std::remove(path.c_str());
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
