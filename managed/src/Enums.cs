// Enumerations of the managed API. Every value equals the native enumeration's of the same
// meaning and crosses as its 32-bit integer, unchecked.

namespace velmora.clr
{
    public enum PowerState { on = 0, off = 1, estop = 2, gstop = 3, unknown = -1 }

    public enum OperateMode { manual = 0, automatic = 1, unknown = -1 }

    public enum OperationState
    {
        idle = 0, jog = 1, rtControlling = 2, drag = 3, rlProgram = 4, demo = 5,
        dynamicIdentify = 6, frictionIdentify = 7, loadIdentify = 8, moving = 9, jogging = 10,
        unknown = -1
    }

    public enum WorkType { industrial = 0, collaborative = 1 }

    public enum CoordinateType { flangeInBase = 0, endInRef = 1 }

    public enum StopLevel { stop0 = 0, stop1 = 1, stop2 = 2, suppleStop = 3 }

    public enum MotionControlMode { Idle = 0, NrtCommand = 1, NrtRLTask = 2, RtCommand = 3 }

    public enum RtControllerMode
    {
        jointPosition = 0, cartesianPosition = 1, jointImpedance = 2, cartesianImpedance = 3,
        torque = 4
    }

    /// <summary>Frames along the arm; there is no member 0.</summary>
    public enum SegmentFrame
    {
        joint1 = 1, joint2 = 2, joint3 = 3, joint4 = 4, joint5 = 5, joint6 = 6, joint7 = 7,
        flange = 8, endEffector = 9, stiffness = 10
    }

    /// <summary>The jogging spaces; the same members as <see cref="JogOpt.Space"/>.</summary>
    public enum JogSpace
    {
        world = 0, flange = 1, baseFrame = 2, toolFrame = 3, wobjFrame = 4, jointSpace = 5,
        singularityAvoidMode = 6, baseParallelMode = 7
    }

    public enum FrameType { world = 0, baseFrame = 1, flange = 2, tool = 3, wobj = 4, path = 5, rail = 6 }

    public enum AvoidSingularityMethod { lockAxis4 = 0, wrist = 1, jointWay = 2 }

    /// <summary>Kinds of events a program can watch.</summary>
    public enum Event { moveExecution = 0, safety = 1, rlExecution = 2, logReporter = 3 }

    public enum LogInfoLevel { info = 0, warning = 1, err = 2 }

    public enum CANFormat { STANDARD = 0, EXTENDED = 1 }

    public enum CANType { CANFD_ACCELERATED = 0, CANFD = 1, CanClassic = 2 }

    /// <summary>Items of a controller backup.</summary>
    public enum BackupItem
    {
        customConfig = 0, robotConfig = 1, robotConfigWithoutBodyParams = 2, controllerLog = 3,
        systemLog = 4, rlProgram = 5, backupRlProgram = 6, sdkRecordPath = 7
    }
}
