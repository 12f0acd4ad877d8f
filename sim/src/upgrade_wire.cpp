#include "velmora_sim/upgrade_wire.h"

#include <json/writer.h>

#include <algorithm>

#include "velmora_sim/upgrade_md5.h"

namespace velmora_sim {

std::string upgradeFrameHeader(std::uint32_t payloadLength, std::uint8_t type) {
  std::string header(6, '\0');
  for (int i = 0; i < 4; ++i) header[i] = static_cast<char>(payloadLength >> (24 - 8 * i));
  header[4] = static_cast<char>(type);
  return header;
}

std::string upgradeFrame(std::uint8_t type, std::string_view payload) {
  std::string frame = upgradeFrameHeader(static_cast<std::uint32_t>(payload.size()), type);
  frame.append(payload);
  return frame;
}

std::string upgradeJsonFrame(const Json::Value& message) {
  static const Json::StreamWriterBuilder builder = [] {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    return b;
  }();
  return upgradeFrame(kUpgradeJson, Json::writeString(builder, message) + "\n");
}

std::string upgradeFilePayload(std::string_view file, std::string_view name, std::string_view digest) {
  std::string payload(3, '\0');
  payload.append(digest.empty() ? md5Digest(file) : std::string(digest));
  payload.push_back(static_cast<char>(name.size() >> 8));
  payload.push_back(static_cast<char>(name.size()));
  payload.append(name);
  payload.append(file);
  return payload;
}

std::string upgradeRecords(std::string_view bytes, std::size_t recordSize) {
  recordSize = std::clamp<std::size_t>(recordSize, 1, kMaxRecordBody);
  std::string out;
  out.reserve(bytes.size() + (bytes.size() / recordSize + 1) * 2);
  while (!bytes.empty()) {
    const std::size_t n = std::min(recordSize, bytes.size());
    out.push_back(static_cast<char>(n >> 8));
    out.push_back(static_cast<char>(n));
    out.append(bytes.substr(0, n));
    bytes.remove_prefix(n);
  }
  return out;
}

}  // namespace velmora_sim
