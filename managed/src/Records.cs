// Value structures of the managed API and the holders of nested enumerations. Structures start
// as zeros, false and null, as value types do.

using System;

namespace velmora.clr
{
    /// <summary>The robot information the controller reports.</summary>
    public struct Info
    {
        public String id;
        public String mac;
        public String version;
        public String type;
        public int joint_num;
    }

    /// <summary>A snapshot of the arm: joints, pose, I/O signals, mode and speed override.</summary>
    public struct StateList
    {
        public double[] joint_pos;
        public CartesianPosition cart_pos;
        public Tuple<String, bool>[] digital_signals;
        public Tuple<String, double>[] analog_signals;
        public OperateMode operation_mode;
        public double speed_override;
    }

    /// <summary>The keys of the arm's keypad.</summary>
    public struct KeyPadState
    {
        public bool key1_state;
        public bool key2_state;
        public bool key3_state;
        public bool key4_state;
        public bool key5_state;
        public bool key6_state;
        public bool key7_state;
    }

    /// <summary>Identity and state of one EtherCAT slave.</summary>
    public struct SlaveInfo
    {
        public uint vendorId;
        public uint productCode;
        public uint reversionNumber;
        public ushort slaveAddr;
        public uint slaveId;
        public ushort alStatus;
        public String slaveName;
    }

    /// <summary>Options of jogging.</summary>
    public struct JogOpt
    {
        public enum Space
        {
            world = 0, flange = 1, baseFrame = 2, toolFrame = 3, wobjFrame = 4, jointSpace = 5,
            singularityAvoidMode = 6, baseParallelMode = 7
        }
    }

    /// <summary>Options of drag teaching.</summary>
    public struct DragOpt
    {
        public enum Space { jointSpace = 0, cartesianSpace = 1 }

        public enum Type { translationOnly = 0, rotationOnly = 1, freely = 2 }
    }

    /// <summary>Parameters of drag teaching; the same members as <see cref="DragOpt"/>.</summary>
    public struct DragParameter
    {
        public enum Space { jointSpace = 0, cartesianSpace = 1 }

        public enum Type { translationOnly = 0, rotationOnly = 1, freely = 2 }
    }

    /// <summary>Options of the tool-end I/O board.</summary>
    public struct FlangeboxOpt
    {
        public enum Vout { off = 0, reserve = 1, supply12v = 2, supply24v = 3 }
    }
}
