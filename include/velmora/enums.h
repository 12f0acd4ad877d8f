#pragma once
// Enumerations shared by the robot classes, the extensions and the managed layer. The numeric
// values are what the controller and the managed layer exchange; keep them as they are.

#include <velmora/export.h>

namespace velmora {

/// Robot family of a controller.
enum class WorkType : int { industrial = 0, collaborative = 1 };

/// Motor power state of the arm (`powerState`).
enum class PowerState : int { on = 0, off = 1, estop = 2, gstop = 3, unknown = -1 };

/// Operating mode of the controller (`operateMode`).
enum class OperateMode : int { manual = 0, automatic = 1, unknown = -1 };

/// What the arm is doing (`operationState`).
enum class OperationState : int {
  idle = 0,
  jog = 1,
  rtControlling = 2,
  drag = 3,
  rlProgram = 4,
  demo = 5,
  dynamicIdentify = 6,
  frictionIdentify = 7,
  loadIdentify = 8,
  moving = 9,
  jogging = 10,
  unknown = -1
};

/// Which pose a query returns: the flange in the base frame, or the tool end in its reference.
enum class CoordinateType : int { flangeInBase = 0, endInRef = 1 };

/// Which commands the arm takes (`setMotionControlMode`): queued non-real-time commands,
/// RL tasks, or real-time commands.
enum class MotionControlMode : int { Idle = 0, NrtCommand = 1, NrtRLTask = 2, RtCommand = 3 };

/// How `stop` halts the arm.
enum class StopLevel : int { stop0 = 0, stop1 = 1, stop2 = 2, suppleStop = 3 };

/// Frames a calibration or a query refers to.
enum class FrameType : int { world = 0, baseFrame = 1, flange = 2, tool = 3, wobj = 4, path = 5, rail = 6 };

/// Ways the controller avoids singularities (`setAvoidSingularity`).
enum class AvoidSingularityMethod : int { lockAxis4 = 0, wrist = 1, jointWay = 2 };

/// Kinds of events a program can watch.
enum class Event : int { moveExecution = 0, safety = 1, rlExecution = 2, logReporter = 3 };

/// Real-time control modes.
enum class RtControllerMode : int {
  jointPosition = 0,
  cartesianPosition = 1,
  jointImpedance = 2,
  cartesianImpedance = 3,
  torque = 4
};

/// Frames along the arm for Jacobians (there is no member 0).
enum class SegmentFrame : int {
  joint1 = 1,
  joint2 = 2,
  joint3 = 3,
  joint4 = 4,
  joint5 = 5,
  joint6 = 6,
  joint7 = 7,
  flange = 8,
  endEffector = 9,
  stiffness = 10
};

/// Items of a controller backup.
enum class BackupItem : int {
  customConfig = 0,
  robotConfig = 1,
  robotConfigWithoutBodyParams = 2,
  controllerLog = 3,
  systemLog = 4,
  rlProgram = 5,
  backupRlProgram = 6,
  sdkRecordPath = 7
};

/// Options of jogging.
struct VELMORA_API JogOpt {
  /// Space to jog in; sent as its integer value.
  enum class Space : int {
    world = 0,
    flange = 1,
    baseFrame = 2,
    toolFrame = 3,
    wobjFrame = 4,
    jointSpace = 5,
    singularityAvoidMode = 6,
    baseParallelMode = 7
  };
};

/// Options of drag teaching.
struct VELMORA_API DragParameter {
  /// The space the hand guides the arm in.
  enum class Space : int { jointSpace = 0, cartesianSpace = 1 };
  /// Which motions Cartesian dragging allows.
  enum class Type : int { translationOnly = 0, rotationOnly = 1, freely = 2 };
};

/// Options of the tool-end I/O board.
struct VELMORA_API FlangeboxOpt {
  /// Supply voltage of the board's output.
  enum class Vout : int { off = 0, reserve = 1, supply12v = 2, supply24v = 3 };
};

}  // namespace velmora
