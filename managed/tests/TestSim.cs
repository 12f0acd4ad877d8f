// Bindings of the test-only native library (libvelmora_testsim.so) and the base of every managed
// test: English messages unless a test says otherwise, and no native handle left behind.

using System;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    internal static class TestSim
    {
        private const string Library = "velmora_testsim";

        internal const int Pose = 1;
        internal const int Info = 2;
        internal const int WorkTools = 3;
        internal const int Logs = 4;
        internal const int Projects = 5;
        internal const int Slaves = 6;
        internal const int State = 7;
        internal const int Event = 8;
        internal const int Can = 9;
        internal const int Sdos = 10;
        internal const int Offset = 11;
        internal const int Texts = 12;
        internal const int Toolset = 13;
        internal const int Calibration = 14;
        internal const int Keypad = 15;

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_start(byte[] address, out SimHandle sim);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_stop(IntPtr sim);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_script_reply(SimHandle sim, byte[] form, byte[] key,
                                                         byte[] json, int times, int delayMs);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_request_count(SimHandle sim, byte[] key, out long count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_last_payload(SimHandle sim, byte[] key, out IntPtr json);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_unused_steps(SimHandle sim, out IntPtr text);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_set_info(SimHandle sim, byte[] json);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_set_log(SimHandle sim, byte[] json);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_robot_create(int kind, int waitMs, out RobotHandle robot, out long id);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_set_language(int english, out int previous);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_throw(int kind, byte[] text);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_make_error(int value, int category, out VelErr ec);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_text_echo(byte[] text, out IntPtr echo);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_bytes_echo(byte[] data, long length, out IntPtr echo);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_record_sample(int kind, byte[] json, out IntPtr blob);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_record_describe(int kind, byte[] blob, long length, out IntPtr json);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_enum_table(out IntPtr text);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_dummy_create(out DummyHandle dummy);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_dummy_destroy(IntPtr dummy);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_dummy_hold(DummyHandle dummy, int ms);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_dummy_stats(out long holding, out long destroyed);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_live_handles(out long count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_callbacks_wait_idle(int timeoutMs, out byte idle);

        /// <summary>Native handles alive now, buffers included.</summary>
        internal static long LiveHandles()
        {
            long count;
            NativeCore.Check(vts_live_handles(out count));
            return count;
        }

        /// <summary>Waits until no callback runs and every robot disposed inside its own
        /// callback is released.</summary>
        internal static bool WaitCallbacksIdle(int timeoutMs)
        {
            byte idle;
            NativeCore.Check(vts_callbacks_wait_idle(timeoutMs, out idle));
            return idle != 0;
        }

        internal static int SetLanguage(int english)
        {
            int previous;
            NativeCore.Check(vts_set_language(english, out previous));
            return previous;
        }

        /// <summary>An unconnected robot whose links wait <paramref name="waitMs"/> for a
        /// reply.</summary>
        internal static OstraMaxRobot OstraMaxWaiting(int waitMs)
        {
            RobotHandle created;
            long id;
            int status = vts_robot_create((int)RobotKind.OstraMax, waitMs, out created, out id);
            return new OstraMaxRobot(OwnedHandle.Adopt(status, created, false), id);
        }

        /// <summary>A native record made from JSON with the native field names, as the
        /// library would send it.</summary>
        internal static byte[] Sample(int kind, String json)
        {
            IntPtr blob;
            NativeCore.Check(vts_record_sample(kind, Utf8.ToNative(json), out blob));
            return NativeCore.TakeBytes(blob);
        }

        /// <summary>A blob as the library receives it, shown as JSON with the native field
        /// names.</summary>
        internal static String Describe(int kind, byte[] blob)
        {
            IntPtr json;
            NativeCore.Check(vts_record_describe(kind, blob, blob.Length, out json));
            return NativeCore.TakeText(json);
        }

        internal static String EnumTable()
        {
            IntPtr text;
            NativeCore.Check(vts_enum_table(out text));
            return NativeCore.TakeText(text);
        }

        internal static long DummiesHolding()
        {
            long holding, destroyed;
            NativeCore.Check(vts_dummy_stats(out holding, out destroyed));
            return holding;
        }

        internal static long DummiesDestroyed()
        {
            long holding, destroyed;
            NativeCore.Check(vts_dummy_stats(out holding, out destroyed));
            return destroyed;
        }

        /// <summary>A loopback address of the test's own (127.0.y.z, which the native tests
        /// never use), from its full name.</summary>
        internal static String TestAddress()
        {
            uint h = 2166136261u;
            foreach (byte b in Encoding.UTF8.GetBytes(TestContext.CurrentContext.Test.FullName))
                h = unchecked((h ^ b) * 16777619u);
            return String.Format("127.0.{0}.{1}", 1 + h % 254, 1 + (h >> 8) % 254);
        }
    }

    internal sealed class SimHandle : OwnedHandle
    {
        protected override bool ReleaseHandle()
        {
            return TestSim.vts_sim_stop(handle) == NativeCore.Ok;
        }
    }

    internal sealed class DummyHandle : OwnedHandle
    {
        protected override bool ReleaseHandle()
        {
            return TestSim.vts_dummy_destroy(handle) == NativeCore.Ok;
        }
    }

    /// <summary>Base of the managed tests.</summary>
    public abstract class ManagedTest
    {
        private int language_;

        [SetUp]
        public void StartNative()
        {
            language_ = TestSim.SetLanguage(1);
        }

        /// <summary>Every test leaves the process without a native object: buffers, robots and
        /// simulators included.</summary>
        [TearDown]
        public void CheckNative()
        {
            TestSim.SetLanguage(language_);
            Assert.AreEqual(0, TestSim.LiveHandles(), "native handles left alive");
        }

        /// <summary>Polls <paramref name="condition"/> until it holds or the time is up;
        /// whether it held.</summary>
        protected static bool WaitUntil(Func<bool> condition, int timeoutMs)
        {
            DateTime end = DateTime.UtcNow.AddMilliseconds(timeoutMs);
            while (!condition())
            {
                if (DateTime.UtcNow > end) return false;
                Thread.Sleep(5);
            }
            return true;
        }
    }
}
