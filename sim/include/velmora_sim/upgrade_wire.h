#pragma once
// The upgrade service's wire rules as the controller sees them. A frame is a 4-byte big-endian
// payload length P, a type byte (1 package or file, 2 JSON), a zero byte and P payload bytes;
// clients send frames as they are, the service cuts what it sends into records of a 2-byte
// big-endian length and that many bytes. A package or backup payload is 0 0 0, the file's MD5,
// a 2-byte name length N, the name and the file bytes.

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora_sim {

inline constexpr std::uint8_t kUpgradePackage = 1;
inline constexpr std::uint8_t kUpgradeJson = 2;
inline constexpr std::size_t kMaxRecordBody = 65535;

/// The 6 header bytes of a frame that announces `payloadLength` bytes of `type`.
std::string upgradeFrameHeader(std::uint32_t payloadLength, std::uint8_t type);
/// A whole frame.
std::string upgradeFrame(std::uint8_t type, std::string_view payload);
/// A JSON frame: compact JSON text ended by a line feed.
std::string upgradeJsonFrame(const Json::Value& message);
/// A package or backup payload; `digest` (16 bytes) is the file's MD5 unless given.
std::string upgradeFilePayload(std::string_view file, std::string_view name, std::string_view digest = {});
/// `bytes` cut into records of at most `recordSize` (1..65535) bytes each.
std::string upgradeRecords(std::string_view bytes, std::size_t recordSize = kMaxRecordBody);

}  // namespace velmora_sim
