using System;
using System.Collections.Generic;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>The robot operations of I/O, registers, state, projects and paths: each reaches
    /// the controller under its key, codes and values cross both ways, and the arm class decides
    /// what a call may do.</summary>
    [TestFixture]
    public class RobotOperationTests : SimulatorTest
    {
        private const int NotChosen = 262;

        private delegate ErrorCode Call(OstraMaxRobot robot);

        private static String ArmInfo(int joints, String workType)
        {
            return String.Format("{{\"joint_num\":{0},\"work_type\":\"{1}\"}}", joints, workType);
        }

        private OstraMaxRobot Connect()
        {
            return Own(new OstraMaxRobot(Address, Address));
        }

        // Key the controller must see, and the code the call reports (null: the served reply
        // decides, only the key is checked).
        private static readonly Object[][] Dispatch_ =
        {
            new Object[] { "register.values", null, (Call)(r => { ErrorCode ec; int v; r.readRegister("r_int", 0, out v, out ec); return ec; }) },
            new Object[] { "register.values", null, (Call)(r => { ErrorCode ec; List<float> v; r.readRegister("r_float", out v, out ec); return ec; }) },
            new Object[] { "register.write", null, (Call)(r => { ErrorCode ec; r.writeRegister("r_bool", 1, true, out ec); return ec; }) },
            new Object[] { "register.write", null, (Call)(r => { ErrorCode ec; r.writeRegister("r_int", 0, new int[] { 1, 2 }, out ec); return ec; }) },
            new Object[] { "sys.rt.jnt_trq", 0, (Call)(r => { ErrorCode ec; r.jointTorque(out ec); return ec; }) },
            new Object[] { "move.record.start", 0, (Call)(r => { ErrorCode ec; r.startRecordPath(out ec); return ec; }) },
        };

        [Test]
        public void EachOperationSendsItsKey()
        {
            OstraMaxRobot robot = Connect();
            foreach (Object[] row in Dispatch_)
            {
                String key = (String)row[0];
                long before = Requests(key);
                ErrorCode ec = ((Call)row[2])(robot);
                Assert.IsNotNull(ec, key);
                if (row[1] != null) Assert.AreEqual((int)row[1], ec.value, key + ": " + ec.message);
                Assert.AreEqual(before + 1, Requests(key), key);
            }
        }

        [Test]
        public void ARecordingIsStoppedThenSaved()
        {
            OstraMaxRobot robot = Connect();
            ErrorCode ec;
            robot.startRecordPath(out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            robot.stopRecordPath(out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            robot.saveRecordPath("p1", "", out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual("{\"name\":\"p1\"}", LastPayload("move.record.save"));
            robot.cancelRecordPath(out ec);
            Assert.AreEqual(0, ec.value, ec.message);
        }

        private static BaseRobot Build(Type type, String address)
        {
            return (BaseRobot)type.GetConstructor(new Type[] { typeof(String) }).Invoke(new Object[] { address });
        }

        [TestCase(typeof(Sorn3Robot), 3, "industrial")]
        [TestCase(typeof(Sorn4Robot), 4, "industrial")]
        [TestCase(typeof(StandardRobot), 6, "industrial")]
        [TestCase(typeof(OstraLiteRobot), 5, "cobot")]
        [TestCase(typeof(OstraRobot), 6, "cobot")]
        [TestCase(typeof(OstraMaxRobot), 7, "cobot")]
        [TestCase(typeof(LynRobot), 7, "cobot")]
        public void JointQueriesFollowTheArmClass(Type type, int joints, String workType)
        {
            SetInfo(ArmInfo(joints, workType));
            BaseRobot robot = Own(Build(type, Address));
            ErrorCode ec;
            double[] torque = robot.jointTorque(out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual(joints, torque.Length);
            for (int i = 0; i < joints; ++i) Assert.AreEqual(1.5 * (i + 1), torque[i], 1e-9);
            Assert.AreEqual(joints, robot.jointPos(out ec).Length);
            StateList state = robot.getStateList(out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual(joints, state.joint_pos.Length);
            Assert.IsNotNull(state.cart_pos);

            bool stream = joints >= 5 || workType == "cobot";
            if (!stream)
            {
                NotSupportedException e = Assert.Throws<NotSupportedException>(
                    () => robot.startReceiveRobotState(1, new String[] { "q_m" }));
                Assert.AreEqual("The robot model doesn't support", e.Message);
                Assert.AreEqual(0, Requests("eci.fields.out"));
            }
        }

        [Test]
        public void RegisterValuesCrossExactly()
        {
            OstraMaxRobot robot = Connect();
            ErrorCode ec;
            int i;
            robot.readRegister("reg_int", 1, out i, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual(2, i);
            float f;
            robot.readRegister("reg_float", 0, out f, out ec);
            Assert.AreEqual(1.5f, f);
            bool b;
            robot.readRegister("reg_bool", 0, out b, out ec);
            Assert.IsTrue(b);
            List<int> ints;
            robot.readRegister("reg_int", out ints, out ec);
            CollectionAssert.AreEqual(new int[] { 1, 2, 3 }, ints);

            // Extremes of each type survive the crossing.
            robot.writeRegister("reg_int", 0, new int[] { int.MinValue, int.MaxValue, -7 }, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            robot.readRegister("reg_int", out ints, out ec);
            CollectionAssert.AreEqual(new int[] { int.MinValue, int.MaxValue, -7 }, ints);
            robot.writeRegister("reg_float", 0, 0.1f, out ec);
            robot.readRegister("reg_float", 0, out f, out ec);
            Assert.AreEqual(0.1f, f);
            robot.writeRegister("reg_bool", 0, false, out ec);
            robot.readRegister("reg_bool", 0, out b, out ec);
            Assert.IsFalse(b);

            // A missing register: the controller's code, and a value for the out parameter.
            robot.readRegister("no_such_register", 0, out i, out ec);
            Assert.AreEqual(-17001, ec.value);
        }

        [Test]
        public void StreamDeliversSubscribedFieldsAndThrowsWhenStopped()
        {
            OstraMaxRobot robot = Connect();
            double d;
            ApiException before = Assert.Throws<ApiException>(() => robot.updateRobotState(10));
            StringAssert.Contains("Not start receiving data", before.Message);
            Assert.Throws<ApiException>(() => robot.getStateData("q_m", out d));

            robot.startReceiveRobotState(1, new String[] { "q_m", "ts" });
            Assert.Greater(robot.updateRobotState(1000), 0u);
            double[] joints;
            Assert.AreEqual(0, robot.getStateData("q_m", out joints));
            Assert.AreEqual(7, joints.Length);
            ulong stamp;
            Assert.AreEqual(0, robot.getStateData("ts", out stamp));
            Assert.AreEqual(-1, robot.getStateData("dq_m", out joints));
            Assert.AreEqual(-1, robot.getStateData("q_m", out d));
            robot.stopReceiveRobotState();
            Assert.Throws<ApiException>(() => robot.updateRobotState(10));
        }

        [Test]
        public void ProjectAndFileOperationsRefuseBeforeSending()
        {
            OstraMaxRobot robot = Connect();
            ErrorCode ec;
            robot.loadProject("demo", new List<String> { "main" }, out ec);
            Assert.AreEqual(NotChosen, ec.value);
            Assert.AreEqual(0, Requests("project.load"));
            Assert.AreEqual("", robot.importProject("/nonexistent/demo.zip", true, out ec));
            Assert.AreEqual(-279, ec.value);
            robot.importFile("/nonexistent/a.mod", "project/demo/main", false, out ec);
            Assert.AreEqual(-279, ec.value);
            robot.removeFiles(null, out ec);
            Assert.AreEqual(259, ec.value);
            Assert.AreEqual(0, Requests("project.remove_files"));

            // Texts reach the controller byte for byte.
            robot.removeFiles(new String[] { "project/项目/main/模块.mod" }, out ec);
            Assert.AreEqual("{\"list\":[{\"file\":\"模块.mod\",\"project\":\"项目\",\"task\":\"main\"}]}",
                            LastPayload("project.remove_files"));
            robot.saveRecordPath("路径", "副本", out ec);
            StringAssert.Contains("副本", LastPayload("move.record.save"));
            robot.removePath("路径", false, out ec);
            StringAssert.Contains("路径", LastPayload("move.record.remove"));
        }
            // Controller replies that are failures, and the code each operation reports for them.
        private static readonly Object[][] Failures_ =
        {
            new Object[] { "c", "device.io.out.do", "-1", -14501, (Call)(r => { ErrorCode ec; r.setDO(1, 2, true, out ec); return ec; }) },
            new Object[] { "c", "device.io.simu.di", "-1", -10030, (Call)(r => { ErrorCode ec; r.setDI(1, 2, true, out ec); return ec; }) },
            new Object[] { "g", "device.io", "\"high\"", 257, (Call)(r => { ErrorCode ec; r.getAI(1, 2, out ec); return ec; }) },
            new Object[] { "c", "register.write", "-1", -17002, (Call)(r => { ErrorCode ec; r.writeRegister("reg_int", 0, new int[] { 1 }, out ec); return ec; }) },
            new Object[] { "g", "sys.rt.jnt_trq", "[1.0, 2.0]", 261, (Call)(r => { ErrorCode ec; r.jointTorque(out ec); return ec; }) },
            new Object[] { "g", "sys.rt.jnt_vel", "\"fast\"", 257, (Call)(r => { ErrorCode ec; r.jointVel(out ec); return ec; }) },
            new Object[] { "c", "ix.sdk.remove_project", "-1", -60005, (Call)(r => { ErrorCode ec; r.removeProject("demo", true, out ec); return ec; }) },
            new Object[] { "g", "project.list", "7", -260, (Call)(r => { ErrorCode ec; r.projectsInfo(out ec); return ec; }) },
            new Object[] { "c", "move.record.stop", "-260", -260, (Call)(r => { ErrorCode ec; r.stopRecordPath(out ec); return ec; }) },
            new Object[] { "g", "move.record.paths", "{\"a\": 1}", 257, (Call)(r => { ErrorCode ec; r.queryPathLists(out ec); return ec; }) },
        };

        [Test]
        public void ControllerFailuresArriveAsTheirCodes()
        {
            OstraMaxRobot robot = Connect();
            foreach (Object[] row in Failures_)
            {
                String key = (String)row[1];
                Script((String)row[0], key, (String)row[2]);
                ErrorCode ec = ((Call)row[4])(robot);
                Assert.AreEqual((int)row[3], ec.value, key + ": " + ec.message);
                Assert.IsNotEmpty(ec.message, key);
            }
            // Outputs stay usable after a failure.
            Script("g", "sys.rt.jnt_trq", "-1");
            ErrorCode torqueCode;
            Assert.AreEqual(7, robot.jointTorque(out torqueCode).Length);
            Script("g", "sys.posture", "-1");
            ErrorCode poseCode;
            CartesianPosition pose = robot.cartPosture(CoordinateType.endInRef, out poseCode);
            Assert.AreEqual(-1, poseCode.value);
            Assert.AreEqual(3, pose.trans.Length);
        }

        [Test]
        public void ArgumentsOutOfRangeAreRefusedBeforeSending()
        {
            OstraMaxRobot robot = Connect();
            ErrorCode ec;
            robot.setProjectRunningOpt(2.0, false, out ec);
            Assert.AreEqual(258, ec.value);
            robot.setProjectRunningOpt(double.NaN, false, out ec);
            Assert.AreEqual(258, ec.value);
            Assert.AreEqual(0, Requests("project.run_param"));
            robot.replayPath("p1", double.PositiveInfinity, out ec);
            Assert.AreEqual(259, ec.value);
            robot.removeProject("../etc", false, out ec);
            Assert.AreEqual(259, ec.value);
            Assert.AreEqual(0, Requests("ix.sdk.remove_project"));
        }

        private sealed class BareCobot : Cobot
        {
        }

        private static readonly Action<Cobot>[] AnyGroup_ =
        {
            r => { ErrorCode ec; r.getDI(0, 0, out ec); },
            r => { ErrorCode ec; int v; r.readRegister("reg_int", 0, out v, out ec); },
            r => { ErrorCode ec; r.jointTorque(out ec); },
            r => { ErrorCode ec; r.getStateList(out ec); },
            r => r.startReceiveRobotState(1, new String[] { "q_m" }),
            r => r.updateRobotState(1),
            r => { ErrorCode ec; r.projectsInfo(out ec); },
            r => { ErrorCode ec; r.queryPathLists(out ec); },
            r => { ErrorCode ec; r.baseFrame(out ec); },
            r => { ErrorCode ec; r.setSoftLimit(true, new double[7, 2], out ec); },
            r => { ErrorCode ec; double v; r.getRailParameter("maxSpeed", out v, out ec); },
            r => { ErrorCode ec; r.enableCollisionDetection(new double[7], StopLevel.stop1, 0.5, out ec); },
            r => { ErrorCode ec; r.CANSendData("uint8", null, out ec); },
        };

        [Test]
        public void WithoutANativeRobotOrAfterDisposeNothingIsSent()
        {
            BareCobot bare = new BareCobot();
            foreach (Action<Cobot> call in AnyGroup_) Assert.Throws<NullReferenceException>(() => call(bare));

            OstraMaxRobot robot = new OstraMaxRobot(Address, Address);
            robot.Dispose();
            foreach (Action<Cobot> call in AnyGroup_) Assert.Throws<ObjectDisposedException>(() => call(robot));
            Assert.AreEqual(0, Requests("device.io") + Requests("project.list") + Requests("eci.fields.out") +
                               Requests("safety.soft_limit") + Requests("modbusRTU.can.send"));
        }
    }
}
