// Non-real-time motion: command lists, motion settings, jogging, online adjustment, path
// checks, singularity avoidance and posture interpolation.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        /// <summary>Singularity avoidance, for the arm classes that offer it.</summary>
        internal ErrorCode SetAvoidSingularityOf(AvoidSingularityMethod method, bool enable, double limit)
        {
            VelErr e;
            int status = vel_robot_set_avoid_singularity(Handle, (int)method, Conversions.flag(enable), limit, out e);
            return Done(status, e);
        }

        internal bool GetAvoidSingularityOf(AvoidSingularityMethod method, out ErrorCode ec)
        {
            byte enabled;
            VelErr e;
            ec = Done(vel_robot_get_avoid_singularity(Handle, (int)method, out enabled, out e), e);
            return enabled != 0;
        }

        // ---- Command lists ----

        /// <summary>Sends the list at once, bypassing the queue. MoveWait and a type outside
        /// <see cref="MoveCommand.Type"/> give 259 and send nothing.</summary>
        public void executeCommand(MoveCommand.Type type, List<MoveCommand> cmd, out ErrorCode ec)
        {
            RobotHandle robot = Handle;
            byte[] blob = MoveCodec.IsMove(type) ? MoveCodec.Encode(type, cmd) : new byte[0];
            VelErr e;
            NativeCore.Check(vel_robot_execute_command(robot, (int)type, blob, blob.Length, out e));
            ec = Conversions.convertErrorCode(e);
        }

        /// <summary>Queues the list as one batch; <paramref name="cmdId"/> gets the batch's id,
        /// or keeps its text when none was assigned. MoveWait queues one wait of the first
        /// command's <c>args[0]</c> seconds (an empty list throws
        /// <see cref="ArgumentOutOfRangeException"/>; a wait of 2^31 ms or more gives 259);
        /// a type outside <see cref="MoveCommand.Type"/> gives 259.</summary>
        public void moveAppend(MoveCommand.Type type, List<MoveCommand> cmd, ref String cmdId, out ErrorCode ec)
        {
            RobotHandle robot = Handle;
            IntPtr idOut;
            VelErr e;
            if (type == MoveCommand.Type.MoveWait)
            {
                int ms = MoveCodec.WaitMs(cmd);
                if (ms < 0)
                {
                    ec = Conversions.argumentInvalid();
                    return;
                }
                NativeCore.Check(vel_robot_move_append_wait(robot, ms, Conversions.convertString(cmdId), out idOut,
                                                            out e));
            }
            else
            {
                byte[] blob = MoveCodec.IsMove(type) ? MoveCodec.Encode(type, cmd) : new byte[0];
                NativeCore.Check(vel_robot_move_append(robot, (int)type, blob, blob.Length,
                                                       Conversions.convertString(cmdId), out idOut, out e));
            }
            cmdId = NativeCore.TakeText(idOut);
            ec = Conversions.convertErrorCode(e);
        }

        /// <summary>As the list form with a list of <paramref name="cmd"/> alone.</summary>
        public void moveAppend(MoveCommand.Type type, MoveCommand cmd, ref String cmdId, out ErrorCode ec)
        {
            moveAppend(type, new List<MoveCommand> { cmd }, ref cmdId, out ec);
        }

        // ---- Path checks ----

        private static byte[] PosesBlob(params CartesianPosition[] poses)
        {
            if (poses == null) throw new NullReferenceException();
            BlobWriter w = new BlobWriter();
            RecordCodec.WritePoses(w, poses);
            return w.ToArray();
        }

        private static double[] Doubles(IntPtr blob)
        {
            return RecordCodec.Decode(NativeCore.TakeBytes(blob), RecordCodec.ReadDoubles).ToArray();
        }

        /// <summary>The joint values the controller computes for a line from the start to the
        /// target.</summary>
        public double[] checkPath(CartesianPosition start, double[] start_joint, CartesianPosition target,
                                  out ErrorCode ec)
        {
            RobotHandle robot = Handle;
            if (start_joint == null) throw new NullReferenceException();
            byte[] poses = PosesBlob(start, target);
            IntPtr joints;
            VelErr e;
            NativeCore.Check(vel_robot_check_path_line(robot, poses, poses.Length, start_joint, start_joint.Length,
                                                       out joints, out e));
            ec = Conversions.convertErrorCode(e);
            return Doubles(joints);
        }

        /// <summary>As the line form along a circle through <paramref name="aux1"/> to
        /// <paramref name="aux2"/>; <paramref name="rot_type"/> is truncated to a rotation type
        /// (0 constant pose, 1 rotation axis, 2 fixed axis).</summary>
        public double[] checkPath(CartesianPosition start, double[] start_joint, CartesianPosition aux1,
                                  CartesianPosition aux2, double angle, double rot_type, out ErrorCode ec)
        {
            RobotHandle robot = Handle;
            if (start_joint == null) throw new NullReferenceException();
            byte[] poses = PosesBlob(start, aux1, aux2);
            int rotType = rot_type > -1.0 && rot_type < 3.0 ? (int)rot_type : 0;
            IntPtr joints;
            VelErr e;
            NativeCore.Check(vel_robot_check_path_circle(robot, poses, poses.Length, start_joint, start_joint.Length,
                                                         angle, rotType, out joints, out e));
            ec = Conversions.convertErrorCode(e);
            return Doubles(joints);
        }

        public double[] checkPath(CartesianPosition start, double[] start_joint, CartesianPosition aux,
                                  CartesianPosition target, out ErrorCode ec)
        {
            return checkPath(start, start_joint, aux, target, 0.0, 0.0, out ec);
        }

        /// <summary>As the line form along every target in order: 0, or after a refusal the
        /// index + 1 of the target the controller names.</summary>
        public int checkPath(double[] start_joint, CartesianPosition[] targets, out double[] target_joint_calculated,
                             out ErrorCode ec)
        {
            RobotHandle robot = Handle;
            if (start_joint == null) throw new NullReferenceException();
            byte[] poses = PosesBlob(targets);
            IntPtr joints;
            int result;
            VelErr e;
            NativeCore.Check(vel_robot_check_path_points(robot, start_joint, start_joint.Length, poses, poses.Length,
                                                         out joints, out result, out e));
            target_joint_calculated = Doubles(joints);
            ec = Conversions.convertErrorCode(e);
            return result;
        }
    }

    public partial class StandardRobot
    {
        public void setAvoidSingularity(AvoidSingularityMethod method, bool enable, double limit, out ErrorCode ec)
        {
            ec = SetAvoidSingularityOf(method, enable, limit);
        }

        public bool getAvoidSingularity(AvoidSingularityMethod method, out ErrorCode ec)
        {
            return GetAvoidSingularityOf(method, out ec);
        }
    }

    public partial class OstraRobot
    {
        public void setAvoidSingularity(AvoidSingularityMethod method, bool enable, double limit, out ErrorCode ec)
        {
            ec = SetAvoidSingularityOf(method, enable, limit);
        }

        public bool getAvoidSingularity(AvoidSingularityMethod method, out ErrorCode ec)
        {
            return GetAvoidSingularityOf(method, out ec);
        }
    }
}
