#pragma once
// Helpers of the export groups of robot operations (I/O, state, projects, frames, axes,
// collaborative extras, tool-end bus): the robot seen as the class an operation belongs to, and
// the refusal of arguments before anything is sent.

#include <velmora/cobot.h>
#include <velmora/error.h>
#include <velmora/robots.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "native/abi_records.h"
#include "native/robot_handle.h"

namespace velmora::internal {

/// Code 259: an argument refused before any request.
inline constexpr int kArgumentInvalid = 259;

/// A path recording runs this long, in seconds; the managed operation takes no duration.
inline constexpr int kRecordDurationSeconds = 30;

/// Reports code 259 for arguments refused before anything was sent.
inline void refuseArgument(vel_err* ec) { required(ec, "ec") = vel_err{kArgumentInvalid, VEL_CATEGORY_SDK}; }

/// Values of a variable-size array argument; null or a count of 0 gives none, a null pointer with
/// a positive count or a negative count is refused.
template <class T>
std::vector<T> arrayArg(const T* values, std::int32_t count) {
  if (count < 0 || (values == nullptr && count > 0)) throw std::invalid_argument("invalid array argument");
  if (count == 0) return {};
  return std::vector<T>(values, values + count);
}

/// Checks the selector of an export that serves `count` operations of one shape; another value
/// is refused before anything is sent.
inline void selectorArg(std::int32_t which, std::size_t count) {
  if (which < 0 || static_cast<std::size_t>(which) >= count) {
    throw std::invalid_argument("unknown selector " + std::to_string(which));
  }
}

/// An operation of `BaseRobot` that reports only through its code.
template <class Operation>
std::int32_t baseCall(vel_robot* robot, vel_err* ec, Operation&& operation) noexcept {
  return abiCall([&] { reportCode(ec, [&](std::error_code& code) { operation(baseRobot(robot), code); }); });
}

/// Calls `f` with the robot as its `Cobot<N>`; an industrial robot is refused with
/// std::invalid_argument (the managed classes never ask for it).
template <class F>
void visitCobot(vel_robot* handle, F&& f) {
  visitRobot(handle, [&](auto& robot) {
    using Robot = std::decay_t<decltype(robot)>;
    if constexpr (std::is_base_of_v<BaseCobot, Robot>) {
      f(robot);
    } else {
      throw std::invalid_argument("not a collaborative robot");
    }
  });
}

/// An operation of `BaseCobot` that reports only through its code.
template <class Operation>
std::int32_t cobotCall(vel_robot* robot, vel_err* ec, Operation&& operation) noexcept {
  return abiCall([&] {
    reportCode(ec, [&](std::error_code& code) {
      visitCobot(robot, [&](auto& cobot) { operation(static_cast<BaseCobot&>(cobot), code); });
    });
  });
}

/// An operation of the robot's most-derived class that reports only through its code.
template <class Operation>
std::int32_t armCall(vel_robot* robot, vel_err* ec, Operation&& operation) noexcept {
  return abiCall([&] {
    reportCode(ec, [&](std::error_code& code) { visitRobot(robot, [&](auto& arm) { operation(arm, code); }); });
  });
}

/// An operation of a collaborative robot's most-derived class that reports only through its code.
template <class Operation>
std::int32_t cobotArmCall(vel_robot* robot, vel_err* ec, Operation&& operation) noexcept {
  return abiCall([&] {
    reportCode(ec, [&](std::error_code& code) { visitCobot(robot, [&](auto& cobot) { operation(cobot, code); }); });
  });
}

/// The joint count of a robot class.
template <class Robot>
constexpr std::size_t jointsOf() {
  return std::tuple_size_v<decltype(std::declval<Robot&>().jointTorque(std::declval<std::error_code&>()))>;
}

/// Texts from a list blob of the managed side.
inline std::vector<std::string> textsArg(const std::uint8_t* blob, std::int64_t length) {
  if (blob == nullptr) return {};
  return decoded<std::vector<std::string>>(blob, length);
}

/// A list of doubles as a blob.
inline std::string doublesBlob(const double* values, std::size_t n) {
  BlobWriter w;
  w.count(n);
  for (std::size_t i = 0; i < n; ++i) w.f64(values[i]);
  return w.take();
}

}  // namespace velmora::internal
