#pragma once
// Names that log lines print for the library's enumerations. Several differ from the
// enumerators' own names (OperateMode::automatic prints "auto", JogOpt::Space 6 and 7 print
// "singularityAvoid" and "baseParallel", the supply voltages print "12v" and "24v"); a value
// outside an enumeration prints that enumeration's fallback, so any integer a caller casts in
// is safe to log.

#include <velmora/enums.h>
#include <velmora/types.h>

#include <string_view>

namespace velmora::internal {

std::string_view enumName(AvoidSingularityMethod value) noexcept;  ///< fallback "invalid"
std::string_view enumName(MotionControlMode value) noexcept;       ///< fallback "Idle"
std::string_view enumName(OperateMode value) noexcept;             ///< fallback "unknown"
std::string_view enumName(DragParameter::Space value) noexcept;    ///< fallback "invalid"
std::string_view enumName(DragParameter::Type value) noexcept;     ///< fallback "invalid"
std::string_view enumName(JogOpt::Space value) noexcept;           ///< fallback "invalid"
std::string_view enumName(StopLevel value) noexcept;               ///< fallback "invalid"
std::string_view enumName(FlangeboxOpt::Vout value) noexcept;      ///< fallback "invalid"
/// "offs", "relTool"; "" for `none` and any other value.
std::string_view enumName(CartesianPosition::Offset::Type value) noexcept;

}  // namespace velmora::internal
