// The real-time state stream and the state queries.

using System;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private const long NanosecondsPerMillisecond = 1000000;

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

        /// <summary>Takes at most one datagram within <paramref name="timeout_ms"/>: the bytes
        /// received, 0 for none.</summary>
        public uint updateRobotState(int timeout_ms)
        {
            uint received;
            NativeCore.Check(vel_robot_update_state(Handle, timeout_ms * NanosecondsPerMillisecond, out received));
            return received;
        }
    }
}
