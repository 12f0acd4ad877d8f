#pragma once
// Frames of the upgrade service, apart from any socket: a 4-byte big-endian payload length P, a
// type byte (1 package or file, 2 JSON), a zero byte, then P payload bytes. The client sends
// frames as they are; the service cuts its frames into records (see RecordFramer), so the
// reader below rebuilds them from the joined record bodies, wherever reads and records end.

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::internal {

inline constexpr std::size_t kFrameHeader = 6;
inline constexpr std::uint8_t kPackageFrame = 1;
inline constexpr std::uint8_t kJsonFrame = 2;
/// Package and backup payload: 0 0 0, the file's MD5 (16 bytes), the name length N (2 bytes),
/// the name, then the file bytes.
inline constexpr std::size_t kDigestOffset = 3;
inline constexpr std::size_t kNameLengthOffset = 19;
inline constexpr std::size_t kNameOffset = 21;
/// The backup name is kept to this many bytes; it is never used.
inline constexpr std::size_t kMaxBackupName = 256;

/// Writes the header of a frame of `payloadLength` bytes (at most 2^32-1) into `out`.
void writeFrameHeader(std::uint8_t* out, std::uint64_t payloadLength, std::uint8_t type) noexcept;

/// What the next frame must be. Lengths are judged as soon as the header is in, before anything
/// is allocated for the payload.
struct FrameRule {
  /// The type byte the frame must carry; none: any (the service's replies are read whatever
  /// type they name).
  std::optional<std::uint8_t> type;
  std::uint64_t minPayload = 0;
  std::uint64_t maxPayload = 0;
};

enum class FrameState {
  waiting,    ///< more bytes needed
  complete,   ///< `payload` holds the frame's payload
  wrongType,  ///< the header names another type
  badLength,  ///< the header's length is outside the rule
};

/// Rebuilds frames from the service's stream. Bytes past the expected frame are kept for the
/// next one; after a refused header the stream is out of step and further bytes are dropped.
class FrameReader {
 public:
  /// Forgets every byte and the expected frame; gives back a large payload buffer.
  void reset() noexcept;
  /// Starts on the next frame under `rule`, reading the bytes kept from before first.
  FrameState expect(const FrameRule& rule);
  /// Takes stream bytes.
  FrameState feed(const char* data, std::size_t size);

  FrameState state() const noexcept { return state_; }
  /// Whether bytes of the expected frame have been read.
  bool started() const noexcept { return headerFill_ > 0; }
  std::uint8_t type() const noexcept { return header_[4]; }
  std::uint64_t payloadLength() const noexcept { return payloadLength_; }
  /// The payload of a complete frame.
  std::string_view payload() const noexcept { return {payload_.data(), payload_.size()}; }
  /// Bytes kept for the next frame.
  std::size_t kept() const noexcept { return kept_.size(); }

 private:
  FrameRule rule_;
  FrameState state_ = FrameState::waiting;
  bool expecting_ = false;
  std::uint8_t header_[kFrameHeader] = {};
  std::size_t headerFill_ = 0;
  std::uint64_t payloadLength_ = 0;
  std::vector<char> payload_;
  std::vector<char> kept_;
};

/// Parses a JSON reply payload; null when it is not JSON.
Json::Value parseReplyPayload(std::string_view payload);

/// A backup payload taken apart; views into the payload.
struct BackupFile {
  std::string_view digest;  ///< 16 bytes
  std::string name;         ///< at most kMaxBackupName bytes
  std::string_view bytes;
};

/// Splits a backup payload; false when it is shorter than its header and name say.
bool splitBackupPayload(std::string_view payload, BackupFile& out);

}  // namespace velmora::internal
