#pragma once
// The rail's parameter table: the name a caller uses, the controller's key in the "rail_param"
// object and the factor between their units.

#include <string>
#include <system_error>
#include <utility>

namespace velmora::internal {

/// The controller's key of a rail parameter and the factor from the caller's value to the
/// controller's (readers divide by it, writers multiply). Clears `ec`; 259, "" and 0.0 for a
/// name outside the table. "softLimit" and "range" are looked up with "0" and "1" appended.
std::pair<std::string, double> railParamKey(const std::string& name, std::error_code& ec);

}  // namespace velmora::internal
