#pragma once
// Conversion of texts to code page 936, the 8-bit simplified Chinese code page in which the
// controller-log texts are handed out when the library speaks Chinese.

#include <string>

namespace velmora::internal {

/// UTF-8 text in code page 936. Throws std::range_error("bad conversion") on invalid or cut-off
/// UTF-8 and on characters the code page cannot hold; no partial result. Thread-safe.
std::string utf8ToLocal(const std::string& text);

/// Wide text (one character per wchar_t) in code page 936; failures as `utf8ToLocal`.
std::string wideToLocal(const std::wstring& text);

}  // namespace velmora::internal
