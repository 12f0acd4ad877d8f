// Kinematics through the robot classes against the simulator's identity model, and the model
// operations this build does not provide.

using System;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    [TestFixture]
    public class ModelTests : SimulatorTest
    {
        private BaseRobot Connect(String kind)
        {
            int axes = kind == "Sorn3" ? 3 : kind == "OstraMax" ? 7 : 6;
            SetInfo(String.Format("{{\"joint_num\":{0},\"work_type\":\"{1}\"}}", axes,
                                  kind == "Sorn3" ? "industrial" : "cobot"));
            ExtensionSim.Install(Sim, axes);
            if (kind == "Sorn3") return Own(new Sorn3Robot(Address));
            if (kind == "OstraMax") return Own(new OstraMaxRobot(Address));
            return Own(new OstraRobot(Address));
        }

        [TestCase("Sorn3", 3)]
        [TestCase("Ostra", 6)]
        [TestCase("OstraMax", 7)]
        public void ForwardAndInverseUseTheModelOfTheJointCount(String kind, int axes)
        {
            BaseRobot robot = Connect(kind);
            double[] joints = new double[axes];
            for (int i = 0; i < axes; ++i) joints[i] = 0.1 * (i + 1);
            ErrorCode ec;
            CartesianPosition pose = robot.calcFk(joints, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual(1, Requests("sys.calc.fk"));
            Assert.AreEqual(0.1, pose.trans[0], 1e-12);

            double[] back = robot.calcIk(pose, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual(axes, back.Length);
            Assert.AreEqual(joints, back);

            Toolset tool = new Toolset();
            robot.calcFk(joints, tool, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            StringAssert.Contains("\"tool_set\"", LastPayload("sys.calc.fk"));
            robot.calcIk(pose, tool, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            StringAssert.Contains("\"tool_set\"", LastPayload("sys.calc.ik"));
        }

        [Test]
        public void ShortJointArrayIsRefusedWithoutSending()
        {
            BaseRobot robot = Connect("Ostra");
            ErrorCode ec;
            CartesianPosition pose = robot.calcFk(new double[5], out ec);
            Assert.AreEqual(259, ec.value);
            Assert.AreEqual(0, Requests("sys.calc.fk"));
            Assert.AreEqual(0.0, pose.trans[0]);
            Assert.Throws<NullReferenceException>(() => robot.calcFk(null, out ec));
        }

        [Test]
        public void AllSolutionsPairJointsWithConfigurations()
        {
            BaseRobot robot = Connect("Ostra");
            Script("c", "utils.calc.all.ik",
                   "{\"data\":{\"result\":[{\"jnt\":[1,2,3,4,5,6],\"conf\":[0,0,0,0,0,0,0,1]}," +
                   "{\"jnt\":[6,5,4,3,2,1],\"conf\":[1,1,1,1,1,1,1,2]}]}}");
            int[][] confs;
            ErrorCode ec;
            double[][] solutions = robot.calcAllIkSolutions(new CartesianPosition(), out confs, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual(2, solutions.Length);
            Assert.AreEqual(2, confs.Length);
            Assert.AreEqual(new double[] { 6, 5, 4, 3, 2, 1 }, solutions[1]);
            Assert.AreEqual(new int[] { 0, 0, 0, 0, 0, 0, 0, 1 }, confs[0]);
            Assert.AreEqual(2, confs[1][7]);
        }

        [Test]
        public void ModelOperationsOfTheOptionalLibraryAlwaysThrow()
        {
            BaseRobot robot = Own(new OstraRobot());
            double[] q = new double[6];
            double[] full, inertia, coriolis, gravity;
            TestDelegate[] calls =
            {
                () => robot.setTcpCoor(q, q),
                () => robot.setGravityDirection(0, 0, -9.81),
                () => robot.jacobian(q, SegmentFrame.flange),
                () => robot.jacobianDot(q, q, SegmentFrame.flange),
                () => robot.getMassMatrix(q),
                () => robot.getCoriolisVector(q, q),
                () => robot.getTorqueNoFriction(q, q, q, out full, out inertia, out coriolis, out gravity),
            };
            foreach (TestDelegate call in calls)
            {
                NotSupportedException e = Assert.Throws<NotSupportedException>(call);
                Assert.AreEqual("OstraModel library is not enabled in this build.", e.Message);
            }
        }
    }
}
