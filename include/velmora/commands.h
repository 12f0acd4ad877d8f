#pragma once
// Non-real-time motion commands that a program hands to a robot for queuing or immediate
// execution. They are values: lists travel as `std::vector` of one concrete type. A speed or zone
// of -1.0 leaves it to the controller's default; a negative `jointSpeed` or `rotSpeed` is not
// sent at all.

#include <chrono>
#include <string>
#include <type_traits>

#include <velmora/export.h>
#include <velmora/types.h>

namespace velmora {

/// Common part of every motion command.
class VELMORA_API NrtCommand {
 public:
  virtual ~NrtCommand();

  double speed;
  double zone;
  std::string customInfo;  ///< sent with the command when not empty

 protected:
  NrtCommand(double speed, double zone);
  // Copy and move only through a concrete command, so a command is never sliced to its base.
  NrtCommand(const NrtCommand&) = default;
  NrtCommand(NrtCommand&&) = default;
  NrtCommand& operator=(const NrtCommand&) = default;
  NrtCommand& operator=(NrtCommand&&) = default;
};

/// A move to joint values.
class VELMORA_API MoveAbsJCommand : public NrtCommand {
 public:
  MoveAbsJCommand(JointPosition target, double speed, double zone);

  JointPosition target;
  double jointSpeed = -1.0;
};

/// A joint-interpolated move to a pose.
class VELMORA_API MoveJCommand : public NrtCommand {
 public:
  MoveJCommand(CartesianPosition target, double speed, double zone);

  CartesianPosition target;
  CartesianPosition::Offset targetOffset;
  double jointSpeed = -1.0;
};

/// A linear move to a pose.
class VELMORA_API MoveLCommand : public NrtCommand {
 public:
  MoveLCommand(CartesianPosition target, double speed, double zone);

  CartesianPosition target;
  CartesianPosition::Offset targetOffset;
  double rotSpeed = -1.0;
};

/// A circular move through an auxiliary point to a pose.
class VELMORA_API MoveCCommand : public NrtCommand {
 public:
  MoveCCommand(CartesianPosition target, CartesianPosition aux, double speed, double zone);

  CartesianPosition target;
  CartesianPosition::Offset targetOffset;
  CartesianPosition aux;
  CartesianPosition::Offset auxOffset;
  double rotSpeed = -1.0;
};

/// A full-circle move of `angle` through the target and the auxiliary point.
class VELMORA_API MoveCFCommand : public MoveCCommand {
 public:
  /// How the tool turns along the circle.
  enum class RotType : int { constPose = 0, rotAxis = 1, fixedAxis = 2 };

  MoveCFCommand(const CartesianPosition& target, const CartesianPosition& aux, double angle, double speed, double zone);

  double angle;
  RotType rotType = RotType::constPose;
};

/// A spiral move to a pose; `zone` is 0.
class VELMORA_API MoveSPCommand : public NrtCommand {
 public:
  MoveSPCommand(const CartesianPosition& target, double radius, double radiusStep, double angle, bool direction,
                double speed);

  CartesianPosition target;
  CartesianPosition::Offset targetOffset;
  double radius;
  double radiusStep;
  double angle;
  bool direction;
  double rotSpeed = -1.0;
};

/// A pause in the queue; speed and zone are -1.
class VELMORA_API MoveWaitCommand : public NrtCommand {
 public:
  /// Not explicit, so a wait can be written as its duration.
  MoveWaitCommand(std::chrono::nanoseconds duration);
  /// Any duration that converts to nanoseconds without loss, in one step, so that
  /// `std::vector<MoveWaitCommand> waits = {100ms};` and `moveAppend({100ms}, id, ec)` compile.
  template <
      class Rep, class Period,
      class = std::enable_if_t<std::is_convertible_v<std::chrono::duration<Rep, Period>, std::chrono::nanoseconds>>>
  MoveWaitCommand(std::chrono::duration<Rep, Period> duration) : MoveWaitCommand(std::chrono::nanoseconds(duration)) {}

  std::chrono::nanoseconds duration;
};

}  // namespace velmora
