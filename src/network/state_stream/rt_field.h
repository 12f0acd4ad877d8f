#pragma once
// Real-time field tables: every field the controller can publish in its state stream (one table
// per arm size) or accept as a real-time command, each mapped to the zero value of its type.
// The alternative of a value alone decides how many bytes the field takes in a packet.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <variant>

namespace velmora::internal {

/// A field value. The index of each alternative is part of the wire rule (it sizes and decodes
/// the field), so the order never changes: 0 flag, 1 double, 2 byte, 3 time stamp, 4..7 arrays
/// of 5, 6, 7 and 16 doubles, 8 the 20 motion error flags, 9 the 7 keypad keys.
using RtFieldValue =
    std::variant<bool, double, std::uint8_t, std::uint64_t, std::array<double, 5>, std::array<double, 6>,
                 std::array<double, 7>, std::array<double, 16>, std::array<bool, 20>, std::array<bool, 7>>;

/// Field name -> zero value of its type.
using RtFieldTable = std::unordered_map<std::string, RtFieldValue>;

inline constexpr std::size_t kRtFieldKinds = std::variant_size_v<RtFieldValue>;

/// Bytes that a value of alternative `index` takes in a packet; 0 for an index out of range.
constexpr std::size_t rtFieldSize(std::size_t index) noexcept {
  constexpr std::size_t sizes[kRtFieldKinds] = {1, 8, 1, 8, 40, 48, 56, 128, 20, 7};
  return index < kRtFieldKinds ? sizes[index] : 0;
}

inline std::size_t rtFieldSize(const RtFieldValue& value) noexcept { return rtFieldSize(value.index()); }

/// The tables. Built on first use (so a robot made during static initialisation still finds
/// them), never changed afterwards; safe to read from any thread.
const RtFieldTable& rtCommandFields();  // 7 fields, 178 bytes
const RtFieldTable& rtStateFields7();   // 35 fields, 1589 bytes
const RtFieldTable& rtStateFields6();   // 35 fields, 1477 bytes
const RtFieldTable& rtStateFields5();   // 31 fields, 1222 bytes

/// The state table of an arm: 6 and 5 axes have their own, every other count uses the 7-axis one.
const RtFieldTable& rtStateFieldsFor(unsigned axisCount);

}  // namespace velmora::internal
