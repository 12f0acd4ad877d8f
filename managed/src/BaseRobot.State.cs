// The real-time state stream and the state queries.

using System;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private const long NanosecondsPerMillisecond = 1000000;

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_start_receive_state(RobotHandle robot, long intervalNs, byte[] fields,
                                                                long fieldsLength);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_stop_receive_state(RobotHandle robot);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_update_state(RobotHandle robot, long timeoutNs, out uint received);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_state_double(RobotHandle robot, byte[] name, out double data,
                                                         out int result);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_state_u64(RobotHandle robot, byte[] name, out ulong data, out int result);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_state_doubles(RobotHandle robot, byte[] name, out IntPtr data,
                                                          out int result);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_state_list(RobotHandle robot, out IntPtr state, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_joint_pos(RobotHandle robot, out IntPtr values, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_joint_vel(RobotHandle robot, out IntPtr values, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_joint_torque(RobotHandle robot, out IntPtr values, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_cart_posture(RobotHandle robot, int coordinate, out IntPtr pose,
                                                         out VelErr ec);

        private delegate int ListCall(RobotHandle robot, out IntPtr values, out VelErr ec);

        private double[] DoublesQuery(ListCall call, out ErrorCode ec)
        {
            IntPtr values;
            VelErr e;
            int status = call(Handle, out values, out e);
            NativeCore.Check(status);
            double[] read = OperationCalls.Doubles(values);
            ec = Conversions.convertErrorCode(e);
            return read;
        }

        /// <summary>Subscribes <paramref name="fields"/> (null: none) every
        /// <paramref name="interval"/> milliseconds and waits for the first datagram; throws
        /// <see cref="ApiException"/> with the native text on failure, and
        /// <see cref="NotSupportedException"/> on 3- and 4-axis arms, which have no
        /// stream.</summary>
        public void startReceiveRobotState(int interval, String[] fields)
        {
            RequireStateStream();
            byte[] names = OperationCalls.Texts(fields);
            NativeCore.Check(vel_robot_start_receive_state(Handle, interval * NanosecondsPerMillisecond, names,
                                                           names.Length));
        }

        public void stopReceiveRobotState()
        {
            NativeCore.Check(vel_robot_stop_receive_state(Handle));
        }

        /// <summary>Takes at most one datagram within <paramref name="timeout_ms"/>: the bytes
        /// received, 0 for none.</summary>
        public uint updateRobotState(int timeout_ms)
        {
            uint received;
            NativeCore.Check(vel_robot_update_state(Handle, timeout_ms * NanosecondsPerMillisecond, out received));
            return received;
        }

        /// <summary>0, or -1 for a field not subscribed or of another kind.</summary>
        public int getStateData(String name, out double data)
        {
            int result;
            NativeCore.Check(vel_robot_state_double(Handle, Conversions.convertString(name), out data, out result));
            return result;
        }

        public int getStateData(String name, out ulong data)
        {
            int result;
            NativeCore.Check(vel_robot_state_u64(Handle, Conversions.convertString(name), out data, out result));
            return result;
        }

        public int getStateData(String name, out double[] data)
        {
            IntPtr values;
            int result;
            NativeCore.Check(vel_robot_state_doubles(Handle, Conversions.convertString(name), out values, out result));
            data = OperationCalls.Doubles(values);
            return result;
        }

        public StateList getStateList(out ErrorCode ec)
        {
            IntPtr state;
            VelErr e;
            int status = vel_robot_state_list(Handle, out state, out e);
            NativeCore.Check(status);
            StateList list = RecordCodec.Decode(NativeCore.TakeBytes(state), RecordCodec.ReadStateList);
            ec = Conversions.convertErrorCode(e);
            return list;
        }

        public double[] jointPos(out ErrorCode ec)
        {
            return DoublesQuery(vel_robot_joint_pos, out ec);
        }

        public double[] jointVel(out ErrorCode ec)
        {
            return DoublesQuery(vel_robot_joint_vel, out ec);
        }

        /// <summary>One value per joint of the arm class.</summary>
        public double[] jointTorque(out ErrorCode ec)
        {
            return DoublesQuery(vel_robot_joint_torque, out ec);
        }

        public CartesianPosition cartPosture(CoordinateType ct, out ErrorCode ec)
        {
            IntPtr pose;
            VelErr e;
            int status = vel_robot_cart_posture(Handle, (int)ct, out pose, out e);
            NativeCore.Check(status);
            CartesianPosition read = RecordCodec.Decode(NativeCore.TakeBytes(pose), RecordCodec.ReadPose);
            ec = Conversions.convertErrorCode(e);
            return read;
        }
    }
}
