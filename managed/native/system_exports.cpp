// The controller's log. The other system operations of a robot are generated from
// managed/abi/operations.toml.

#include <set>
#include <string>

#include "native/abi_records.h"
#include "native/robot_handle.h"

using namespace velmora;
using namespace velmora::internal;

extern "C" {

int32_t vel_robot_query_controller_log(vel_robot* robot, uint32_t count, const int32_t* levels, int32_t level_count,
                                       uint32_t offset, vel_buf** logs, vel_err* ec) noexcept {
  return abiCall([&] {
    required(logs, "logs");
    if (level_count < 0 || (levels == nullptr && level_count != 0)) {
      throw std::invalid_argument("bad level list");
    }
    std::set<LogInfo::Level> wanted;
    for (int32_t i = 0; i < level_count; ++i) wanted.insert(static_cast<LogInfo::Level>(levels[i]));
    reportCode(ec, [&](std::error_code& code) {
      putBuffer(logs, encoded(baseRobot(robot).queryControllerLog(count, wanted, code, offset)));
    });
  });
}

}  // extern "C"
