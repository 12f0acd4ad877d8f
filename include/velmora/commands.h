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
  /// Commands are deleted through their base in containers of the caller's.
  virtual ~NrtCommand();

  double speed;            ///< end speed in mm/s (sent in m/s); -1 the controller's default
  double zone;             ///< blending zone radius in mm (sent in m); 0 stops exactly, -1 the default
  std::string customInfo;  ///< sent with the command when not empty

 protected:
  /// Speed and zone as the concrete command gives them; `customInfo` empty.
  NrtCommand(double speed, double zone);
  ///@{
  /// Only through a concrete command, so a command is never sliced to its base.
  NrtCommand(const NrtCommand&) = default;
  NrtCommand(NrtCommand&&) = default;
  NrtCommand& operator=(const NrtCommand&) = default;
  NrtCommand& operator=(NrtCommand&&) = default;
  ///@}
};

/// A move to joint values.
class VELMORA_API MoveAbsJCommand : public NrtCommand {
 public:
  /// `speed` in mm/s and `zone` in mm, as `NrtCommand` says.
  MoveAbsJCommand(JointPosition target, double speed, double zone);

  JointPosition target;      ///< joint angles in radians
  double jointSpeed = -1.0;  ///< the controller's joint speed, sent as given; negative: not sent
};

/// A joint-interpolated move to a pose.
class VELMORA_API MoveJCommand : public NrtCommand {
 public:
  /// `speed` in mm/s and `zone` in mm, as `NrtCommand` says.
  MoveJCommand(CartesianPosition target, double speed, double zone);

  CartesianPosition target;                ///< the pose to reach (metres, radians)
  CartesianPosition::Offset targetOffset;  ///< a displacement of the target
  double jointSpeed = -1.0;                ///< the controller's joint speed, sent as given; negative: not sent
};

/// A linear move to a pose.
class VELMORA_API MoveLCommand : public NrtCommand {
 public:
  /// `speed` in mm/s and `zone` in mm, as `NrtCommand` says.
  MoveLCommand(CartesianPosition target, double speed, double zone);

  CartesianPosition target;                ///< the pose to reach (metres, radians)
  CartesianPosition::Offset targetOffset;  ///< a displacement of the target
  double rotSpeed = -1.0;                  ///< the tool's rotation speed, sent as given; negative: not sent
};

/// A circular move through an auxiliary point to a pose.
class VELMORA_API MoveCCommand : public NrtCommand {
 public:
  /// `speed` in mm/s and `zone` in mm, as `NrtCommand` says.
  MoveCCommand(CartesianPosition target, CartesianPosition aux, double speed, double zone);

  CartesianPosition target;                ///< the pose to reach (metres, radians)
  CartesianPosition::Offset targetOffset;  ///< a displacement of the target
  CartesianPosition aux;                   ///< the point the arc passes through
  CartesianPosition::Offset auxOffset;     ///< a displacement of the auxiliary point
  double rotSpeed = -1.0;                  ///< the tool's rotation speed, sent as given; negative: not sent
};

/// A full-circle move of `angle` through the target and the auxiliary point.
class VELMORA_API MoveCFCommand : public MoveCCommand {
 public:
  /// How the tool turns along the circle.
  enum class RotType : int {
    constPose = 0,  ///< the tool keeps its orientation
    rotAxis = 1,    ///< the tool turns about the circle's axis
    fixedAxis = 2   ///< the tool turns about a fixed axis
  };

  /// `angle` in radians; `speed` in mm/s and `zone` in mm, as `NrtCommand` says.
  MoveCFCommand(const CartesianPosition& target, const CartesianPosition& aux, double angle, double speed, double zone);

  double angle;                          ///< the angle to travel along the circle, in radians
  RotType rotType = RotType::constPose;  ///< how the tool turns
};

/// A spiral move to a pose; `zone` is 0.
class VELMORA_API MoveSPCommand : public NrtCommand {
 public:
  /// Lengths in metres, `angle` in radians, `speed` in mm/s.
  MoveSPCommand(const CartesianPosition& target, double radius, double radiusStep, double angle, bool direction,
                double speed);

  CartesianPosition target;                ///< the spiral's end pose (metres, radians)
  CartesianPosition::Offset targetOffset;  ///< a displacement of the target
  double radius;                           ///< the starting radius in metres
  double radiusStep;                       ///< the radius change per turn in metres
  double angle;                            ///< the total angle turned, in radians
  bool direction;                          ///< the turning direction flag, sent as given
  double rotSpeed = -1.0;                  ///< the tool's rotation speed, sent as given; negative: not sent
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

  std::chrono::nanoseconds duration;  ///< the pause, sent in whole milliseconds
};

}  // namespace velmora
