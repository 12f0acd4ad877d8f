#include <velmora/error.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "common/globals.h"
#include "common/json_read.h"
#include "common/md5.h"
#include "upgrade/upgrade_impl.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

// Payload bytes in front of the file: 0 0 0, MD5, name length, the fixed name.
std::size_t packageHeader() { return internal::kNameOffset + internal::upgradePackageName.size(); }

// Reads the package straight into its frame, behind the frame and payload headers, so the
// package is held once: -280 unreadable, -281 empty, -283 beyond the 32-bit payload length.
std::error_code readPackage(const std::string& path, std::vector<std::uint8_t>& frame) {
  namespace fs = std::filesystem;
  std::error_code fsError;
  if (!fs::is_regular_file(path, fsError)) return makeErrorCode(-280);
  const std::uintmax_t size = fs::file_size(path, fsError);
  if (fsError) return makeErrorCode(-280);
  if (size == 0) return makeErrorCode(-281);
  const std::size_t offset = internal::kFrameHeader + packageHeader();
  if (size > std::numeric_limits<std::uint32_t>::max() - packageHeader()) return makeErrorCode(-283);
  frame.resize(offset + static_cast<std::size_t>(size));
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return makeErrorCode(-280);
  in.read(reinterpret_cast<char*>(frame.data() + offset), static_cast<std::streamsize>(size));
  if (static_cast<std::uintmax_t>(in.gcount()) != size) return makeErrorCode(-280);
  return makeErrorCode(0);
}

void writePackageHeader(std::vector<std::uint8_t>& frame) {
  const std::size_t offset = internal::kFrameHeader + packageHeader();
  const std::size_t fileSize = frame.size() - offset;
  internal::writeFrameHeader(frame.data(), frame.size() - internal::kFrameHeader, internal::kPackageFrame);
  std::uint8_t* payload = frame.data() + internal::kFrameHeader;
  std::memset(payload, 0, internal::kDigestOffset);
  internal::Md5Hash hash{std::string()};
  hash.update(frame.data() + offset, fileSize);
  std::memcpy(payload + internal::kDigestOffset, hash.digest(), 16);
  const std::size_t nameLength = internal::upgradePackageName.size();
  payload[internal::kNameLengthOffset] = static_cast<std::uint8_t>(nameLength >> 8);
  payload[internal::kNameLengthOffset + 1] = static_cast<std::uint8_t>(nameLength);
  std::memcpy(payload + internal::kNameOffset, internal::upgradePackageName.data(), nameLength);
}

// The verdict of one reply to a package: each is judged as it comes, so a refusal is reported
// at once instead of after a wait for a second reply that will not come.
int judgeReply(const Json::Value& reply, bool& sawTransfer, bool& sawUpgrade) {
  if (!sawTransfer && internal::hasMember(reply, "s")) {
    sawTransfer = true;
    bool confirmed = false;
    internal::readBool(internal::member(internal::member(reply, "s"), "file_transfer"), confirmed);
    return confirmed ? 0 : 268;
  }
  if (!sawUpgrade && internal::hasMember(reply, "upgrade")) {
    sawUpgrade = true;
    std::string result;
    return internal::readString(internal::member(reply, "upgrade"), result) && result == "ok" ? 0 : 269;
  }
  return -257;
}

}  // namespace

std::error_code BaseUpgrade::Impl::runUpgrade(const std::string& packagePath) {
  if (link_.linkState() != internal::UpdateManagerTcp::kConnected) return makeErrorCode(256);
  std::error_code ec;
  {
    std::vector<std::uint8_t> frame;
    ec = readPackage(packagePath, frame);
    if (ec) return ec;
    writePackageHeader(frame);
    clearQueue();
    ec = sendFrame(frame.data(), frame.size());
    if (ec) return ec;
  }  // the package is not held through the waits
  bool sawTransfer = false;
  bool sawUpgrade = false;
  bool first = true;
  for (const auto timeout : {options_.firstReplyTimeout, options_.secondReplyTimeout}) {
    Json::Value reply;
    ec = receiveReply(reply, timeout);
    if (!ec) ec = makeErrorCode(judgeReply(reply, sawTransfer, sawUpgrade));
    if (ec) {
      // Ended at its first reply: the controller's second one is still on its way, and the next
      // call takes it off the link before sending.
      if (first && ec.value() != 256 && ec.value() != 263) expectStaleReplies(1, options_.secondReplyTimeout);
      return ec;
    }
    first = false;
  }
  return makeErrorCode(0);
}

}  // namespace velmora
