#pragma once
// A state-stream subscription ("recipe") and the decoder of one packet under it. Kept apart
// from the socket so the decoder can be fed any buffer.
//
// Wire rule: a packet is the values of `ts`, `errors`, then every requested field in ascending
// byte order of its name, back to back, with no header, length or padding; multi-byte values
// little-endian, doubles IEEE 754, arrays in index order; a flag is set when its byte is not 0.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "network/state_stream/rt_field.h"

namespace velmora::internal {

/// Largest packet (and receive buffer); also the packet size before any recipe is set.
inline constexpr std::size_t kMaxRtPacketSize = 1052;

/// One subscription with the latest value of each of its fields. Not copyable: `slots` point
/// into `fields` (node-based, so the pointers survive rehashing).
struct RtRecipe {
  RtRecipe() = default;
  RtRecipe(const RtRecipe&) = delete;
  RtRecipe& operator=(const RtRecipe&) = delete;

  RtFieldTable fields;               // one entry per distinct name
  std::vector<std::string> order;    // packet order; a requested "ts" or "errors" comes twice
  std::vector<RtFieldValue*> slots;  // parallel to `order`
  std::set<std::string> requested;   // the names asked for, without the two leading ones
  std::size_t packetSize = kMaxRtPacketSize;
};

/// The recipe for `requested` on an arm with `axisCount` axes; null when a name is not in that
/// arm's state table or the packet would exceed 1052 bytes.
std::unique_ptr<RtRecipe> makeRtRecipe(const std::set<std::string>& requested, unsigned axisCount);

/// Decodes the fields of `recipe` in packet order from `packet`. Throws std::runtime_error
/// ("read form input stream error") when `size` ends inside a field, and RealtimeMotionException
/// for the first error flag set; the fields before the failing one keep their new values.
/// Allocates nothing on success.
void decodeRtPacket(RtRecipe& recipe, const std::uint8_t* packet, std::size_t size);

/// Reads exactly `count` bytes, unchanged, or throws std::runtime_error
/// ("read form input stream error").
void readStreamBytes(std::istream& in, char* destination, std::streamsize count);

}  // namespace velmora::internal
