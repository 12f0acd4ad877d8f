// Path recording and replay of collaborative arms.

using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    public partial class Cobot
    {
        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_start_record_path(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_stop_record_path(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_cancel_record_path(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_save_record_path(RobotHandle robot, byte[] name, byte[] saveAs,
                                                             out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_replay_path(RobotHandle robot, byte[] name, double rate, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_remove_path(RobotHandle robot, byte[] name, byte removeAll,
                                                        out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_query_path_lists(RobotHandle robot, out IntPtr names, out VelErr ec);

        /// <summary>Starts recording the arm's path for 30 s.</summary>
        public void startRecordPath(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_start_record_path(Handle, out e), e);
        }

        public void stopRecordPath(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_stop_record_path(Handle, out e), e);
        }

        public void cancelRecordPath(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_cancel_record_path(Handle, out e), e);
        }

        /// <summary>Saves the last recording as <paramref name="name"/>; a
        /// <paramref name="saveAs"/> that is not empty names the saved path instead.</summary>
        public void saveRecordPath(String name, String saveAs, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_save_record_path(Handle, Conversions.convertString(name),
                                                                Conversions.convertString(saveAs), out e), e);
        }

        public void replayPath(String name, double rate, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_replay_path(Handle, Conversions.convertString(name), rate, out e), e);
        }

        public void removePath(String name, bool removeAll, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_remove_path(Handle, Conversions.convertString(name),
                                                           Conversions.flag(removeAll), out e), e);
        }

        public List<String> queryPathLists(out ErrorCode ec)
        {
            IntPtr names;
            VelErr e;
            int status = vel_cobot_query_path_lists(Handle, out names, out e);
            NativeCore.Check(status);
            List<String> list = OperationCalls.TextList(names);
            ec = Conversions.convertErrorCode(e);
            return list;
        }
    }
}
