#pragma once
// The private state of a force-control object and what every force-control operation shares:
// range checks first (258 and an error line, nothing sent), one "c" request under "eci.fc." +
// suffix, the controller's code taken from the reply, one result line in the global log and
// then the robot log. The controller holds the force controller; the library keeps only the
// condition wait time.

#include <json/value.h>
#include <spdlog/common.h>
#include <velmora/force_control.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "common/reply_read.h"
#include "robot/operation_frame.h"

namespace velmora {

class VELMORA_LOCAL BaseForceControl::Impl {
 public:
  explicit Impl(std::shared_ptr<internal::XService> commandLink) : link(std::move(commandLink)) {}
  /// A copy over the same link with the wait time in force now.
  Impl(const Impl& other) : link(other.link), conditionWaitNs(other.conditionWaitNs.load()) {}
  Impl& operator=(const Impl&) = delete;

  /// The wait of `waitCondition`.
  std::chrono::nanoseconds conditionWait() const noexcept { return std::chrono::nanoseconds(conditionWaitNs.load()); }
  /// Takes `candidate` when it is shorter than the wait in force, never a longer one; gives the
  /// wait in force afterwards.
  std::chrono::nanoseconds lowerConditionWait(std::chrono::nanoseconds candidate) noexcept;

  /// Shared with the robot and every other force-control object; keeps the link alive after the
  /// robot is gone.
  std::shared_ptr<internal::XService> link;
  /// Atomic: condition setters and `waitCondition` may run on different threads.
  std::atomic<std::int64_t> conditionWaitNs{std::chrono::nanoseconds(std::chrono::seconds(600)).count()};
};

namespace internal {

/// Inside a range, both ends included; false for NaN, which no controller value can mean.
inline bool inRange(double value, double lower, double upper) noexcept { return lower <= value && value <= upper; }

/// Error level for a result line of an argument refused before anything was sent (259, 260),
/// info level otherwise.
inline spdlog::level::level_enum resultLevel(bool refused) noexcept {
  return refused ? spdlog::level::err : spdlog::level::info;
}

/// Sends `value` under "eci.fc." + `suffix` on `link` and waits up to `timeout` (the link's request wait when none);
/// `ec` is the link's code, else the controller's (`checkErrorReply`).
void sendFcRequest(XService& link, const char* suffix, const Json::Value& value, std::error_code& ec,
                   std::optional<std::chrono::nanoseconds> timeout = std::nullopt);

/// The controller's verdict on a force-control request: a bare integer is the code; an object
/// with "error" gives that member (257 when it is not an integer); anything else leaves `ec`.
void checkErrorReply(const Json::Value& reply, std::error_code& ec) noexcept;

/// {"cmd": cmd, "param": {"values": [the values as reals]}}.
Json::Value valuesCommand(const char* cmd, const double* values, std::size_t count);

/// The limit operations of "eci.fc.monitor": one range for every element, except the Cartesian
/// control velocity, whose last three elements have their own.
enum class FcLimit {
  cartesianMaxVel,
  cartesianControlMaxVel,
  cartesianControlMaxWrench,
  jointMaxVel,
  jointMaxMomentum,
  jointMaxEnergy,
  jointControlMaxVel,
  jointControlMaxTorque,
  gain,
  friction,
};
/// Checks every element against the limit's range, then sends it under "eci.fc.monitor".
void setFcLimit(BaseForceControl::Impl* fc, FcLimit limit, const double* values, std::size_t count,
                std::error_code& ec) noexcept;
/// A "set" command of N values without range ("joint_stiff", "joint_trq"): 259 for a value
/// that is not finite, nothing sent; the result line "uid: {} | <name> [values] ({})".
void setFcValues(BaseForceControl::Impl* fc, const char* cmd, const char* name, const double* values, std::size_t count,
                 std::error_code& ec) noexcept;

/// "eci.fc.end_torque." + the frame's name, or null for a frame that has none.
const char* endTorqueKey(FrameType type) noexcept;
/// Reads "joint" and "external" (`count` values each), "cart"."force" and "cart"."torque"
/// (3 each), in that order, each output written only when its member was read. A bare code is
/// the code (0, which carries no values, 261); 261 for a missing, short or non-numeric array
/// (null counts as missing); 257 for a reply or "cart" of another kind. False with `ec` set
/// at the first failure.
bool readEndTorque(const Json::Value& reply, double* joint, double* external, std::size_t count,
                   std::array<double, 3>& cartTorque, std::array<double, 3>& cartForce, std::error_code& ec) noexcept;
/// The whole `getEndTorque`: 255, 259 for a frame without a key (outputs untouched), the "g"
/// request, then `readEndTorque`. No log line.
void getFcEndTorque(BaseForceControl::Impl* fc, FrameType type, double* joint, double* external, std::size_t count,
                    std::array<double, 3>& cartTorque, std::array<double, 3>& cartForce, std::error_code& ec) noexcept;

}  // namespace internal
}  // namespace velmora
