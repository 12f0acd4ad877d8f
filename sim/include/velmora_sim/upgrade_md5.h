#pragma once
// MD5 (RFC 1321) for the simulated upgrade service, written apart from the library's own so a
// digest mistake on either side shows up in the tests.

#include <string>
#include <string_view>

namespace velmora_sim {

/// The 16 raw digest bytes of `bytes`.
std::string md5Digest(std::string_view bytes);

}  // namespace velmora_sim
