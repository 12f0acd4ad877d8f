#pragma once
// The simulator's own description of the state stream: which fields an arm publishes, how many
// bytes each takes, and the packet builder. Written from the wire description alone, so that a
// mistake in the library's decoder shows up against it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmora::sim {

/// Largest state packet the controller sends.
inline constexpr std::size_t kMaxStatePacket = 1052;

/// How one field travels: `count` values of `type`.
struct StateFieldShape {
  enum class Type { stamp, flags, doubles, byte };  // u64 LE; a byte per flag; f64 LE; one byte
  Type type;
  std::size_t count;
  std::size_t bytes() const { return type == Type::doubles || type == Type::stamp ? 8 * count : count; }
};

/// The values of one packet as an arm has them. Each slot feeds the fields of its meaning:
/// joints "q_m", "q_c"; jointVelocities "dq_m", "dq_c"; jointAccelerations "ddq_m", "ddq_c";
/// jointTorques "tau_m", "tau_c", "tau_filtered_m"; pose "pos_m", "pos_c" (row-major 4x4);
/// poseAbc "pos_abc_m"; poseVelocity "pos_vel_m", "pos_vel_c"; poseAcceleration "pos_acc_m",
/// "pos_acc_c"; elbow "psi_m", "psi_c". Every other field of a packet built from a sample is
/// zero.
struct StateSample {
  enum Slot {
    joints,
    jointVelocities,
    jointAccelerations,
    jointTorques,
    pose,
    poseAbc,
    poseVelocity,
    poseAcceleration,
    elbow,
    slotCount
  };
  std::uint64_t ts = 0;
  std::array<std::array<double, 16>, slotCount> values{};
};

/// The slot of a field, or -1 when no slot feeds it.
int stateSampleSlot(const std::string& name);

/// The shape of `name` on an arm with `axes` axes (5, 6, anything else is 7); nullopt when that
/// arm does not publish it.
std::optional<StateFieldShape> stateFieldShape(const std::string& name, unsigned axes);

/// Builds packets: `ts`, `errors`, then the configured names in ascending byte order (repeats
/// kept), each value little-endian with no header or padding.
/// Default values of packet number `seq`: `ts` = seq, every double = seq, every one-byte code =
/// seq mod 256, flags clear; from a sample instead: its values, and zero for fields it does not
/// feed. Fixed values per field replace either.
class StatePacketBuilder {
 public:
  /// False, with nothing changed, when a name is not published by such an arm or the packet
  /// would exceed kMaxStatePacket.
  bool configure(unsigned axes, const std::vector<std::string>& names);

  unsigned axes() const { return axes_; }
  std::size_t packetSize() const { return packetSize_; }
  /// The field names in packet order.
  const std::vector<std::string>& layout() const { return layout_; }
  /// Offset of the first occurrence of `name` in the packet; nullopt when absent.
  std::optional<std::size_t> offsetOf(const std::string& name) const;

  /// Fixed values of a field of doubles (cut or zero-filled to its count); false for a name this
  /// arm does not publish or another type.
  bool setDoubles(const std::string& name, const std::vector<double>& values);
  /// Fixed raw bytes of any field (cut or zero-filled to its size).
  bool setBytes(const std::string& name, const std::vector<std::uint8_t>& bytes);
  void clearFixedValues() { fixed_.clear(); }

  /// Writes packet number `seq` into `out` (resized to the packet size).
  void build(std::uint64_t seq, std::vector<std::uint8_t>& out) const;
  void build(const StateSample& sample, std::vector<std::uint8_t>& out) const;

 private:
  unsigned axes_ = 7;
  void build(std::uint64_t seq, const StateSample* sample, std::vector<std::uint8_t>& out) const;

  std::vector<std::string> layout_{"ts", "errors"};
  std::vector<int> slots_{-1, -1};  // per layout entry
  std::size_t packetSize_ = 28;
  std::map<std::string, std::vector<std::uint8_t>> fixed_;
};

}  // namespace velmora::sim
