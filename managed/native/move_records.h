#pragma once
// Blob forms of move command lists from the managed side: a count, then per command the fields
// its type uses, in this order (pose and offset as in native/abi_records.h; texts UTF-8):
// - MoveL:    target (pose), target offset, speed, zone, rotSpeed, customInfo
// - MoveJ:    target (pose), target offset, speed, zone, jointSpeed, customInfo
// - MoveAbsJ: joints (list of f64), external (list of f64), speed, zone, jointSpeed, customInfo
// - MoveC:    target, aux (poses), target offset, aux offset, speed, zone, rotSpeed, customInfo
// - MoveCF:   the MoveC fields, then angle (f64) and rotation type (i32, 0..2)
// - MoveSP:   target (pose), target offset, radius, radiusStep, angle (f64), direction (flag),
//             speed, rotSpeed, customInfo
// The managed side reads the type-specific numbers out of MoveCommand.args; every rule of
// that reading lives there.

#include <cstdint>
#include <vector>

#include <velmora/commands.h>

#include "native/abi_codec.h"

namespace velmora::internal {

void decode(BlobReader& r, MoveLCommand& command);
void decode(BlobReader& r, MoveJCommand& command);
void decode(BlobReader& r, MoveAbsJCommand& command);
void decode(BlobReader& r, MoveCCommand& command);
void decode(BlobReader& r, MoveCFCommand& command);
void decode(BlobReader& r, MoveSPCommand& command);

/// A whole blob as a list of commands of one type; bytes left over, an offset type or a
/// rotation type outside its enumeration are refused as a malformed record.
template <class Command>
std::vector<Command> decodedMoves(const std::uint8_t* data, std::int64_t size);

}  // namespace velmora::internal
