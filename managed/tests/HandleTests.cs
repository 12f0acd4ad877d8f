using System;
using System.Collections.Generic;
using System.Threading;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>The lifetime rules every owned native object follows, on handles with nothing
    /// behind them.</summary>
    [TestFixture]
    public class HandleTests : ManagedTest
    {
        private static DummyHandle Create(bool finalizable)
        {
            DummyHandle created;
            int status = TestSim.vts_dummy_create(out created);
            return OwnedHandle.Adopt(status, created, finalizable);
        }

        [Test]
        public void SecondDisposeDoesNothingAndLaterCallsThrow()
        {
            long live = TestSim.LiveHandles();
            long destroyed = TestSim.DummiesDestroyed();
            DummyHandle dummy = Create(false);
            Assert.AreEqual(live + 1, TestSim.LiveHandles());

            dummy.Dispose();
            dummy.Dispose();

            Assert.AreEqual(destroyed + 1, TestSim.DummiesDestroyed());
            Assert.AreEqual(live, TestSim.LiveHandles());
            Assert.Throws<ObjectDisposedException>(() => TestSim.vts_dummy_hold(dummy.Checked(), 0));
        }

        [Test]
        public void DisposeDuringACallReleasesWhenTheCallReturns()
        {
            long destroyed = TestSim.DummiesDestroyed();
            DummyHandle dummy = Create(false);
            int status = -1;
            Thread caller = new Thread(() => status = TestSim.vts_dummy_hold(dummy.Checked(), 300));
            caller.Start();
            WaitUntil(() => TestSim.DummiesHolding() == 1, 5000);
            Assert.AreEqual(1, TestSim.DummiesHolding(), "the call never started");

            dummy.Dispose();
            Assert.AreEqual(destroyed, TestSim.DummiesDestroyed(), "released under a running call");
            Assert.Throws<ObjectDisposedException>(() => TestSim.vts_dummy_hold(dummy.Checked(), 0));

            Assert.IsTrue(caller.Join(5000));
            Assert.AreEqual(NativeCore.Ok, status);
            Assert.AreEqual(destroyed + 1, TestSim.DummiesDestroyed());
        }

        [Test]
        public void OwnedObjectsWithoutFinalizerAreNeverCollectedAway()
        {
            long destroyed = TestSim.DummiesDestroyed();
            List<IntPtr> raw = new List<IntPtr>();
            // Made on a thread that then ends, so no stale stack slot keeps them reachable.
            Thread maker = new Thread(() =>
            {
                for (int i = 0; i < 5; ++i) raw.Add(Create(false).DangerousGetHandle());
            });
            maker.Start();
            maker.Join();

            GC.Collect();
            GC.WaitForPendingFinalizers();
            GC.Collect();

            Assert.AreEqual(destroyed, TestSim.DummiesDestroyed());
            foreach (IntPtr p in raw) TestSim.vts_dummy_destroy(p);
        }

        [Test]
        public void FinalizableObjectsAreReleasedWhenCollected()
        {
            long destroyed = TestSim.DummiesDestroyed();
            Thread maker = new Thread(() =>
            {
                for (int i = 0; i < 20; ++i) Create(true);
            });
            maker.Start();
            maker.Join();

            WaitUntil(() =>
            {
                GC.Collect();
                GC.WaitForPendingFinalizers();
                return TestSim.DummiesDestroyed() == destroyed + 20;
            }, 5000);
            Assert.AreEqual(destroyed + 20, TestSim.DummiesDestroyed());
        }

        [Test]
        public void FailedCreationThrowsAndLeavesNothing()
        {
            SimHandle first = null;
            SimHandle second = null;
            String address = TestSim.TestAddress();
            try
            {
                int started = TestSim.vts_sim_start(Utf8.ToNative(address), out first);
                first = OwnedHandle.Adopt(started, first, false);
                int status = TestSim.vts_sim_start(Utf8.ToNative(address), out second);
                ApiException e = Assert.Throws<ApiException>(() => OwnedHandle.Adopt(status, second, false));
                StringAssert.Contains("ddress", e.Message);
                Assert.IsTrue(second.IsInvalid);
            }
            finally
            {
                if (first != null) first.Dispose();
            }
        }
    }
}
