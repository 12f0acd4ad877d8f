#pragma once
// What the fuzz targets share: a failed expectation ends the run, and inputs read as JSON.

#include <json/reader.h>

#include <cstdlib>
#include <memory>

namespace fuzz {

inline void require(bool condition) {
  if (!condition) std::abort();
}

/// Reads `[begin, end)` as one JSON value into `out`; false when it is not one.
inline bool parseJson(const char* begin, const char* end, Json::Value& out) {
  static const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  return reader->parse(begin, end, &out, nullptr);
}

}  // namespace fuzz
