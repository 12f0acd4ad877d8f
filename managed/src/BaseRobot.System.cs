// System operations of a robot: power, modes, state, reboot, servo alarm, simulation, teach
// pendant, time, recovery, posture and the controller's log.

using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private const int PostureValues = 6;
        private const int MinLogEntry = 4 + 3 * 4;

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_power_state(RobotHandle robot, out int state, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_power_state(RobotHandle robot, byte on, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_operate_mode(RobotHandle robot, out int mode, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_operate_mode(RobotHandle robot, int mode, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_operation_state(RobotHandle robot, out int state, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_reboot_system(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_shutdown_system(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_clear_servo_alarm(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_simulation_mode(RobotHandle robot, byte on, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_teach_pendant_mode(RobotHandle robot, byte enable, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_config_ntp(RobotHandle robot, byte[] serverIP, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_sync_time_with_server(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_recover_state(RobotHandle robot, int item, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_posture(RobotHandle robot, int coordinate, [Out] double[] pose,
                                                    out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_query_controller_log(RobotHandle robot, uint count, int[] levels,
                                                                 int levelCount, uint offset, out IntPtr logs,
                                                                 out VelErr ec);

        /// <summary>Throws <see cref="ApiException"/> for a failed export, else the crossed
        /// code.</summary>
        internal static ErrorCode Done(int status, VelErr e)
        {
            NativeCore.Check(status);
            return Conversions.convertErrorCode(e);
        }

        public PowerState powerState(out ErrorCode ec)
        {
            int state;
            VelErr e;
            ec = Done(vel_robot_power_state(Handle, out state, out e), e);
            return (PowerState)state;
        }

        public void setPowerState(bool on, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_set_power_state(Handle, Conversions.flag(on), out e), e);
        }

        public OperateMode operateMode(out ErrorCode ec)
        {
            int mode;
            VelErr e;
            ec = Done(vel_robot_operate_mode(Handle, out mode, out e), e);
            return (OperateMode)mode;
        }

        public void setOperateMode(OperateMode mode, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_set_operate_mode(Handle, (int)mode, out e), e);
        }

        public OperationState operationState(out ErrorCode ec)
        {
            int state;
            VelErr e;
            ec = Done(vel_robot_operation_state(Handle, out state, out e), e);
            return (OperationState)state;
        }

        public void rebootSystem(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_reboot_system(Handle, out e), e);
        }

        public void shutdownSystem(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_shutdown_system(Handle, out e), e);
        }

        public void clearServoAlarm(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_clear_servo_alarm(Handle, out e), e);
        }

        public void setSimulationMode(bool state, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_set_simulation_mode(Handle, Conversions.flag(state), out e), e);
        }

        public void setTeachPendantMode(bool enable, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_set_teach_pendant_mode(Handle, Conversions.flag(enable), out e), e);
        }

        public void configNtp(String server_ip, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_config_ntp(Handle, Conversions.convertString(server_ip), out e), e);
        }

        public void syncTimeWithServer(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_sync_time_with_server(Handle, out e), e);
        }

        public void recoverState(int item, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_recover_state(Handle, item, out e), e);
        }

        /// <summary>x, y, z, rx, ry, rz.</summary>
        public double[] posture(CoordinateType ct, out ErrorCode ec)
        {
            double[] pose = new double[PostureValues];
            VelErr e;
            ec = Done(vel_robot_posture(Handle, (int)ct, pose, out e), e);
            return pose;
        }

        /// <summary>Up to <paramref name="count"/> entries of the given levels (duplicates
        /// count once, null is none), newest first from <paramref name="offset"/> on; texts as
        /// the controller wrote them.</summary>
        public List<LogInfo> queryControllerLog(uint count, LogInfoLevel[] levels, uint offset, out ErrorCode ec)
        {
            int[] values = new int[levels == null ? 0 : levels.Length];
            for (int i = 0; i < values.Length; ++i) values[i] = (int)levels[i];
            IntPtr logs;
            VelErr e;
            int status = vel_robot_query_controller_log(Handle, count, values, values.Length, offset, out logs, out e);
            NativeCore.Check(status);
            byte[] blob = NativeCore.TakeBytes(logs);
            ec = Conversions.convertErrorCode(e);
            return RecordCodec.Decode(blob, r => RecordCodec.ReadList(r, RecordCodec.ReadLogInfo, MinLogEntry));
        }

        /// <summary>As the list form for one level, from the newest entry on.</summary>
        public List<LogInfo> queryControllerLog(uint count, LogInfoLevel level, out ErrorCode ec)
        {
            return queryControllerLog(count, new LogInfoLevel[] { level }, 0, out ec);
        }
    }
}
