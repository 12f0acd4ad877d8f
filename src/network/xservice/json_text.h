#pragma once
// Compact JSON text for the command channel, written straight into a caller's buffer. The
// output is byte for byte what the JSON library's compact writer prints (members in byte order
// of their names, no spaces, characters outside ASCII as \uXXXX escapes, reals with 17
// significant digits), without its per-object name lists and per-element strings, so a request
// costs no allocation once the buffer has grown.

#include <json/value.h>

#include <string>
#include <string_view>

namespace velmora::internal {

/// Appends `value` as compact JSON text.
void appendJson(std::string& out, const Json::Value& value);

/// Appends `text` as a JSON string literal.
void appendJsonString(std::string& out, std::string_view text);

/// Appends an unsigned integer in decimal.
void appendUnsigned(std::string& out, unsigned long long value);

}  // namespace velmora::internal
