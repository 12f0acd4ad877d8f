#pragma once
// Flat forms of the fixed-size records that cross the flat C interface as double arrays, and the
// check of fixed-size arrays (joints, 6-vectors). Layouts are those of native/velmora_c.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <velmora/robot_records.h>
#include <velmora/types.h>

namespace velmora::internal {

inline constexpr std::size_t kFrameValues = 6;
inline constexpr std::size_t kLoadValues = 7;
inline constexpr std::size_t kToolsetValues = 2 * kFrameValues + kLoadValues;
inline constexpr std::size_t kCalibrationValues = kFrameValues + 3;
inline constexpr std::size_t kKeypadFlags = 7;

Frame frameFromValues(const double* values);
void frameToValues(const Frame& frame, double* values);
Load loadFromValues(const double* values);
void loadToValues(const Load& load, double* values);
Toolset toolsetFromValues(const double* values);
void toolsetToValues(const Toolset& toolset, double* values);
void calibrationToValues(const FrameCalibrationResult& result, double* values);
void keypadToFlags(const KeyPadState& state, std::uint8_t* flags);

/// A fixed-size array from `count` values: false for fewer than N (the export then reports 259
/// and sends nothing, since zeros would be sent as valid limits, sensitivities or stiffnesses);
/// values past N are cut.
template <std::size_t N>
bool fixedArray(const double* values, std::int32_t count, std::array<double, N>& out) {
  if (values == nullptr || count < 0 || static_cast<std::size_t>(count) < N) return false;
  for (std::size_t i = 0; i < N; ++i) out[i] = values[i];
  return true;
}

/// Joint values of any count; a null pointer or a negative count gives none.
std::vector<double> valuesOf(const double* values, std::int32_t count);

}  // namespace velmora::internal
