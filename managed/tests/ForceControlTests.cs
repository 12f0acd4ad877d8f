// Force control of a collaborative arm against the simulator's force controller.

using System;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    [TestFixture]
    public class ForceControlTests : SimulatorTest
    {
        private Cobot Connect(int axes)
        {
            SetInfo(String.Format("{{\"joint_num\":{0},\"work_type\":\"cobot\"}}", axes));
            ExtensionSim.Install(Sim, axes);
            if (axes == 7) return Own(new OstraMaxRobot(Address));
            if (axes == 5) return Own(new OstraLiteRobot(Address));
            return Own(new OstraRobot(Address));
        }

        private delegate void Call(ForceControl fc, out ErrorCode ec);

        private static readonly double[] Six = { 0.1, 0.2, 0.3, 0.4, 0.5, 0.6 };
        private static readonly double[] Joints = { 0.1, 0.2, 0.3, 0.4, 0.5, 0.6 };

        // Key sent, a text its payload holds, the call.
        private static readonly Object[][] Operations =
        {
            new Object[] { "eci.fc.start", "null", (Call)((ForceControl f, out ErrorCode e) => f.fcStart(out e)) },
            new Object[] { "eci.fc.stop", "null", (Call)((ForceControl f, out ErrorCode e) => f.fcStop(out e)) },
            new Object[] { "eci.fc.set", "cart_stiff", (Call)((ForceControl f, out ErrorCode e) => f.setCartesianStiffness(Six, out e)) },
            new Object[] { "eci.fc.set", "cart_force", (Call)((ForceControl f, out ErrorCode e) => f.setCartesianDesiredForce(Six, out e)) },
            new Object[] { "eci.fc.overlay", "\"start\"", (Call)((ForceControl f, out ErrorCode e) => f.startOverlay(out e)) },
            new Object[] { "eci.fc.overlay", "\"stop\"", (Call)((ForceControl f, out ErrorCode e) => f.stopOverlay(out e)) },
            new Object[] { "eci.fc.overlay", "\"pause\"", (Call)((ForceControl f, out ErrorCode e) => f.pauseOverlay(out e)) },
            new Object[] { "eci.fc.overlay", "\"restart\"", (Call)((ForceControl f, out ErrorCode e) => f.restartOverlay(out e)) },
            new Object[] { "eci.fc.set", "force_cond", (Call)((ForceControl f, out ErrorCode e) => f.setForceCondition(Six, true, 5, out e)) },
            new Object[] { "eci.fc.set", "torque_cond", (Call)((ForceControl f, out ErrorCode e) => f.setTorqueCondition(Six, false, 5, out e)) },
            new Object[] { "eci.fc.set", "posbox_cond", (Call)((ForceControl f, out ErrorCode e) => f.setPoseBoxCondition(new Frame(), Six, true, 5, out e)) },
            new Object[] { "eci.fc.cond", "\"wait\"", (Call)((ForceControl f, out ErrorCode e) => f.waitCondition(out e)) },
            new Object[] { "eci.fc.monitor", "cart_vel_max", (Call)((ForceControl f, out ErrorCode e) => f.setCartesianMaxVel(Six, out e)) },
            new Object[] { "eci.fc.monitor", "cart_ctrl_max_wrench", (Call)((ForceControl f, out ErrorCode e) => f.setCartesianControlMaxWrench(Six, out e)) },
            new Object[] { "eci.fc.monitor", "cart_ctrl_max_vel", (Call)((ForceControl f, out ErrorCode e) => f.setCartesianControlMaxVel(Six, out e)) },
            new Object[] { "eci.fc.set", "joint_stiff", (Call)((ForceControl f, out ErrorCode e) => f.setJointStiffness(Joints, out e)) },
            new Object[] { "eci.fc.set", "joint_trq", (Call)((ForceControl f, out ErrorCode e) => f.setJointDesiredTorque(Joints, out e)) },
            new Object[] { "eci.fc.monitor", "joint_vel_max", (Call)((ForceControl f, out ErrorCode e) => f.setJointMaxVel(Joints, out e)) },
            new Object[] { "eci.fc.monitor", "joint_momentum_max", (Call)((ForceControl f, out ErrorCode e) => f.setJointMaxMomentum(Joints, out e)) },
            new Object[] { "eci.fc.monitor", "joint_energy_max", (Call)((ForceControl f, out ErrorCode e) => f.setJointMaxEnergy(Joints, out e)) },
            new Object[] { "eci.fc.monitor", "jnt_ctrl_max_torque", (Call)((ForceControl f, out ErrorCode e) => f.setJointControlMaxTorque(Joints, out e)) },
            new Object[] { "eci.fc.monitor", "jnt_ctrl_max_vel", (Call)((ForceControl f, out ErrorCode e) => f.setJointControlMaxVel(Joints, out e)) },
            new Object[] { "eci.fc.monitor", "gain_value", (Call)((ForceControl f, out ErrorCode e) => f.setFcGain(Joints, out e)) },
            new Object[] { "eci.fc.monitor", "friction", (Call)((ForceControl f, out ErrorCode e) => f.setFriction(Joints, out e)) },
        };

        [Test]
        public void EachOperationSendsItsKey()
        {
            ForceControl fc = Own(Connect(6).forceControl());
            foreach (Object[] row in Operations)
            {
                String key = (String)row[0];
                long before = Requests(key);
                ErrorCode ec;
                ((Call)row[2])(fc, out ec);
                Assert.AreEqual(0, ec.value, key + " " + row[1] + ": " + ec.message);
                Assert.AreEqual(before + 1, Requests(key), key + " " + row[1]);
                StringAssert.Contains((String)row[1], LastPayload(key), key);
            }
        }

        // Arrays too short for the operation: refused with 259 before anything is sent.
        private static readonly Call[] ShortArrayCalls =
        {
            (ForceControl f, out ErrorCode e) => f.setJointStiffness(new double[5], out e),
            (ForceControl f, out ErrorCode e) => f.setCartesianStiffness(new double[5], out e),
            (ForceControl f, out ErrorCode e) => f.setForceCondition(new double[2], true, 5, out e),
            (ForceControl f, out ErrorCode e) => f.setPoseBoxCondition(new Frame(), new double[0], true, 5, out e),
        };

        [Test]
        public void JointArraysTakeTheArmsJointCount()
        {
            ForceControl fc = Own(Connect(6).forceControl());
            ErrorCode ec;
            fc.setJointStiffness(new double[] { 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5 }, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            StringAssert.Contains("[1.5,2.5,3.5,4.5,5.5,6.5]", LastPayload("eci.fc.set"));

            long sent = Requests("eci.fc.set");
            foreach (Call call in ShortArrayCalls)
            {
                call(fc, out ec);
                Assert.AreEqual(259, ec.value);
            }
            Assert.AreEqual(sent, Requests("eci.fc.set"));
        }

        [Test]
        public void EndTorqueHasJointAndCartesianSizes()
        {
            ForceControl fc = Own(Connect(7).forceControl());
            double[] joint, external, torque, force;
            ErrorCode ec;
            fc.getEndTorque(FrameType.flange, out joint, out external, out torque, out force, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual(1, Requests("eci.fc.end_torque.ref_flange"));
            Assert.AreEqual(new double[] { 100, 101, 102, 103, 104, 105, 106 }, joint);
            Assert.AreEqual(new double[] { 110, 111, 112, 113, 114, 115, 116 }, external);
            Assert.AreEqual(new double[] { 130, 131, 132 }, torque);
            Assert.AreEqual(new double[] { 120, 121, 122 }, force);
        }

        [Test]
        public void SurvivesTheRobotAndDisposesOnce()
        {
            Cobot robot = Connect(5);
            ForceControl fc = robot.forceControl();
            robot.Dispose();
            // The robot closed the shared link: the call reports, and touches nothing released.
            ErrorCode ec;
            fc.fcStart(out ec);
            Assert.IsNotNull(ec);
            fc.Dispose();
            fc.Dispose();
            Assert.Throws<ObjectDisposedException>(() => fc.fcStop(out ec));
            // Disposed comes first, also for arguments that would be refused.
            foreach (Call call in ShortArrayCalls) Assert.Throws<ObjectDisposedException>(() => call(fc, out ec));
        }
    }
}
