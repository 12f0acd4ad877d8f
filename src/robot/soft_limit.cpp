// `Robot_T`'s soft joint limits: one lower/upper pair per joint, passed through unchanged.

#include <velmora/robot_t.h>

#include <limits>

#include "common/json_read.h"
#include "common/value_checks.h"
#include "robot/operation_frame.h"
#include "robot/robot_instances.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

template <int W, unsigned short N>
bool Robot_T<W, N>::getSoftLimit(std::array<double[2], N>& limits, std::error_code& ec) noexcept {
  bool enabled = false;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl().service, "safety.soft_limit", Json::Value(), reply, ec);
    if (ec) return;
    const Json::Value& lower = internal::member(reply, "lower");
    const Json::Value& upper = internal::member(reply, "upper");
    bool enable = false;
    if (!internal::hasMember(reply, "enable") || !lower.isArray() || !upper.isArray() ||
        !internal::readBool(internal::member(reply, "enable"), enable)) {
      ec = makeErrorCode(internal::kUnreadableReplyCode);
      return;
    }
    // A joint beyond the end of a short array reads 0, as the controller's older answers
    // leave them out; an entry that is no number refuses the whole answer.
    std::array<double[2], N> read{};
    for (unsigned short i = 0; i < N; ++i) {
      if (!internal::readDouble(internal::element(lower, i), read[i][0]) ||
          !internal::readDouble(internal::element(upper, i), read[i][1])) {
        ec = makeErrorCode(internal::kUnreadableReplyCode);
        return;
      }
    }
    for (unsigned short i = 0; i < N; ++i) {
      limits[i][0] = read[i][0];
      limits[i][1] = read[i][1];
    }
    enabled = enable;
  });
  return !ec && enabled;
}

template <int W, unsigned short N>
void Robot_T<W, N>::setSoftLimit(bool enable, std::error_code& ec, const std::array<double[2], N>& limits) noexcept {
  internal::logEntry("uid: {} | setSoftLimit {}, {}", logUid, enable, limits);
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["enable"] = enable;
    Json::Value& lower = request["lower"] = Json::Value(Json::arrayValue);
    Json::Value& upper = request["upper"] = Json::Value(Json::arrayValue);
    // The largest double as the first lower limit asks to switch the limits on or off only.
    if (limits[0][0] != std::numeric_limits<double>::max()) {
      for (const auto& pair : limits) {
        // jsoncpp would write NaN as null and infinity as 1e+9999 as a joint's limit.
        if (!internal::allFinite(pair[0], pair[1])) {
          ec = makeErrorCode(internal::kArgumentInvalidCode);
          return;
        }
        lower.append(pair[0]);
        upper.append(pair[1]);
      }
    }
    internal::commandForCode(*impl().service, "safety.soft_limit", request, ec);
  });
  internal::logEnd(impl(), "uid: {} | setSoftLimit end {}, {}, ({})", logUid, enable, limits, ec);
}

#define VELMORA_INSTANTIATE(W, N)                                                                  \
  template bool Robot_T<W, N>::getSoftLimit(std::array<double[2], N>&, std::error_code&) noexcept; \
  template void Robot_T<W, N>::setSoftLimit(bool, std::error_code&, const std::array<double[2], N>&) noexcept;
VELMORA_FOR_EACH_ROBOT_T(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
