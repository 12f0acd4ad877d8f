// Value classes of the managed API: public fields, constructors that store what they are given
// (arrays and lists themselves, no copies), no checks beyond those stated.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    /// <summary>A frame as translation and roll-pitch-yaw rotation.</summary>
    public class Frame
    {
        public double[] trans;
        public double[] rpy;

        /// <summary>Both zero.</summary>
        public Frame()
        {
            trans = new double[3];
            rpy = new double[3];
        }

        /// <summary>Elements 0-2 as the translation, 3-5 as the rotation; further ones are
        /// ignored. Fewer than six throw <see cref="IndexOutOfRangeException"/>.</summary>
        public Frame(double[] _frame)
        {
            if (_frame.Length < 6) throw new IndexOutOfRangeException();
            trans = new double[3];
            rpy = new double[3];
            Array.Copy(_frame, 0, trans, 0, 3);
            Array.Copy(_frame, 3, rpy, 0, 3);
        }

        /// <summary>Keeps the two arrays themselves.</summary>
        public Frame(double[] _trans, double[] _rpy)
        {
            trans = _trans;
            rpy = _rpy;
        }
    }

    /// <summary>A pose: a frame plus elbow angle, axis configuration and external axes.</summary>
    public class CartesianPosition : Frame
    {
        public double elbow;
        public List<int> confData;
        public List<double> external;

        public CartesianPosition()
        {
            elbow = 0.0;
            confData = new List<int>();
            external = new List<double>();
        }

        /// <summary>How a motion target is displaced before the move.</summary>
        public class Offset
        {
            public enum Type { none = 0, offs = 1, relTool = 2 }

            public Type type;
            public Frame frame;

            public Offset()
            {
                type = Type.none;
                frame = new Frame();
            }
        }
    }

    /// <summary>Joint values and external-axis values.</summary>
    public class JointPosition
    {
        public List<double> joints;
        public List<double> external;

        public JointPosition()
        {
            joints = new List<double>();
            external = new List<double>();
        }
    }

    /// <summary>A payload: mass, centre of gravity and inertia.</summary>
    public class Load
    {
        public double mass;
        public double[] cog;
        public double[] inertia;

        public Load(double m, double[] c, double[] i)
        {
            mass = m;
            cog = c;
            inertia = i;
        }

        public Load()
        {
            mass = 0.0;
            cog = new double[3];
            inertia = new double[3];
        }
    }

    /// <summary>The tool set in use: load, the tool's end frame and its reference frame.</summary>
    public class Toolset
    {
        public Load load;
        public Frame end;
        public Frame reference;

        public Toolset()
        {
            load = new Load();
            end = new Frame();
            reference = new Frame();
        }
    }

    /// <summary>A calibrated frame and the calibration's error figures.</summary>
    public class FrameCalibrationResult
    {
        public Frame frame;
        public double[] errors;

        public FrameCalibrationResult(Frame f, double[] e)
        {
            frame = f;
            errors = e;
        }

        public FrameCalibrationResult()
        {
            frame = new Frame();
            errors = new double[3];
        }
    }

    /// <summary>One entry of the controller's log.</summary>
    public class LogInfo
    {
        public readonly int id;
        public String timestamp;
        public String logText;
        public String repairHint;

        public LogInfo(int _id, String ts, String ct, String r)
        {
            id = _id;
            timestamp = ts;
            logText = ct;
            repairHint = r;
        }
    }

    /// <summary>One service data object of an EtherCAT slave.</summary>
    public class SDOData
    {
        public int index;
        public int sub_index;
        public int length;
        public int over_time;
        public int wait_time;
        public int print_data;
        public byte[] data;

        public SDOData()
        {
            data = new byte[50];
        }
    }

    /// <summary>One frame of the tool-end CAN bus.</summary>
    public class CANFrame
    {
        public int frame_id;
        public int frame_format;
        public int frame_type;
        public byte[] data;
        public int frame_valid_length;

        /// <summary>A null <paramref name="bytes"/> is kept as an empty array.</summary>
        public CANFrame(int id, int format, int type, byte[] bytes, int valid_len)
        {
            frame_id = id;
            frame_format = format;
            frame_type = type;
            data = bytes ?? new byte[0];
            frame_valid_length = valid_len;
        }

        /// <summary>A classic CAN frame (type 2) without data.</summary>
        public CANFrame()
        {
            frame_type = 2;
            data = new byte[0];
        }
    }

    /// <summary>One RL project on the controller.</summary>
    public class RLProjectInfo
    {
        public String name;
        public List<String> taskList;

        public RLProjectInfo(String n)
        {
            name = n;
            taskList = new List<String>();
        }
    }

    /// <summary>One tool or work object.</summary>
    public class WorkToolInfo
    {
        public String name;
        public String alias;
        public bool robotHeld;
        public Frame pos;
        public Load load;

        public WorkToolInfo(String n, String a, bool isHeld, Frame p, Load l)
        {
            name = n;
            alias = a;
            robotHeld = isHeld;
            pos = p;
            load = l;
        }

        public WorkToolInfo()
        {
            name = "";
            alias = "";
            pos = new Frame();
            load = new Load();
        }
    }
}
