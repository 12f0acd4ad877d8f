#include "common/reply_read.h"

#include <cmath>

namespace velmora::internal {

bool takeIntegerReply(const Json::Value& reply, std::error_code& ec, int codeForZero) noexcept {
  if (!isIntegerReply(reply)) return false;
  const int code = reply.asInt();
  ec = makeErrorCode(code != 0 ? code : codeForZero);
  return true;
}

bool readInteger64(const Json::Value& value, std::int64_t& out) noexcept {
  switch (value.type()) {
    case Json::intValue:
      out = value.asLargestInt();
      return true;
    case Json::uintValue:
      out = static_cast<std::int64_t>(value.asLargestUInt());
      return true;
    case Json::realValue: {
      const double d = value.asDouble();
      // 2^63 is exact as a double; the comparisons are false for NaN.
      constexpr double kLimit = 9223372036854775808.0;
      if (!(std::trunc(d) == d && d >= -kLimit && d < kLimit)) return false;
      out = static_cast<std::int64_t>(d);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace velmora::internal
