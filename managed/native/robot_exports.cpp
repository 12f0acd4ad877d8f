// Robot handles: building a robot of each arm class with its model, destroying both, and the
// connection operations.

#include <atomic>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "native/abi_records.h"
#include "native/callback_gate.h"
#include "native/robot_handle.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

template <class Robot>
std::unique_ptr<vel_robot> makeRobot(std::int32_t kind, std::int32_t form, const std::string& remote,
                                     const std::string& local) {
  std::unique_ptr<Robot> robot;
  switch (form) {
    case VEL_CONSTRUCT_UNCONNECTED:
      robot = std::make_unique<Robot>();
      break;
    case VEL_CONSTRUCT_REMOTE:
      // The 5-, 6- and 7-axis classes take "" as the local address here.
      robot = std::make_unique<Robot>(remote);
      break;
    case VEL_CONSTRUCT_REMOTE_LOCAL:
      if constexpr (std::is_constructible_v<Robot, const std::string&, const std::string&>) {
        robot = std::make_unique<Robot>(remote, local);
        break;
      } else {
        throw std::invalid_argument("this robot class takes no local address");
      }
    default:
      throw std::invalid_argument("unknown constructor form " + std::to_string(form));
  }
  return robotHandle(kind, std::move(robot));
}

}  // namespace

namespace velmora::internal {
// Never reused, so a late callback of a destroyed robot can never reach the robot that took
// its handle's address.
std::int64_t newRobotId() noexcept {
  static std::atomic<std::int64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace velmora::internal

extern "C" {

int32_t vel_robot_create(int32_t kind, int32_t form, const char* remote_ip, const char* local_ip, vel_robot** robot,
                         int64_t* id) noexcept {
  return abiCall([&] {
    vel_robot*& out = required(robot, "robot");
    int64_t& idOut = required(id, "id");
    auto handle = withRobotClass(kind, [&](auto tag) {
      return makeRobot<typename decltype(tag)::type>(kind, form, textArg(remote_ip), textArg(local_ip));
    });
    handle->id = newRobotId();
    idOut = handle->id;
    out = handle.release();
  });
}

int32_t vel_robot_destroy(vel_robot* robot) noexcept {
  return abiCall([&] {
    // Inside one of the robot's own callbacks the destructor would join the very thread it
    // runs on (the link's I/O thread, a motion thread): the deletion waits on a thread of its
    // own until the callback has returned.
    if (robot != nullptr && insideCallbackOf(robot->id)) {
      deferDeletion([robot] { delete robot; });
      return;
    }
    delete robot;
  });
}

int32_t vel_robot_connect(vel_robot* robot, const char* remote_ip, const char* local_ip) noexcept {
  return abiCall([&] {
    const std::string remote = textArg(remote_ip);
    const std::string local = textArg(local_ip);
    visitRobot(robot, [&](auto& r) { r.connectToRobot(remote, local); });
  });
}

}  // extern "C"
