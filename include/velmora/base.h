#pragma once
// The empty base that the library's main classes share.

#include <velmora/export.h>

namespace velmora {

/// Common empty base of the robot, model, EtherCAT and link classes: no data, no virtual
/// operation. Its special members are protected, so nothing is ever built, copied or destroyed
/// through a `Base<T>` alone.
template <typename T>
class VELMORA_API Base {
 protected:
  Base() = default;
  Base(const Base&) = default;
  Base(Base&&) noexcept = default;
  Base& operator=(const Base&) = default;
  Base& operator=(Base&&) noexcept = default;
  ~Base() = default;
};

}  // namespace velmora
