// Events and the connection handler of a robot. Native code calls two static entry points,
// registered once, with the robot's id; the entry points look up the robot's current callbacks
// here. So a replaced or collected delegate is never called from native code, a callback that
// throws never ends the process, and nothing enters managed code once the runtime shuts down.

using System;
using System.Collections.Concurrent;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Threading;

namespace velmora.clr
{
    /// <summary>A program's callback for one event type; it runs on a native thread of the
    /// robot and should return quickly.</summary>
    public delegate void EventCallbackDelegate(Dictionary<String, Object> info);

    /// <summary>A program's connection handler: true when the link comes up, false when it is
    /// lost.</summary>
    public delegate void ConnectionHandlerDelegate(bool connected);

    /// <summary>The callbacks of one robot. Each is replaced by one reference store and read
    /// once per call, so a registration made meanwhile takes effect from the next call.</summary>
    internal sealed class RobotCallbacks
    {
        internal const int EventTypes = 4;

        private readonly EventCallbackDelegate[] events_ = new EventCallbackDelegate[EventTypes];
        private ConnectionHandlerDelegate connection_;

        internal EventCallbackDelegate Event(int type)
        {
            return type >= 0 && type < EventTypes ? Volatile.Read(ref events_[type]) : null;
        }

        internal void SetEvent(int type, EventCallbackDelegate callback)
        {
            Volatile.Write(ref events_[type], callback);
        }

        internal ConnectionHandlerDelegate Connection
        {
            get { return Volatile.Read(ref connection_); }
            set { Volatile.Write(ref connection_, value); }
        }
    }

    /// <summary>Callbacks by robot id. An id is never reused, so a late call for a disposed
    /// robot finds nothing and is dropped.</summary>
    internal static class RobotCallbackTable
    {
        private static readonly ConcurrentDictionary<long, RobotCallbacks> robots_ =
            new ConcurrentDictionary<long, RobotCallbacks>();

        internal static RobotCallbacks For(long id)
        {
            return robots_.GetOrAdd(id, _ => new RobotCallbacks());
        }

        internal static RobotCallbacks Find(long id)
        {
            RobotCallbacks callbacks;
            return robots_.TryGetValue(id, out callbacks) ? callbacks : null;
        }

        internal static void Forget(long id)
        {
            RobotCallbacks removed;
            robots_.TryRemove(id, out removed);
        }

        internal static int Count { get { return robots_.Count; } }
    }

    /// <summary>The two entry points of native callbacks.</summary>
    internal static partial class CallbackEntries
    {
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        private delegate void EventEntry(long robotId, int type, IntPtr info, int length);

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        private delegate void ConnectionEntry(long robotId, byte connected);

        /// <summary>How long the exit waits for callbacks still running.</summary>
        private const int ExitWaitMs = 2000;

        // Static fields: these delegates live as long as the process, so the pointers native
        // code holds never dangle.
        private static readonly EventEntry eventEntry_ = OnEvent;
        private static readonly ConnectionEntry connectionEntry_ = OnConnection;
        private static volatile bool closed_;

        static CallbackEntries()
        {
            NativeCore.Check(vel_set_callbacks(eventEntry_, connectionEntry_));
            AppDomain.CurrentDomain.ProcessExit += OnProcessExit;
        }

        /// <summary>Registers the entry points, once per process.</summary>
        internal static void Ensure()
        {
        }

        private static void OnProcessExit(object sender, EventArgs e)
        {
            closed_ = true;
            byte drained;
            vel_callbacks_shutdown(ExitWaitMs, out drained);
        }

        private static void OnEvent(long robotId, int type, IntPtr info, int length)
        {
            if (closed_) return;
            try
            {
                RobotCallbacks callbacks = RobotCallbackTable.Find(robotId);
                EventCallbackDelegate callback = callbacks != null ? callbacks.Event(type) : null;
                if (callback == null) return;
                byte[] blob = new byte[Math.Max(length, 0)];
                if (blob.Length > 0) Marshal.Copy(info, blob, 0, blob.Length);
                callback(_convertCallback(blob));
            }
            catch (Exception e)
            {
                Report(((Event)type).ToString(), e);
            }
        }

        private static void OnConnection(long robotId, byte connected)
        {
            if (closed_) return;
            try
            {
                RobotCallbacks callbacks = RobotCallbackTable.Find(robotId);
                ConnectionHandlerDelegate handler = callbacks != null ? callbacks.Connection : null;
                if (handler != null) handler(connected != 0);
            }
            catch (Exception e)
            {
                Report("connection", e);
            }
        }

        // An exception leaving a callback on a native thread would end the process; it is told
        // on the error stream instead, and later events still come.
        private static void Report(String callback, Exception e)
        {
            try
            {
                Console.Error.WriteLine("velmora.clr: {0} callback threw {1}: {2}", callback, e.GetType().FullName,
                                        e.Message);
            }
            catch (Exception)
            {
            }
        }

        /// <summary>An event's information as the program sees it: int, double, String, bool
        /// and <see cref="ErrorCode"/> values by name.</summary>
        internal static Dictionary<String, Object> _convertCallback(byte[] info)
        {
            return RecordCodec.Decode(info, RecordCodec.ReadEventInfo);
        }
    }

    public partial class BaseRobot
    {
        /// <summary>Registers <paramref name="callback"/> for one event type of this robot,
        /// replacing the earlier one; null mutes the event and keeps it watched. The callback
        /// runs on a native thread of the robot, at the same time as other event types'; what
        /// it throws is written to the error stream. A type outside <see cref="Event"/> gives
        /// 259 and watches nothing.</summary>
        public void setEventWatcher(Event eventType, EventCallbackDelegate callback, out ErrorCode ec)
        {
            RobotHandle robot = Handle;
            CallbackEntries.Ensure();
            int type = (int)eventType;
            if (type >= 0 && type < RobotCallbacks.EventTypes) CallbacksForRegistration().SetEvent(type, callback);
            VelErr e;
            NativeCore.Check(vel_robot_watch_event(robot, type, out e));
            ec = Conversions.convertErrorCode(e);
        }

        /// <summary>Installs the connection handler, replacing the earlier one; null removes
        /// it. It runs on the I/O thread of the robot's command link: an operation of this robot
        /// called from it would wait for a reply that thread has to read, and end with 263
        /// after the request wait.</summary>
        public void setConnectionHandler(ConnectionHandlerDelegate handler)
        {
            RobotHandle robot = Handle;
            CallbackEntries.Ensure();
            CallbacksForRegistration().Connection = handler;
            NativeCore.Check(vel_robot_set_connection_handler(robot));
        }
    }
}
