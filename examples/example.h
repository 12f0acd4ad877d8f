#pragma once
// Helpers the examples share: the usage line, the report of a failed step, event values.

#include <velmora/event.h>

#include <any>
#include <cstdio>
#include <system_error>

namespace example {

/// Prints the usage line; returns the exit status for a bad command line.
inline int usage(const char* program, const char* arguments) {
  std::fprintf(stderr, "usage: %s %s\n", program, arguments);
  return 2;
}

/// Prints the step's code and message when it failed; true when it went well.
inline bool report(const char* step, const std::error_code& ec) {
  if (ec) std::printf("%s failed: %d %s\n", step, ec.value(), ec.message().c_str());
  return !ec;
}

/// The event's value under `key`; T{} when it is absent or of another type.
template <typename T>
T eventValue(const velmora::EventInfo& info, const char* key) {
  const auto it = info.find(key);
  const T* value = it == info.end() ? nullptr : std::any_cast<T>(&it->second);
  return value ? *value : T{};
}

}  // namespace example
