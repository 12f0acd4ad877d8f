using System;
using System.Collections.Generic;
using System.Threading;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>Events and connection changes crossing from native threads into managed
    /// callbacks: per robot, replaced, muted, throwing, and disposing their own robot.</summary>
    [TestFixture]
    public class EventTests : EventSimTest
    {
        private const String Collision = "{\"safety.event.collision\":true}";

        private OstraMaxRobot Connected()
        {
            return Own(new OstraMaxRobot(Address, Address));
        }

        private static readonly String[] Topics =
        {
            "move.last_error_with_setting", "safety.event.collision", "project.tasks_pointer", "log.user"
        };

        /// <summary>Registers and waits until the controller has the watch: a watch goes out
        /// without waiting for its answer.</summary>
        private void Watch(BaseRobot robot, Event type, EventCallbackDelegate callback, SimHandle sim = null)
        {
            sim = sim ?? Sim;
            String topic = Topics[(int)type];
            long before = Count(sim, topic);
            ErrorCode ec;
            robot.setEventWatcher(type, callback, out ec);
            AssertCode(0, ec);
            Assert.IsTrue(WaitUntil(() => Count(sim, topic) > before, DeliveryMs), "the watch arrives");
        }

        private static long Count(SimHandle sim, String key)
        {
            long count;
            NativeCore.Check(TestSim.vts_sim_request_count(sim, Utf8.ToNative(key), out count));
            return count;
        }

        /// <summary>Counts calls and keeps the last information; safe from any thread.</summary>
        private sealed class Recorder
        {
            private int calls_;
            private Dictionary<String, Object> last_;

            internal int Calls { get { return Volatile.Read(ref calls_); } }
            internal Dictionary<String, Object> Last { get { return Volatile.Read(ref last_); } }

            internal void On(Dictionary<String, Object> info)
            {
                Volatile.Write(ref last_, info);
                Interlocked.Increment(ref calls_);
            }
        }

        public static readonly Object[] Deliveries =
        {
            new Object[] { Event.safety, Collision, "collided=True:Boolean" },
            new Object[] { Event.logReporter, "{\"log.user\":{\"error\":5,\"data\":\"过流 overcurrent\"}}",
                           "ecode=-5:Int32 edetail=过流 overcurrent:String" },
            new Object[] { Event.rlExecution,
                           "{\"project.tasks_pointer\":[{\"task_name\":\"main\",\"exe_line\":{\"file_name\":\"a.mod\",\"line\":3}}]}",
                           "executeFile=a.mod:String executeLine=2:Int32 lookaheadFile=:String lookaheadLine=0:Int32 taskName=main:String" },
        };

        private static String Describe(Dictionary<String, Object> info)
        {
            List<String> parts = new List<String>();
            foreach (KeyValuePair<String, Object> entry in info)
                parts.Add(entry.Key + "=" + entry.Value + ":" + entry.Value.GetType().Name);
            parts.Sort(String.CompareOrdinal);
            return String.Join(" ", parts.ToArray());
        }

        [TestCaseSource("Deliveries")]
        public void EventsArriveOnNativeThreadsWithTheirValueTypes(Event type, String topics, String expected)
        {
            OstraMaxRobot robot = Connected();
            Recorder recorder = new Recorder();
            int testThread = Thread.CurrentThread.ManagedThreadId;
            int callbackThread = testThread;
            Watch(robot, type, info =>
            {
                callbackThread = Thread.CurrentThread.ManagedThreadId;
                recorder.On(info);
            });
            Assert.AreEqual(1, Publish(topics));
            Assert.IsTrue(WaitUntil(() => recorder.Calls == 1, DeliveryMs));
            Assert.AreEqual(expected, Describe(recorder.Last));
            Assert.AreNotEqual(testThread, callbackThread);

            ErrorCode ec;
            Assert.AreEqual(expected, Describe(robot.queryEventInfo(type, out ec)));
            AssertCode(0, ec);
        }

        [Test]
        public void MoveExecutionCarriesItsErrorCode()
        {
            OstraMaxRobot robot = Connected();
            Recorder recorder = new Recorder();
            Watch(robot, Event.moveExecution, recorder.On);
            String id = "";
            ErrorCode ec;
            robot.moveAppend(MoveCommand.Type.MoveAbsJ, new MoveCommand { jointTarget = Joints(7) }, ref id, out ec);
            AssertCode(0, ec);
            Assert.AreNotEqual("", WaitRequest("move.j"));
            Assert.IsTrue(WaitUntil(() => FinishMotion() > 0 || recorder.Calls > 0, DeliveryMs));
            Assert.IsTrue(WaitUntil(() => recorder.Calls > 0, DeliveryMs));
            Dictionary<String, Object> info = recorder.Last;
            Assert.AreEqual(id, info["cmdID"]);
            Assert.IsInstanceOf<ErrorCode>(info["error"]);
            Assert.IsInstanceOf<bool>(info["reachTarget"]);
            Assert.IsInstanceOf<int>(info["wayPointIndex"]);
        }

        private static JointPosition Joints(int n)
        {
            JointPosition joints = new JointPosition();
            for (int i = 0; i < n; ++i) joints.joints.Add(0.125 * i);
            return joints;
        }

        [Test]
        public void EachRobotHearsOnlyItsOwnController()
        {
            int dot = Address.LastIndexOf('.');
            String otherAddress = Address.Substring(0, dot + 1) + (int.Parse(Address.Substring(dot + 1)) % 254 + 1);
            SimHandle otherSim;
            NativeCore.Check(TestSim.vts_sim_start(Utf8.ToNative(otherAddress), out otherSim));
            using (otherSim)
            {
                Recorder mine = new Recorder();
                Recorder theirs = new Recorder();
                using (OstraMaxRobot other = new OstraMaxRobot(otherAddress, otherAddress))
                {
                    Watch(Connected(), Event.safety, mine.On);
                    Watch(other, Event.safety, theirs.On, otherSim);
                    for (int i = 0; i < 20; ++i) Assert.AreEqual(1, Publish(Collision));
                    for (int i = 0; i < 5; ++i) Assert.AreEqual(1, EventSim.Publish(otherSim, Collision));
                    Assert.IsTrue(WaitUntil(() => mine.Calls == 20 && theirs.Calls == 5, DeliveryMs),
                                  "mine " + mine.Calls + ", theirs " + theirs.Calls);
                    Thread.Sleep(50);
                    Assert.AreEqual(20, mine.Calls);
                    Assert.AreEqual(5, theirs.Calls);
                }
                Assert.IsTrue(TestSim.WaitCallbacksIdle(DeliveryMs));
            }
        }

        [Test]
        public void OnlyTheLatestRegistrationIsCalledAndNullMutes()
        {
            OstraMaxRobot robot = Connected();
            Recorder first = new Recorder();
            Recorder second = new Recorder();
            Watch(robot, Event.safety, first.On);
            Watch(robot, Event.safety, second.On);
            Publish(Collision);
            Assert.IsTrue(WaitUntil(() => second.Calls == 1, DeliveryMs));
            Assert.AreEqual(0, first.Calls);

            Watch(robot, Event.safety, null);
            Publish(Collision);
            Assert.IsTrue(TestSim.WaitCallbacksIdle(DeliveryMs));
            Thread.Sleep(50);
            Assert.IsTrue(TestSim.WaitCallbacksIdle(DeliveryMs));
            Assert.AreEqual(1, second.Calls, "a muted event reaches nobody");
            ErrorCode ec;
            Assert.AreEqual(true, robot.queryEventInfo(Event.safety, out ec)["collided"], "still watched");
        }

        [Test]
        public void ReRegisteringWhileEventsFlowNeverCallsADeadDelegate()
        {
            OstraMaxRobot robot = Connected();
            int calls = 0;
            Watch(robot, Event.safety, info => Interlocked.Increment(ref calls));
            bool stop = false;
            Thread publisher = new Thread(() =>
            {
                while (!Volatile.Read(ref stop))
                {
                    Publish(Collision);
                    Thread.Sleep(1);
                }
            });
            publisher.Start();
            try
            {
                for (int i = 0; i < 20; ++i)
                {
                    Watch(robot, Event.safety, info => Interlocked.Increment(ref calls));
                    GC.Collect();
                    GC.WaitForPendingFinalizers();
                }
            }
            finally
            {
                Volatile.Write(ref stop, true);
                publisher.Join();
            }
            Assert.IsTrue(WaitUntil(() => Volatile.Read(ref calls) > 0, DeliveryMs));
        }

        [Test]
        public void AThrowingCallbackLeavesTheProcessAndLaterEventsAlone()
        {
            OstraMaxRobot robot = Connected();
            int calls = 0;
            Watch(robot, Event.safety, info =>
            {
                if (Interlocked.Increment(ref calls) == 1) throw new InvalidOperationException("thrown on purpose");
            });
            int handlerCalls = 0;
            robot.setConnectionHandler(up =>
            {
                Interlocked.Increment(ref handlerCalls);
                throw new InvalidOperationException("handler thrown on purpose");
            });
            Publish(Collision);
            Assert.IsTrue(WaitUntil(() => Volatile.Read(ref calls) == 1, DeliveryMs));
            Publish(Collision);
            Assert.IsTrue(WaitUntil(() => Volatile.Read(ref calls) == 2, DeliveryMs));

            DropConnections();
            Assert.IsTrue(WaitUntil(() => Volatile.Read(ref handlerCalls) >= 1, DeliveryMs));
            robot.setConnectionHandler(null);
        }

        [Test]
        public void ConnectionChangesReachTheHandlerAndNullRemovesIt()
        {
            OstraMaxRobot robot = Connected();
            List<bool> changes = new List<bool>();
            robot.setConnectionHandler(up => { lock (changes) changes.Add(up); });
            DropConnections();
            Assert.IsTrue(WaitUntil(() => { lock (changes) return changes.Count >= 2; }, DeliveryMs),
                          "a drop, then the reconnection");
            lock (changes) Assert.AreEqual(new List<bool> { false, true }, changes.GetRange(0, 2));

            robot.setConnectionHandler(null);
            int seen;
            lock (changes) seen = changes.Count;
            DropConnections();
            Thread.Sleep(200);
            Assert.IsTrue(TestSim.WaitCallbacksIdle(DeliveryMs));
            lock (changes) Assert.AreEqual(seen, changes.Count, "a removed handler hears nothing");
        }

        [Test]
        public void DisposingARobotInsideItsOwnCallbacksDefersItsRelease()
        {
            // From an event's delivery thread.
            OstraMaxRobot robot = Connected();
            ManualResetEvent disposed = new ManualResetEvent(false);
            Watch(robot, Event.safety, info =>
            {
                robot.Dispose();
                disposed.Set();
            });
            Publish(Collision);
            Assert.IsTrue(disposed.WaitOne(DeliveryMs));
            Assert.IsTrue(TestSim.WaitCallbacksIdle(DeliveryMs));
            Assert.AreEqual(1, TestSim.LiveHandles(), "only the simulator is left");
            ErrorCode ec;
            Assert.Throws<ObjectDisposedException>(() => robot.queryEventInfo(Event.safety, out ec));

            // From the link's I/O thread, where the native destructor would join itself.
            OstraMaxRobot second = Connected();
            ManualResetEvent handled = new ManualResetEvent(false);
            second.setConnectionHandler(up =>
            {
                second.Dispose();
                handled.Set();
            });
            DropConnections();
            Assert.IsTrue(handled.WaitOne(DeliveryMs));
            Assert.IsTrue(TestSim.WaitCallbacksIdle(DeliveryMs));
            Assert.AreEqual(1, TestSim.LiveHandles());

            // From the motion thread that reports queued motion.
            OstraMaxRobot third = Connected();
            ManualResetEvent reported = new ManualResetEvent(false);
            Watch(third, Event.moveExecution, info =>
            {
                third.Dispose();
                reported.Set();
            });
            String id = "";
            ErrorCode ec2;
            third.moveAppend(MoveCommand.Type.MoveAbsJ, new MoveCommand { jointTarget = Joints(7) }, ref id, out ec2);
            AssertCode(0, ec2);
            Assert.IsTrue(WaitUntil(() => FinishMotion() > 0 || reported.WaitOne(0), DeliveryMs));
            Assert.IsTrue(reported.WaitOne(DeliveryMs));
            Assert.IsTrue(TestSim.WaitCallbacksIdle(DeliveryMs));
            Assert.AreEqual(1, TestSim.LiveHandles());
            Assert.AreEqual(0, RobotCallbackTable.Count, "disposed robots keep no callbacks");
        }

        [Test]
        public void EventsAfterDisposeReachNoCallback()
        {
            Recorder recorder = new Recorder();
            using (OstraMaxRobot robot = new OstraMaxRobot(Address, Address))
            {
                Watch(robot, Event.safety, recorder.On);
                Publish(Collision);
                Assert.IsTrue(WaitUntil(() => recorder.Calls == 1, DeliveryMs));
            }
            // The controller may not have seen the link close yet: whatever it still pushes is
            // dropped on the way.
            Publish(Collision);
            Thread.Sleep(50);
            Assert.IsTrue(TestSim.WaitCallbacksIdle(DeliveryMs));
            Assert.AreEqual(1, recorder.Calls);
            Assert.AreEqual(0, RobotCallbackTable.Count);
        }

        // Registrations that may run while another thread disposes the robot.
        private static readonly Action<BaseRobot>[] Registrations =
        {
            r => r.setConnectionHandler(up => { }),
            r => { ErrorCode ec; r.setEventWatcher(Event.safety, info => { }, out ec); },
        };

        [Test]
        public void RegistrationsRacingDisposeLeaveNoCallbacksBehind()
        {
            foreach (Action<BaseRobot> register in Registrations)
            {
                for (int i = 0; i < 1000; ++i)
                {
                    OstraMaxRobot robot = new OstraMaxRobot();
                    int go = 0;
                    Thread disposer = new Thread(() =>
                    {
                        while (Volatile.Read(ref go) == 0) Thread.SpinWait(1);
                        robot.Dispose();
                    });
                    disposer.Start();
                    Volatile.Write(ref go, 1);
                    try
                    {
                        register(robot);
                    }
                    catch (ObjectDisposedException)
                    {
                    }
                    disposer.Join();
                }
                Assert.AreEqual(0, RobotCallbackTable.Count, "a disposed robot keeps callbacks");
            }
        }

        [Test]
        public void UnknownEventTypesAreRefusedAndUnwatchedOnesReportSo()
        {
            OstraMaxRobot robot = Connected();
            ErrorCode ec;
            robot.setEventWatcher((Event)7, info => Assert.Fail("never called"), out ec);
            AssertCode(259, ec);
            Assert.AreEqual(0, robot.queryEventInfo((Event)7, out ec).Count);
            AssertCode(259, ec);
            Assert.AreEqual(0, robot.queryEventInfo(Event.logReporter, out ec).Count);
            AssertCode(272, ec);
        }
    }
}
