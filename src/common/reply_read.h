#pragma once
// Taking apart the controller's answer to one request. Operations are noexcept, and jsoncpp
// throws on most reads of a kind it did not expect, so every read of a reply checks the kind
// first, and what still escapes becomes -260 ("protocol mismatch") at the operation's boundary
// instead of terminating the program.
//
// Codes the readers lead to: the code an operation names for the shape it misses (261 for a
// missing or short array in the kinematics and force-control replies), 257 ("response
// unresolved") for any other shape that cannot be read.

#include <json/value.h>
#include <velmora/error.h>

#include <cstdint>
#include <limits>
#include <system_error>
#include <type_traits>

#include "common/result_codes.h"

namespace velmora::internal {

/// Whether the reply is a bare controller code: a JSON integer within `int`, an unsigned value
/// below 2^31 or a real with no fraction within `int` (7.0 counts, 7.5 and "7" do not).
inline bool isIntegerReply(const Json::Value& reply) noexcept { return reply.isInt(); }

/// When the reply is a bare code, `ec` becomes that code, or `codeForZero` when it is 0 (a
/// success that carries none of the value the request asked for), and the result is true.
/// Otherwise false and `ec` untouched.
bool takeIntegerReply(const Json::Value& reply, std::error_code& ec, int codeForZero) noexcept;

/// Reads an integer of up to 64 bits: a JSON integer (an unsigned one above the signed range
/// keeps its bits) or a real with no fraction within the signed range. Other kinds, null and
/// flags included, give false and leave `out` untouched.
bool readInteger64(const Json::Value& value, std::int64_t& out) noexcept;

/// `readInteger64`, keeping the low bits that fit `T`, as a register of that width holds them.
template <typename T>
bool readLowBits(const Json::Value& value, T& out) noexcept {
  static_assert(std::is_integral_v<T>, "an integer type");
  std::int64_t wide = 0;
  if (!readInteger64(value, wide)) return false;
  out = static_cast<T>(static_cast<std::make_unsigned_t<T>>(static_cast<std::uint64_t>(wide)));
  return true;
}

/// Runs the body of a noexcept operation. Anything it throws sets `ec` to -260 and gives
/// false, so the caller can return its zero result; the body's own codes stay otherwise.
template <typename Body>
bool guardReply(std::error_code& ec, Body&& body) noexcept {
  try {
    body();
    return true;
  } catch (...) {
    ec = makeErrorCode(kReplyExceptionCode);
    return false;
  }
}

}  // namespace velmora::internal
