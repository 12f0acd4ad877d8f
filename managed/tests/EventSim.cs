// Bindings of the simulator's pushes, dropped links and later requests for the event and motion
// tests, and their base: a connected arm per test and no callback left running after it.

using System;
using System.Runtime.InteropServices;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    internal static class EventSim
    {
        private const string Library = "velmora_testsim";

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_publish(SimHandle sim, byte[] topics, out int delivered);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_drop_connections(SimHandle sim);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_wait_request(SimHandle sim, byte[] key, int nth, int timeoutMs,
                                                        out IntPtr payload);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_clear_log(SimHandle sim);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_sim_finish_motion(SimHandle sim, out int finished);

        internal static int Publish(SimHandle sim, String topics)
        {
            int delivered;
            NativeCore.Check(vts_sim_publish(sim, Utf8.ToNative(topics), out delivered));
            return delivered;
        }
    }

    public abstract class EventSimTest : SimulatorTest
    {
        /// <summary>Long enough for a delivery on a loaded machine.</summary>
        protected const int DeliveryMs = 5000;

        /// <summary>No callback still running and every robot disposed inside its own
        /// callback released, before the check that no native handle is left.</summary>
        [TearDown]
        public void WaitForCallbacks()
        {
            Assert.IsTrue(TestSim.WaitCallbacksIdle(DeliveryMs), "callbacks still running");
        }

        protected int Publish(String topics)
        {
            return EventSim.Publish(Sim, topics);
        }

        protected void DropConnections()
        {
            NativeCore.Check(EventSim.vts_sim_drop_connections(Sim));
        }

        protected void ClearLog()
        {
            NativeCore.Check(EventSim.vts_sim_clear_log(Sim));
        }

        /// <summary>Compact JSON of the <paramref name="nth"/> request of <paramref name="key"/>
        /// (from 1), waiting for it; "" when it did not come.</summary>
        protected String WaitRequest(String key, int nth = 1, int timeoutMs = DeliveryMs)
        {
            IntPtr payload;
            NativeCore.Check(EventSim.vts_sim_wait_request(Sim, Utf8.ToNative(key), nth, timeoutMs, out payload));
            return NativeCore.TakeText(payload);
        }

        protected int FinishMotion()
        {
            int finished;
            NativeCore.Check(EventSim.vts_sim_finish_motion(Sim, out finished));
            return finished;
        }

        protected static void AssertCode(int expected, ErrorCode ec)
        {
            Assert.AreEqual(expected, ec.value, ec.message);
        }
    }
}
