// `Robot_T`'s frame calibration: the controller computes a base, tool, work-object or rail
// frame from robot positions of N joint values each.

#include <velmora/robot_t.h>

#include <algorithm>

#include "common/json_read.h"
#include "common/value_checks.h"
#include "robot/frame_reads.h"
#include "robot/operation_frame.h"
#include "robot/robot_instances.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

constexpr int kCalibrationErrorCode = 273;

// The controller's name of a calibratable frame and whether it takes `count` points; null for
// a frame the controller does not calibrate.
const char* calibrationName(FrameType type, std::size_t count) noexcept {
  switch (type) {
    case FrameType::baseFrame:
      return count == 6 ? "base" : nullptr;
    case FrameType::tool:
      return count == 3 || count == 4 || count == 6 ? "tool" : nullptr;
    case FrameType::wobj:
      return count == 3 ? "wobj" : nullptr;
    case FrameType::rail:
      return count == 3 ? "rail" : nullptr;
    default:
      return nullptr;
  }
}

template <std::size_t N>
Json::Value numberArray(const std::array<double, N>& values) {
  Json::Value out(Json::arrayValue);
  for (const double v : values) out.append(v);
  return out;
}

}  // namespace

template <int W, unsigned short N>
FrameCalibrationResult Robot_T<W, N>::calibrateFrame(FrameType type, const std::vector<std::array<double, N>>& points,
                                                     bool is_held, std::error_code& ec,
                                                     const std::array<double, 3>& base_aux) noexcept {
  FrameCalibrationResult result;
  internal::runOperation(ec, [&] {
    const char* name = calibrationName(type, points.size());
    // jsoncpp would send NaN as null and infinity as 1e+9999: another calibration altogether.
    if (name == nullptr || !internal::allFinite(base_aux) ||
        !std::all_of(points.begin(), points.end(), [](const auto& p) { return internal::allFinite(p); })) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    Json::Value request(Json::objectValue);
    request["type"] = name;
    Json::Value& list = request["points"] = Json::Value(Json::arrayValue);
    for (const auto& point : points) list.append(numberArray(point));
    request["held"] = is_held;
    request["aux"] = numberArray(base_aux);
    Json::Value reply;
    internal::command(*impl().service, "utils.calibrate_frame", request, reply, ec);
    if (ec) return;
    const Json::Value& data = internal::member(reply, "data");
    if (!internal::hasMember(reply, "data")) {
      ec = makeErrorCode(internal::kReplyExceptionCode);
      return;
    }
    if (internal::hasMember(reply, "error")) {
      ec = makeErrorCode(kCalibrationErrorCode);
      return;
    }
    // Without a frame the caller would install a base, tool or work object at the origin.
    if (!internal::readWholeFrame(internal::member(data, "frame"), result.frame)) {
      ec = makeErrorCode(internal::kReplyExceptionCode);
      return;
    }
    // The error figures are informative: unusable ones read as zeros.
    internal::readTriple(internal::member(data, "errors"), result.errors);
  });
  return ec ? FrameCalibrationResult() : result;
}

#define VELMORA_INSTANTIATE(W, N)                                                                                     \
  template FrameCalibrationResult Robot_T<W, N>::calibrateFrame(FrameType, const std::vector<std::array<double, N>>&, \
                                                                bool, std::error_code&,                               \
                                                                const std::array<double, 3>&) noexcept;
VELMORA_FOR_EACH_ROBOT_T(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
