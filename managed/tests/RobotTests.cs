using System;
using System.Reflection;
using System.Threading;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>The robot classes: construction and connection per class and constructor
    /// form, what a failed construction leaves, and the lifetime of the native robot.</summary>
    [TestFixture]
    public class RobotTests : SimulatorTest
    {
        // Nothing listens there: managed tests take 127.0.1-254.x, native ones never 127.0.x.x.
        private const String Unreachable = "127.0.255.1";

        private static String ArmInfo(int joints, String workType)
        {
            return String.Format("{{\"joint_num\":{0},\"work_type\":\"{1}\",\"type\":\"{1}-{0}\"}}", joints, workType);
        }

        private static BaseRobot Build(Type type, params Object[] addresses)
        {
            Type[] signature = new Type[addresses.Length];
            for (int i = 0; i < signature.Length; ++i) signature[i] = typeof(String);
            return (BaseRobot)type.GetConstructor(signature).Invoke(addresses);
        }

        private static void AssertSuccess(ErrorCode ec)
        {
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual("success", ec.message);
        }

        [TestCase(typeof(Sorn3Robot), 3, "industrial", false)]
        [TestCase(typeof(Sorn4Robot), 4, "industrial", false)]
        [TestCase(typeof(StandardRobot), 6, "industrial", true)]
        [TestCase(typeof(OstraLiteRobot), 5, "cobot", true)]
        [TestCase(typeof(OstraRobot), 6, "cobot", true)]
        [TestCase(typeof(OstraMaxRobot), 7, "cobot", true)]
        [TestCase(typeof(LynRobot), 7, "cobot", true)]
        public void EveryClassConnectsInEveryConstructorForm(Type type, int joints, String workType, bool local)
        {
            SetInfo(ArmInfo(joints, workType));
            ErrorCode ec;
            Assert.AreEqual(local, type.GetConstructor(new Type[] { typeof(String), typeof(String) }) != null);
            if (local)
            {
                using (BaseRobot robot = Build(type, Address, Address))
                {
                    Assert.AreEqual(1, Requests("eci.ip"));
                    Assert.AreEqual("\"" + Address + "\"", LastPayload("eci.ip"));
                    Assert.AreEqual(joints, robot.robotInfo(out ec).joint_num);
                    AssertSuccess(ec);
                }
            }

            // The controller's address alone: the local one is "", which is never sent.
            long infos = Requests("sys.info");
            using (BaseRobot robot = Build(type, Address))
            {
                Assert.AreEqual(infos + 1, Requests("sys.info"));
                Info info = robot.robotInfo(out ec);
                AssertSuccess(ec);
                Assert.AreEqual(joints, info.joint_num);
                Assert.AreEqual(workType + "-" + joints, info.type);
                Assert.AreEqual("VELSIM0000000001", info.id);

                robot.disconnectFromRobot(out ec);
                AssertSuccess(ec);
                robot.robotInfo(out ec);
                Assert.AreEqual(256, ec.value);
                Assert.AreEqual("network connection", ec.message);
                robot.connectToRobot(out ec);
                AssertSuccess(ec);
                Assert.AreEqual(joints, robot.robotInfo(out ec).joint_num);
            }
            Assert.AreEqual(local ? 1 : 0, Requests("eci.ip"));

            // Without arguments: nothing is sent until the program connects.
            infos = Requests("sys.info");
            using (BaseRobot robot = Build(type))
            {
                Assert.AreEqual(infos, Requests("sys.info"));
                robot.disconnectFromRobot(out ec);
                Assert.AreEqual(256, ec.value);
                robot.connectToRobot(Address);
                Assert.AreEqual(joints, robot.robotInfo(out ec).joint_num);
                AssertSuccess(ec);
            }
            Assert.AreEqual(local ? 1 : 0, Requests("eci.ip"));
        }

        [Test]
        public void ConstructionAgainstAnotherArmThrowsTheNativeTextAndLeavesNothing()
        {
            SetInfo(ArmInfo(6, "industrial"));
            long live = TestSim.LiveHandles();

            ApiException e = Assert.Throws<ApiException>(() => new OstraRobot(Address, Address));

            Assert.AreEqual("execute: Robot instance type does not match with the connected robot industrial-6", e.Message);
            Assert.AreEqual(live, TestSim.LiveHandles());
        }

        // A robot's construction takes the language from the environment (English here), so the
        // Chinese text is tested on a connect.
        [TestCase(1, "execute: Robot instance type does not match with the connected robot 工业-6")]
        [TestCase(0, "执行异常: 机器人实例类型与连接的机型不符：工业-6")]
        public void ConnectToAnotherArmThrowsTheNativeText(int english, String text)
        {
            OstraRobot robot = Own(new OstraRobot());
            TestSim.SetLanguage(english);
            SetInfo("{\"joint_num\":6,\"work_type\":\"industrial\",\"type\":\"工业-6\"}");

            ApiException e = Assert.Throws<ApiException>(() => robot.connectToRobot(Address, Address));

            Assert.AreEqual(text, e.Message);
        }

        [Test]
        public void UnreachableControllerThrowsFromConstructorAndConnect()
        {
            long live = TestSim.LiveHandles();
            ApiException e = Assert.Throws<ApiException>(() => new Sorn3Robot(Unreachable));
            StringAssert.StartsWith("network: ", e.Message);
            Assert.AreEqual(live, TestSim.LiveHandles());

            OstraMaxRobot robot = Own(new OstraMaxRobot());
            ApiException again = Assert.Throws<ApiException>(() => robot.connectToRobot(Unreachable, Address));
            Assert.AreEqual(e.Message, again.Message);
            // A failed connect forgets the addresses: reconnecting has nowhere to go.
            ErrorCode ec;
            robot.connectToRobot(out ec);
            Assert.AreEqual(256, ec.value);
        }

        [Test]
        public void DisposeTwiceDoesNothingAndLaterCallsThrow()
        {
            long live = TestSim.LiveHandles();
            OstraMaxRobot robot = new OstraMaxRobot(Address);
            Assert.AreEqual(live + 1, TestSim.LiveHandles());

            robot.Dispose();
            robot.Dispose();

            Assert.AreEqual(live, TestSim.LiveHandles());
            ErrorCode ec;
            Assert.Throws<ObjectDisposedException>(() => robot.powerState(out ec));
            Assert.Throws<ObjectDisposedException>(() => robot.connectToRobot(Address));
            Assert.Throws<ObjectDisposedException>(() => robot.disconnectFromRobot(out ec));
        }

        [Test]
        public void DisposeDuringACallReleasesTheRobotWhenTheCallReturns()
        {
            long live = TestSim.LiveHandles();
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            Script("g", "sys.power", "\"on\"", 1, 500);
            PowerState state = PowerState.unknown;
            ErrorCode ec = null;
            Thread caller = new Thread(() => state = robot.powerState(out ec));
            caller.Start();
            Assert.IsTrue(WaitUntil(() => Requests("sys.power") == 1, 5000), "the call never reached the controller");

            robot.Dispose();
            Assert.AreEqual(live + 1, TestSim.LiveHandles(), "released under a running call");
            ErrorCode late;
            Assert.Throws<ObjectDisposedException>(() => robot.operateMode(out late));

            Assert.IsTrue(caller.Join(5000));
            Assert.AreEqual(PowerState.on, state);
            AssertSuccess(ec);
            Assert.AreEqual(live, TestSim.LiveHandles());
        }

        [Test]
        public void StateStreamIsRefusedOnlyToArmsWithoutOne()
        {
            SetInfo(ArmInfo(4, "industrial"));
            Sorn4Robot small = Own(new Sorn4Robot());
            NotSupportedException e = Assert.Throws<NotSupportedException>(() => small.RequireStateStream());
            Assert.AreEqual("The robot model doesn't support", e.Message);
            Own(new StandardRobot()).RequireStateStream();
            Own(new LynRobot()).RequireStateStream();
        }

        [Test]
        public void SdkVersionNeedsNoRobot()
        {
            Assert.AreEqual("0.7.1", BaseRobot.sdkVersion());
        }
    }
}
