using System;
using System.Collections.Generic;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>Motion settings, jogging, online adjustment, path checks, singularity
    /// avoidance and posture interpolation: arguments in the order the controller expects,
    /// and outputs back from its replies.</summary>
    [TestFixture]
    public class MotionSettingsTests : EventSimTest
    {
        [Test]
        public void JogWithAnExternalAxisSendsItsArgumentsInOrder()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            ErrorCode ec;
            // Distinct values per argument, so a swapped or dropped argument shows in the payload.
            robot.startJogWithExt(JogSpace.toolFrame, 0.5, 0.25, 1, false, "导轨", true, out ec);
            AssertCode(0, ec);
            Assert.AreEqual("{\"direction\":false,\"fixed_name\":\"导轨\",\"index\":1,\"is_ext\":true,\"rate\":0.5,\"space\":3,\"step\":0.25}",
                            LastPayload("move.jog_with_ext"));
        }

        [Test]
        public void OutputsComeBackFromTheController()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            ErrorCode ec;
            robot.adjustAcceleration(0.5, 0.25, out ec);
            double acc, jerk;
            robot.getAcceleration(out acc, out jerk, out ec);
            AssertCode(0, ec);
            Assert.AreEqual(new[] { 0.5, 0.25 }, new[] { acc, jerk });

            robot.setMaxCacheSize(5, out ec);
            AssertCode(0, ec);
            robot.setMotionControlMode(MotionControlMode.NrtCommand, out ec);
            AssertCode(0, ec);
            robot.setMotionControlMode((MotionControlMode)9, out ec);
            AssertCode(259, ec);
            robot.startJog(JogSpace.world, 2.0, 0.25, 0, true, out ec);
            AssertCode(258, ec);
        }

        private static CartesianPosition Pose(double x)
        {
            CartesianPosition pose = new CartesianPosition();
            pose.trans = new double[] { x, 0.25, 0.5 };
            pose.rpy = new double[] { 1.0, 0.0, 0.0 };
            return pose;
        }

        [Test]
        public void PathChecksSendTheirPosesAndReturnTheComputedJoints()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            double[] start = { 0, 0.5, 0, 1, 0, 0.5, 0 };
            ErrorCode ec;
            Script("c", "move.path.check", "{\"data\":[0.125,0.25,0.5,1.0,0.0,0.0,0.0]}");
            Assert.AreEqual(new[] { 0.125, 0.25, 0.5, 1.0, 0.0, 0.0, 0.0 },
                            robot.checkPath(Pose(0.5), start, Pose(0.75), out ec));
            AssertCode(0, ec);
            String line = LastPayload("move.path.check");

            Script("c", "move.path.check", "{\"data\":[0.5,0.5,0.5,0.5,0.5,0.5,0.5]}");
            robot.checkPath(Pose(0.5), start, Pose(0.625), Pose(0.75), 90, 2.9, out ec);
            AssertCode(0, ec);
            String circle = LastPayload("move.path.check");
            StringAssert.Contains("\"circle\":{\"angle\":90.0,\"rot_type\":\"fixed_axis\"}", circle);
            StringAssert.Contains("0.625", circle, "the auxiliary point goes out");
            StringAssert.DoesNotContain("0.625", line);

            double[] computed;
            Script("c", "move.path.check", "{\"data\":[1.0,0.5,0.5,0.5,0.5,0.5,0.25]}");
            Assert.AreEqual(0, robot.checkPath(start, new[] { Pose(0.5), Pose(0.75), Pose(0.625) }, out computed, out ec));
            AssertCode(0, ec);
            Assert.AreEqual(new[] { 1.0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.25 }, computed);
            StringAssert.Contains("\"path\":[{\"point1\":{\"elb\":0.0,\"rot\":[1.0,0.0,0.0],\"trans\":[0.75,", LastPayload("move.path.check"));
            robot.checkPath(start, new[] { Pose(0.5) }, out computed, out ec);
            AssertCode(259, ec);
            Assert.AreEqual(0, computed.Length);
        }

        [Test]
        public void SingularityAvoidanceAndPostureInterpolationBelongToTheirArms()
        {
            ErrorCode ec;
            SetInfo("{\"joint_num\":6,\"work_type\":\"industrial\",\"type\":\"industrial-6\"}");
            using (StandardRobot standard = new StandardRobot(Address, Address))
            {
                standard.setAvoidSingularity(AvoidSingularityMethod.jointWay, true, 0.5, out ec);
                AssertCode(0, ec);
                Assert.IsTrue(standard.getAvoidSingularity(AvoidSingularityMethod.jointWay, out ec));
                AssertCode(0, ec);
                Assert.IsFalse(standard.getAvoidSingularity(AvoidSingularityMethod.lockAxis4, out ec));
            }
            SetInfo("{\"joint_num\":6,\"work_type\":\"cobot\",\"type\":\"cobot-6\"}");
            using (OstraRobot ostra = new OstraRobot(Address, Address))
            {
                ostra.setAvoidSingularity(AvoidSingularityMethod.lockAxis4, true, 0, out ec);
                AssertCode(0, ec);
                Assert.IsTrue(ostra.getAvoidSingularity(AvoidSingularityMethod.lockAxis4, out ec));
                ostra.setAvoidSingularity(AvoidSingularityMethod.jointWay, true, 0, out ec);
                AssertCode(259, ec);
            }
            SetInfo("{\"joint_num\":5,\"work_type\":\"cobot\",\"type\":\"cobot-5\"}");
            using (OstraLiteRobot lite = new OstraLiteRobot(Address, Address))
            {
                lite.enableCompletePostureLerp(true, out ec);
                AssertCode(0, ec);
                Assert.AreEqual("{\"enable\":true}", LastPayload("sys.completePostureLerp"));
            }
        }
    }
}
