#pragma once
// The simulated controller's own MD5 (RFC 1321), written apart from the library's so that a
// fault in one is caught by the other when the file service checks an announced digest.

#include <string>
#include <string_view>

namespace velmora_sim {

/// The digest of `bytes` as 32 lower-case hexadecimal digits.
std::string md5Hex(std::string_view bytes);

}  // namespace velmora_sim
