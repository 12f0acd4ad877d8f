#pragma once
// Checks that the operations sending a value run before building the request. jsoncpp writes NaN
// as null and infinity as 1e+9999, and a pose built from a matrix has zero `trans`/`rpy`, so
// without these checks such values would reach the controller as something else.

#include <velmora/commands.h>
#include <velmora/types.h>

#include <array>
#include <cstddef>
#include <vector>

namespace velmora::internal {

/// True when `trans` and `rpy` are all zero while `pos` is not: the frame exists only as a
/// matrix, which the JSON forms never carry. Senders refuse such a pose with 260.
bool isMatrixOnly(const Frame& frame) noexcept;
bool isMatrixOnly(const CartesianPosition& pose) noexcept;

// True when every double the value holds is finite. Senders refuse other values with 259.
bool allFinite(double value) noexcept;
bool allFinite(const std::vector<double>& values) noexcept;
bool allFinite(const Frame& frame) noexcept;
bool allFinite(const CartesianPosition& pose) noexcept;
bool allFinite(const CartesianPosition::Offset& offset) noexcept;
bool allFinite(const JointPosition& joints) noexcept;
bool allFinite(const Load& load) noexcept;
bool allFinite(const Toolset& toolset) noexcept;
bool allFinite(const MoveAbsJCommand& command) noexcept;
bool allFinite(const MoveJCommand& command) noexcept;
bool allFinite(const MoveLCommand& command) noexcept;
bool allFinite(const MoveCCommand& command) noexcept;
bool allFinite(const MoveCFCommand& command) noexcept;
bool allFinite(const MoveSPCommand& command) noexcept;
bool allFinite(const MoveWaitCommand& command) noexcept;

template <std::size_t N>
bool allFinite(const std::array<double, N>& values) noexcept {
  for (double v : values) {
    if (!allFinite(v)) return false;
  }
  return true;
}

/// Most external axes an arm carries (the controller names them "axis1" to "axis6").
inline constexpr std::size_t kMaxExternalAxes = 6;

// Whether the arrays a value would send fit an arm of `joints` joints with its external axes:
// joint values (external ones included) at most `joints` + `kMaxExternalAxes`, a pose's external
// values at most `kMaxExternalAxes`. `joints` 0 (not known) bounds only the poses. Senders refuse
// other values with 259: the controller has no use for them, and a million of them would go out
// as one line of a hundred megabytes.
bool fitsArm(const std::vector<double>& jointValues, std::size_t joints) noexcept;
bool fitsArm(const JointPosition& position, std::size_t joints) noexcept;
bool fitsArm(const CartesianPosition& pose, std::size_t joints) noexcept;
bool fitsArm(const MoveAbsJCommand& command, std::size_t joints) noexcept;
bool fitsArm(const MoveJCommand& command, std::size_t joints) noexcept;
bool fitsArm(const MoveLCommand& command, std::size_t joints) noexcept;
bool fitsArm(const MoveCCommand& command, std::size_t joints) noexcept;
bool fitsArm(const MoveSPCommand& command, std::size_t joints) noexcept;

/// Every element of a list (commands or poses).
template <typename T>
bool fitsArm(const std::vector<T>& values, std::size_t joints) noexcept {
  for (const T& value : values) {
    if (!fitsArm(value, joints)) return false;
  }
  return true;
}

/// Several values at once: `allFinite(target, speed, zone)`.
template <typename A, typename B, typename... Rest>
bool allFinite(const A& a, const B& b, const Rest&... rest) noexcept {
  return allFinite(a) && allFinite(b) && (allFinite(rest) && ...);
}

/// Every command of a list.
template <typename T>
bool allFinite(const std::vector<T>& commands) noexcept {
  for (const T& c : commands) {
    if (!allFinite(c)) return false;
  }
  return true;
}

}  // namespace velmora::internal
