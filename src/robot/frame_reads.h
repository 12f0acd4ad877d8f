#pragma once
// Whole-value reads of the frames and tool sets the controller returns. The converters of
// common/json_convert.h read a missing part as zeros, as the protocol mostly wants; where a
// zero frame would be taken for a real answer (a calibrated frame, the active tool set about to
// be written back, the rail's base frame) the operations need every part present instead.

#include <json/value.h>
#include <velmora/types.h>

#include <array>

namespace velmora::internal {

/// The first three elements of an array of at least three, all JSON numbers (no flags, no
/// nulls); false and `out` untouched otherwise.
bool readTriple(const Json::Value& array, std::array<double, 3>& out) noexcept;

/// {"trans": [3], "rot": [3]} with both triples readable by `readTriple`; other members are
/// ignored, `pos` stays zero. False and `out` untouched otherwise.
bool readWholeFrame(const Json::Value& value, Frame& out) noexcept;

/// {"load": {"mass", "cog": [3], "inertia": [3]}, "end": frame, "ref": frame}, every part
/// present and a number where one is read. False and `out` untouched otherwise.
bool readWholeToolset(const Json::Value& value, Toolset& out) noexcept;

}  // namespace velmora::internal
