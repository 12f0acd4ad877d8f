#pragma once
// The rows of the library's error category.

#include <cstddef>

namespace velmora::internal {

struct ErrorRow {
  int code;
  const char* zh;
  const char* en;
};

inline constexpr std::size_t kErrorRowCount = 168;

/// All rows, in table order.
const ErrorRow* errorRows() noexcept;
/// The row of a code, or nullptr when the table lacks it.
const ErrorRow* findErrorRow(int code) noexcept;

}  // namespace velmora::internal
