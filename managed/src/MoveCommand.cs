// The one managed description of a non-real-time move, and how each move type becomes its
// native command (native/move_records.h has the blob layouts). The type-specific numbers of
// `args` are read, never padded in place: the caller's list stays as it was, so one command list
// may be used from two threads.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    /// <summary>A move of any type; what it means depends on the <see cref="Type"/> it is
    /// sent as. <c>args</c>: MoveCF angle and rotation type (0 constant pose, 1 rotation axis,
    /// 2 fixed axis; any other value 0); MoveSP radius, radius step, angle and direction (0
    /// one way, anything else the other); MoveWait the duration in seconds. Missing entries
    /// count as 0.</summary>
    public class MoveCommand
    {
        public enum Type { MoveL = 0, MoveJ = 1, MoveAbsJ = 2, MoveC = 3, MoveCF = 4, MoveSP = 5, MoveWait = 6 }

        public CartesianPosition cartTarget;
        public JointPosition jointTarget;
        public CartesianPosition auxPoint;
        public CartesianPosition.Offset cartTargetOffset;
        public CartesianPosition.Offset auxPointOffset;
        /// <summary>-1: the controller's default.</summary>
        public double speed;
        /// <summary>Negative: not sent.</summary>
        public double jointSpeed;
        /// <summary>Negative: not sent.</summary>
        public double rotSpeed;
        /// <summary>-1: the controller's default.</summary>
        public double zone;
        public String customInfo;
        public List<double> args;

        public MoveCommand()
        {
            cartTarget = new CartesianPosition();
            jointTarget = new JointPosition();
            auxPoint = new CartesianPosition();
            cartTargetOffset = new CartesianPosition.Offset();
            auxPointOffset = new CartesianPosition.Offset();
            speed = -1.0;
            jointSpeed = -1.0;
            rotSpeed = -1.0;
            zone = -1.0;
            customInfo = "";
            args = new List<double>();
        }
    }

    /// <summary>Move command lists in their crossing form.</summary>
    internal static class MoveCodec
    {
        /// <summary>Longest wait the native command takes, in milliseconds.</summary>
        private const double MaxWaitMs = int.MaxValue;

        /// <summary>Whether the type is one of the six move types with a command list.</summary>
        internal static bool IsMove(MoveCommand.Type type)
        {
            return type >= MoveCommand.Type.MoveL && type <= MoveCommand.Type.MoveSP;
        }

        /// <summary>The list of a move type as a blob; a null list or a null field the type uses
        /// throws <see cref="NullReferenceException"/>, a short pose array
        /// <see cref="IndexOutOfRangeException"/>, before anything is sent.</summary>
        internal static byte[] Encode(MoveCommand.Type type, List<MoveCommand> commands)
        {
            if (commands == null) throw new NullReferenceException();
            BlobWriter w = new BlobWriter();
            w.Count(commands.Count);
            foreach (MoveCommand c in commands) Write(w, type, c);
            return w.ToArray();
        }

        /// <summary>The wait of the first command in milliseconds: element 0 of its
        /// <c>args</c> in seconds, truncated; 0 for none, 0, a negative number or NaN; -1 for a
        /// wait the native command cannot hold (infinite or 2^31 ms and more), which the
        /// operation refuses with 259.</summary>
        internal static int WaitMs(List<MoveCommand> commands)
        {
            if (commands == null) throw new NullReferenceException();
            if (commands.Count == 0) throw new ArgumentOutOfRangeException("cmd", "the list holds no command");
            MoveCommand first = commands[0];
            if (first.args.Count == 0 || !(first.args[0] > 0.0)) return 0;
            double ms = Math.Truncate(first.args[0] * 1000.0);
            if (!(ms <= MaxWaitMs)) return -1;
            return (int)ms;
        }

        private static double Arg(MoveCommand c, int index)
        {
            return index < c.args.Count ? c.args[index] : 0.0;
        }

        /// <summary>Element 1 of MoveCF's <c>args</c> truncated toward zero; only 0, 1 and 2
        /// name a rotation type, and every other value (NaN included) is 0.</summary>
        internal static int RotType(MoveCommand c)
        {
            double value = Arg(c, 1);
            return value > -1.0 && value < 3.0 ? (int)value : 0;
        }

        private static void Write(BlobWriter w, MoveCommand.Type type, MoveCommand c)
        {
            switch (type)
            {
                case MoveCommand.Type.MoveL:
                case MoveCommand.Type.MoveJ:
                    RecordCodec.WritePose(w, c.cartTarget);
                    RecordCodec.WriteOffset(w, c.cartTargetOffset);
                    w.F64(c.speed);
                    w.F64(c.zone);
                    w.F64(type == MoveCommand.Type.MoveL ? c.rotSpeed : c.jointSpeed);
                    break;
                case MoveCommand.Type.MoveAbsJ:
                    RecordCodec.WriteDoubles(w, c.jointTarget.joints);
                    RecordCodec.WriteDoubles(w, c.jointTarget.external);
                    w.F64(c.speed);
                    w.F64(c.zone);
                    w.F64(c.jointSpeed);
                    break;
                case MoveCommand.Type.MoveC:
                case MoveCommand.Type.MoveCF:
                    RecordCodec.WritePose(w, c.cartTarget);
                    RecordCodec.WritePose(w, c.auxPoint);
                    RecordCodec.WriteOffset(w, c.cartTargetOffset);
                    RecordCodec.WriteOffset(w, c.auxPointOffset);
                    w.F64(c.speed);
                    w.F64(c.zone);
                    w.F64(c.rotSpeed);
                    w.Text(c.customInfo);
                    if (type == MoveCommand.Type.MoveCF)
                    {
                        w.F64(Arg(c, 0));
                        w.I32(RotType(c));
                    }
                    return;
                case MoveCommand.Type.MoveSP:
                    RecordCodec.WritePose(w, c.cartTarget);
                    RecordCodec.WriteOffset(w, c.cartTargetOffset);
                    w.F64(Arg(c, 0));
                    w.F64(Arg(c, 1));
                    w.F64(Arg(c, 2));
                    w.Flag(Arg(c, 3) != 0.0);
                    w.F64(c.speed);
                    w.F64(c.rotSpeed);
                    break;
                default:
                    throw new ArgumentException("no command list for move type " + type);
            }
            w.Text(c.customInfo);
        }
    }
}
