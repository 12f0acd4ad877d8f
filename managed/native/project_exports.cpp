// RL projects and controller files, and the path recording of collaborative arms.

#include <string>
#include <vector>

#include "native/abi_records.h"
#include "native/operation_calls.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

// A recording runs this long, in seconds; the managed operation takes no duration.
constexpr int kRecordDurationSeconds = 30;

}  // namespace

extern "C" {

int32_t vel_cobot_start_record_path(vel_robot* robot, vel_err* ec) noexcept {
  return cobotCall(robot, ec,
                   [](BaseCobot& c, std::error_code& code) { c.startRecordPath(kRecordDurationSeconds, code); });
}

}  // extern "C"
