// System operations of a robot written by hand: the controller's log. The others (power, modes,
// reboot, servo alarm, simulation, teach pendant, time, recovery, posture) are generated from
// managed/abi/operations.toml.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private const int PostureValues = 6;
        private const int MinLogEntry = 4 + 3 * 4;

        /// <summary>Throws <see cref="ApiException"/> for a failed export, else the crossed
        /// code.</summary>
        internal static ErrorCode Done(int status, VelErr e)
        {
            NativeCore.Check(status);
            return Conversions.convertErrorCode(e);
        }

        /// <summary>As the list form for one level, from the newest entry on.</summary>
        public List<LogInfo> queryControllerLog(uint count, LogInfoLevel level, out ErrorCode ec)
        {
            return queryControllerLog(count, new LogInfoLevel[] { level }, 0, out ec);
        }
    }
}
