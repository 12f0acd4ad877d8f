// The real-time state stream and the state queries.

#include <chrono>
#include <string>
#include <type_traits>
#include <vector>

#include "native/abi_records.h"
#include "native/operation_calls.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

template <class Robot>
constexpr bool kHasStream = !std::is_same_v<Robot, Sorn3Robot> && !std::is_same_v<Robot, Sorn4Robot>;

}  // namespace

extern "C" {

int32_t vel_robot_start_receive_state(vel_robot* robot, int64_t interval_ns, const uint8_t* fields,
                                      int64_t fields_length) noexcept {
  return abiCall([&] {
    const std::vector<std::string> names = textsArg(fields, fields_length);
    visitRobot(robot, [&](auto& r) {
      using Robot = std::decay_t<decltype(r)>;
      if constexpr (kHasStream<Robot>) {
        r.startReceiveRobotState(std::chrono::nanoseconds(interval_ns), names);
      } else {
        throw std::invalid_argument("The robot model doesn't support");
      }
    });
  });
}

int32_t vel_robot_update_state(vel_robot* robot, int64_t timeout_ns, uint32_t* received) noexcept {
  return abiCall([&] {
    uint32_t& out = required(received, "received");
    out = baseRobot(robot).updateRobotState(std::chrono::nanoseconds(timeout_ns));
  });
}

}  // extern "C"
