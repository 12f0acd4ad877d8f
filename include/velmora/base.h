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
  // Defaulted: the derived class decides what copying and moving mean.
  Base() = default;                            ///< Nothing to set up.
  Base(const Base&) = default;                 ///< Nothing to copy.
  Base(Base&&) noexcept = default;             ///< Nothing to move.
  Base& operator=(const Base&) = default;      ///< Nothing to copy.
  Base& operator=(Base&&) noexcept = default;  ///< Nothing to move.
  ~Base() = default;                           ///< Nothing to release.
};

}  // namespace velmora
