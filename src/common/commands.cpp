#include <velmora/commands.h>

#include <utility>

namespace velmora {

NrtCommand::~NrtCommand() = default;

NrtCommand::NrtCommand(double speed, double zone) : speed(speed), zone(zone) {}

MoveAbsJCommand::MoveAbsJCommand(JointPosition target, double speed, double zone)
    : NrtCommand(speed, zone), target(std::move(target)) {}

MoveJCommand::MoveJCommand(CartesianPosition target, double speed, double zone)
    : NrtCommand(speed, zone), target(std::move(target)) {}

MoveLCommand::MoveLCommand(CartesianPosition target, double speed, double zone)
    : NrtCommand(speed, zone), target(std::move(target)) {}

MoveCCommand::MoveCCommand(CartesianPosition target, CartesianPosition aux, double speed, double zone)
    : NrtCommand(speed, zone), target(std::move(target)), aux(std::move(aux)) {}

MoveCFCommand::MoveCFCommand(const CartesianPosition& target, const CartesianPosition& aux, double angle, double speed,
                             double zone)
    : MoveCCommand(target, aux, speed, zone), angle(angle) {}

MoveSPCommand::MoveSPCommand(const CartesianPosition& target, double radius, double radiusStep, double angle,
                             bool direction, double speed)
    : NrtCommand(speed, 0.0),
      target(target),
      radius(radius),
      radiusStep(radiusStep),
      angle(angle),
      direction(direction) {}

MoveWaitCommand::MoveWaitCommand(std::chrono::nanoseconds duration) : NrtCommand(-1.0, -1.0), duration(duration) {}

}  // namespace velmora
