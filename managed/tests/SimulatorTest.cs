// Base of the tests that talk to the simulator: one simulator per test on the test's own
// address, and robots disposed before the check that no native handle is left alive.

using System;
using System.Collections.Generic;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    public abstract class SimulatorTest : ManagedTest
    {
        private SimHandle sim_;
        private readonly List<IDisposable> owned_ = new List<IDisposable>();

        protected String Address { get; private set; }

        internal SimHandle Sim { get { return sim_; } }

        [SetUp]
        public void StartSimulator()
        {
            Address = TestSim.TestAddress();
            SimHandle created;
            int status = TestSim.vts_sim_start(Utf8.ToNative(Address), out created);
            sim_ = OwnedHandle.Adopt(status, created, false);
        }

        [TearDown]
        public void StopSimulator()
        {
            foreach (IDisposable o in owned_) o.Dispose();
            owned_.Clear();
            IntPtr unused;
            NativeCore.Check(TestSim.vts_sim_unused_steps(sim_, out unused));
            String steps = NativeCore.TakeText(unused);
            sim_.Dispose();
            Assert.AreEqual("", steps, "scripted steps never used");
        }

        /// <summary>Disposed at the end of the test, before the handle check.</summary>
        protected T Own<T>(T disposable) where T : IDisposable
        {
            owned_.Add(disposable);
            return disposable;
        }

        /// <summary>Replies <paramref name="json"/> to requests of <paramref name="form"/>
        /// ("c", "g", "s") and <paramref name="key"/>, <paramref name="delayMs"/> late, for the
        /// next <paramref name="times"/> requests (0: for ever).</summary>
        protected void Script(String form, String key, String json, int times = 1, int delayMs = 0)
        {
            NativeCore.Check(TestSim.vts_sim_script_reply(sim_, Utf8.ToNative(form), Utf8.ToNative(key),
                                                          Utf8.ToNative(json), times, delayMs));
        }

        protected long Requests(String key)
        {
            long count;
            NativeCore.Check(TestSim.vts_sim_request_count(sim_, Utf8.ToNative(key), out count));
            return count;
        }

        /// <summary>Compact JSON of the last payload of <paramref name="key"/>, "" when none
        /// came.</summary>
        protected String LastPayload(String key)
        {
            IntPtr payload;
            NativeCore.Check(TestSim.vts_sim_last_payload(sim_, Utf8.ToNative(key), out payload));
            return NativeCore.TakeText(payload);
        }

        protected void SetInfo(String json)
        {
            NativeCore.Check(TestSim.vts_sim_set_info(sim_, Utf8.ToNative(json)));
        }

        protected void SetLog(String json)
        {
            NativeCore.Check(TestSim.vts_sim_set_log(sim_, Utf8.ToNative(json)));
        }
    }
}
