#pragma once
// The controller's vocabulary of external axes and mechanical units: a name outside it is
// refused before anything is sent.

#include <string>
#include <system_error>

namespace velmora::internal {

/// Clears `ec`; 259 unless `axis` is "axis1" to "axis6" and `param` one of the 18 external-axis
/// parameter names. Names compare exactly.
void checkExtAxisParam(const std::string& axis, const std::string& param, std::error_code& ec) noexcept;
/// Clears `ec`; 259 unless `unit` is "u1" to "u6" and `param` one of the 7 mechanical-unit
/// parameter names.
void checkMechUnitParam(const std::string& unit, const std::string& param, std::error_code& ec) noexcept;

}  // namespace velmora::internal
