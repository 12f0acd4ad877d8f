#include "native/move_records.h"

#include <stdexcept>
#include <string>

#include "native/abi_records.h"

namespace velmora::internal {

namespace {

// The commands have no default constructors; each starts as the type's neutral value and
// takes every field from the blob.
CartesianPosition pose(BlobReader& r) {
  CartesianPosition p;
  decode(r, p);
  return p;
}

void offset(BlobReader& r, CartesianPosition::Offset& out) {
  decode(r, out);
  const int type = static_cast<int>(out.type);
  if (type < 0 || type > static_cast<int>(CartesianPosition::Offset::Type::relTool)) {
    throw std::invalid_argument("malformed record: offset type " + std::to_string(type));
  }
}

void speedAndZone(BlobReader& r, NrtCommand& command) {
  command.speed = r.f64();
  command.zone = r.f64();
}

template <class Command>
Command blank();

template <>
MoveLCommand blank<MoveLCommand>() {
  return MoveLCommand(CartesianPosition(), -1.0, -1.0);
}
template <>
MoveJCommand blank<MoveJCommand>() {
  return MoveJCommand(CartesianPosition(), -1.0, -1.0);
}
template <>
MoveAbsJCommand blank<MoveAbsJCommand>() {
  return MoveAbsJCommand(JointPosition(), -1.0, -1.0);
}
template <>
MoveCCommand blank<MoveCCommand>() {
  return MoveCCommand(CartesianPosition(), CartesianPosition(), -1.0, -1.0);
}
template <>
MoveCFCommand blank<MoveCFCommand>() {
  return MoveCFCommand(CartesianPosition(), CartesianPosition(), 0.0, -1.0, -1.0);
}
template <>
MoveSPCommand blank<MoveSPCommand>() {
  return MoveSPCommand(CartesianPosition(), 0.0, 0.0, 0.0, false, -1.0);
}

}  // namespace

void decode(BlobReader& r, MoveLCommand& command) {
  command.target = pose(r);
  offset(r, command.targetOffset);
  speedAndZone(r, command);
  command.rotSpeed = r.f64();
  command.customInfo = r.text();
}

void decode(BlobReader& r, MoveJCommand& command) {
  command.target = pose(r);
  offset(r, command.targetOffset);
  speedAndZone(r, command);
  command.jointSpeed = r.f64();
  command.customInfo = r.text();
}

void decode(BlobReader& r, MoveAbsJCommand& command) {
  decode(r, command.target.joints);
  decode(r, command.target.external);
  speedAndZone(r, command);
  command.jointSpeed = r.f64();
  command.customInfo = r.text();
}

void decode(BlobReader& r, MoveCCommand& command) {
  command.target = pose(r);
  command.aux = pose(r);
  offset(r, command.targetOffset);
  offset(r, command.auxOffset);
  speedAndZone(r, command);
  command.rotSpeed = r.f64();
  command.customInfo = r.text();
}

void decode(BlobReader& r, MoveCFCommand& command) {
  decode(r, static_cast<MoveCCommand&>(command));
  command.angle = r.f64();
  const std::int32_t rotType = r.i32();
  if (rotType < 0 || rotType > static_cast<std::int32_t>(MoveCFCommand::RotType::fixedAxis)) {
    throw std::invalid_argument("malformed record: rotation type " + std::to_string(rotType));
  }
  command.rotType = static_cast<MoveCFCommand::RotType>(rotType);
}

void decode(BlobReader& r, MoveSPCommand& command) {
  command.target = pose(r);
  offset(r, command.targetOffset);
  command.radius = r.f64();
  command.radiusStep = r.f64();
  command.angle = r.f64();
  command.direction = r.flag();
  command.speed = r.f64();
  command.rotSpeed = r.f64();
  command.customInfo = r.text();
}

template <class Command>
std::vector<Command> decodedMoves(const std::uint8_t* data, std::int64_t size) {
  BlobReader r(data, size);
  // Every command holds at least its speed and its text's length.
  const std::size_t n = r.count(8 + 4);
  std::vector<Command> commands;
  commands.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    commands.push_back(blank<Command>());
    decode(r, commands.back());
  }
  r.finish();
  return commands;
}

template std::vector<MoveLCommand> decodedMoves<MoveLCommand>(const std::uint8_t*, std::int64_t);
template std::vector<MoveJCommand> decodedMoves<MoveJCommand>(const std::uint8_t*, std::int64_t);
template std::vector<MoveAbsJCommand> decodedMoves<MoveAbsJCommand>(const std::uint8_t*, std::int64_t);
template std::vector<MoveCCommand> decodedMoves<MoveCCommand>(const std::uint8_t*, std::int64_t);
template std::vector<MoveCFCommand> decodedMoves<MoveCFCommand>(const std::uint8_t*, std::int64_t);
template std::vector<MoveSPCommand> decodedMoves<MoveSPCommand>(const std::uint8_t*, std::int64_t);

}  // namespace velmora::internal
