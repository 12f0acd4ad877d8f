// Connection and information of a robot.

using System;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_connect(RobotHandle robot, byte[] remoteIP, byte[] localIP);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_reconnect(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_disconnect(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_info(RobotHandle robot, out IntPtr info, out VelErr ec);

        /// <summary>Connects to new addresses; a failure throws <see cref="ApiException"/>
        /// with the native text and leaves the robot disconnected.</summary>
        public void connectToRobot(String remoteIP, String localIP)
        {
            NativeCore.Check(vel_robot_connect(Handle, Conversions.convertString(remoteIP),
                                               Conversions.convertString(localIP)));
        }

        /// <summary>As the two-address form with the empty local address.</summary>
        public void connectToRobot(String remoteIP)
        {
            connectToRobot(remoteIP, "");
        }

        /// <summary>Reconnects to the addresses given before; a failure arrives in
        /// <paramref name="ec"/>.</summary>
        public void connectToRobot(out ErrorCode ec)
        {
            VelErr e;
            NativeCore.Check(vel_robot_reconnect(Handle, out e));
            ec = Conversions.convertErrorCode(e);
        }

        public void disconnectFromRobot(out ErrorCode ec)
        {
            VelErr e;
            NativeCore.Check(vel_robot_disconnect(Handle, out e));
            ec = Conversions.convertErrorCode(e);
        }

        /// <summary>The controller's identity; texts as UTF-8, empty on failure.</summary>
        public Info robotInfo(out ErrorCode ec)
        {
            IntPtr info;
            VelErr e;
            NativeCore.Check(vel_robot_info(Handle, out info, out e));
            byte[] blob = NativeCore.TakeBytes(info);
            ec = Conversions.convertErrorCode(e);
            return RecordCodec.Decode(blob, RecordCodec.ReadInfo);
        }

        /// <summary>The library's own version; needs no robot.</summary>
        public static String sdkVersion()
        {
            return NativeCore.SdkVersion();
        }
    }
}
