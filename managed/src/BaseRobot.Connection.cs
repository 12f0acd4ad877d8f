// Connection and information of a robot.

using System;

namespace velmora.clr
{
    public partial class BaseRobot
    {
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

        /// <summary>The library's own version; needs no robot.</summary>
        public static String sdkVersion()
        {
            return NativeCore.SdkVersion();
        }
    }
}
