using System;
using System.Collections.Generic;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>Move commands of every type as the controller receives them, the reading of
    /// <c>args</c>, the command id, and the refusals that used to pass as success.</summary>
    [TestFixture]
    public class MotionTests : EventSimTest
    {
        private static CartesianPosition Pose(double x, double y, double z)
        {
            CartesianPosition pose = new CartesianPosition();
            pose.trans = new double[] { x, y, z };
            pose.rpy = new double[] { 1.0, 0.0, 0.5 };
            return pose;
        }

        private static CartesianPosition.Offset Offset(CartesianPosition.Offset.Type type)
        {
            CartesianPosition.Offset offset = new CartesianPosition.Offset();
            offset.type = type;
            offset.frame = new Frame(new double[] { 0.0, 0.0, 0.125, 0.0, 0.0, 0.0 });
            return offset;
        }

        private static MoveCommand Command(params double[] args)
        {
            MoveCommand c = new MoveCommand();
            c.cartTarget = Pose(0.5, 0.25, 0.75);
            c.auxPoint = Pose(0.5, 0.5, 0.75);
            for (int i = 0; i < 7; ++i) c.jointTarget.joints.Add(0.25 * i);
            c.jointTarget.external.Add(1.5);
            c.speed = 500;
            c.zone = 10;
            c.args.AddRange(args);
            return c;
        }

        private OstraMaxRobot Connected()
        {
            return Own(new OstraMaxRobot(Address, Address));
        }

        private const String Target = "\"elb\":0.0,\"rot\":[1.0,0.0,0.5],\"trans\":[0.5,0.25,0.75]";
        private const String Aux = "\"elb\":0.0,\"rot\":[1.0,0.0,0.5],\"trans\":[0.5,0.5,0.75]";
        private const String Rot = "\"rot\":[1.0,0.0,0.5],";

        private static String Shifted(String type, String trans)
        {
            return "\"elb\":0.0,\"offset\":{\"rot\":[0.0,0.0,0.0],\"trans\":[0.0,0.0,0.125],\"type\":\"" + type + "\"}," +
                   Rot + "\"trans\":" + trans;
        }

        private static MoveCommand Decorated(Action<MoveCommand> change, params double[] args)
        {
            MoveCommand c = Command(args);
            change(c);
            return c;
        }

        // Each row: the type, its command, the request key, the id prefix of a queued batch and the
        // body the controller must see; ignored fields are set so that a wrong mapping shows.
        public static readonly Object[] Types =
        {
            new Object[] { MoveCommand.Type.MoveL, Decorated(c =>
                { c.cartTargetOffset = Offset(CartesianPosition.Offset.Type.offs); c.rotSpeed = 0.5; c.jointSpeed = 2;
                  c.customInfo = "测试"; c.auxPointOffset = null; }), "move.l", "l",
                "{\"custom\":\"测试\",\"point\":{" + Shifted("offs", "[0.5,0.25,0.75]") + "},\"traj\":{\"rot_speed\":0.5,\"speed\":0.5,\"zone\":0.01}}" },
            new Object[] { MoveCommand.Type.MoveJ, Decorated(c => { c.jointSpeed = 0.25; c.rotSpeed = 3; c.jointTarget = null; }),
                "move.jc", "j",
                "{\"point\":{" + Target + "},\"traj\":{\"jnt_speed\":0.25,\"speed\":0.5,\"zone\":0.01}}" },
            new Object[] { MoveCommand.Type.MoveAbsJ, Decorated(c => { c.jointSpeed = 0.5; c.cartTarget = null; }), "move.j", "absj",
                "{\"point\":[0.0,0.25,0.5,0.75,1.0,1.25,1.5,1.5],\"traj\":{\"jnt_speed\":0.5,\"speed\":0.5,\"zone\":0.01}}" },
            new Object[] { MoveCommand.Type.MoveC, Decorated(c =>
                { c.auxPointOffset = Offset(CartesianPosition.Offset.Type.relTool); c.rotSpeed = 0.5; }), "move.c", "c",
                "{\"aux\":{" + Shifted("reltool", "[0.5,0.5,0.75]") + "},\"point\":{" + Target + "},\"traj\":{\"rot_speed\":0.5,\"speed\":0.5,\"zone\":0.01}}" },
            new Object[] { MoveCommand.Type.MoveCF, Decorated(c => { }, 30, 2.7), "move.cf", "cf",
                "{\"aux\":{" + Aux + "},\"circle\":{\"angle\":30.0,\"rot_type\":\"fixed_axis\"},\"point\":{" + Target + "},\"traj\":{\"speed\":0.5,\"zone\":0.01}}" },
            new Object[] { MoveCommand.Type.MoveSP, Decorated(c => { c.auxPoint = null; }, 0.5, 0.25, 6, 0), "move.sp", "sp",
                "{\"point\":{" + Target + "},\"spiral\":{\"angle\":6.0,\"dir\":false,\"radius\":0.5,\"step\":0.25},\"traj\":{\"speed\":0.5,\"zone\":0.0}}" },
        };

        [TestCaseSource("Types")]
        public void EachTypeReachesTheControllerAsItsNativeCommand(MoveCommand.Type type, MoveCommand command, String key,
                                                                  String prefix, String body)
        {
            OstraMaxRobot robot = Connected();
            ErrorCode ec;
            robot.executeCommand(type, new List<MoveCommand> { command }, out ec);
            AssertCode(0, ec);
            Assert.AreEqual(body, WaitRequest(key));

            String id = null;
            robot.moveAppend(type, new List<MoveCommand> { command, command }, ref id, out ec);
            AssertCode(0, ec);
            StringAssert.StartsWith(prefix + "#", id);
            String batch = WaitRequest(key, 2);
            Assert.AreEqual("{\"path\":[" + body + "," + body + "]}", batch);

            String single = id;
            robot.moveAppend(type, command, ref single, out ec);
            AssertCode(0, ec);
            Assert.AreNotEqual(id, single);
            Assert.AreEqual(body, WaitRequest(key, 3), "one command travels as the list of one");
            FinishMotion();
        }

        [TestCase(new double[] { 30, 2.7 }, "{\"angle\":30.0,\"rot_type\":\"fixed_axis\"}")]
        [TestCase(new double[] { 30, 1.9 }, "{\"angle\":30.0,\"rot_type\":\"rot_axis\"}")]
        [TestCase(new double[] { 30, -0.5 }, "{\"angle\":30.0,\"rot_type\":\"const_pose\"}")]
        [TestCase(new double[] { 30, 3 }, "{\"angle\":30.0,\"rot_type\":\"const_pose\"}")]
        [TestCase(new double[] { 30, -1 }, "{\"angle\":30.0,\"rot_type\":\"const_pose\"}")]
        [TestCase(new double[] { 30, double.NaN }, "{\"angle\":30.0,\"rot_type\":\"const_pose\"}")]
        [TestCase(new double[] { 30, 1e300 }, "{\"angle\":30.0,\"rot_type\":\"const_pose\"}")]
        [TestCase(new double[0], "{\"angle\":0.0,\"rot_type\":\"const_pose\"}")]
        public void CircleArgsAreReadWithoutTouchingTheCallersList(double[] args, String circle)
        {
            OstraMaxRobot robot = Connected();
            MoveCommand command = Command(args);
            ErrorCode ec;
            robot.executeCommand(MoveCommand.Type.MoveCF, new List<MoveCommand> { command }, out ec);
            AssertCode(0, ec);
            StringAssert.Contains("\"circle\":" + circle, WaitRequest("move.cf"));
            Assert.AreEqual(args, command.args.ToArray(), "the caller's args stay as they were");
        }

        [Test]
        public void SpiralArgsAreReadWithoutTouchingTheCallersList()
        {
            OstraMaxRobot robot = Connected();
            MoveCommand command = Command(0.5);
            ErrorCode ec;
            robot.executeCommand(MoveCommand.Type.MoveSP, new List<MoveCommand> { command }, out ec);
            AssertCode(0, ec);
            StringAssert.Contains("\"spiral\":{\"angle\":0.0,\"dir\":false,\"radius\":0.5,\"step\":0.0}", WaitRequest("move.sp"));
            Assert.AreEqual(1, command.args.Count);
        }

        [TestCase(1.5, "{\"time\":1.5}")]
        [TestCase(0.0009, "{\"time\":0.0}")]
        [TestCase(-2.0, "{\"time\":0.0}")]
        [TestCase(double.NaN, "{\"time\":0.0}")]
        [TestCase(2147483.647, "{\"time\":2147483.6469999999}")]
        [TestCase(2147483.648, null)]
        [TestCase(3e6, null)]
        [TestCase(double.PositiveInfinity, null)]
        public void AWaitTakesTheFirstCommandsFirstArgInSeconds(double seconds, String body)
        {
            OstraMaxRobot robot = Connected();
            List<MoveCommand> commands = new List<MoveCommand> { Command(seconds), Command(7), Command(8) };
            String id = "before";
            ErrorCode ec;
            robot.moveAppend(MoveCommand.Type.MoveWait, commands, ref id, out ec);
            if (body == null)
            {
                AssertCode(259, ec);
                Assert.AreEqual("before", id);
                Assert.AreEqual("", WaitRequest("move.wait", 1, 200), "nothing sent");
                return;
            }
            AssertCode(0, ec);
            StringAssert.StartsWith("wait#", id);
            Assert.AreEqual(body, WaitRequest("move.wait"));
            FinishMotion();
        }

        [Test]
        public void RefusalsThatUsedToPassAsSuccessGive259AndSendNothing()
        {
            OstraMaxRobot robot = Connected();
            ClearLog();
            List<MoveCommand> list = new List<MoveCommand> { Command(1) };
            ErrorCode ec;
            robot.executeCommand(MoveCommand.Type.MoveWait, list, out ec);
            AssertCode(259, ec);
            robot.executeCommand((MoveCommand.Type)7, list, out ec);
            AssertCode(259, ec);
            robot.executeCommand((MoveCommand.Type)(-1), list, out ec);
            AssertCode(259, ec);
            String id = "kept";
            robot.moveAppend((MoveCommand.Type)9, list, ref id, out ec);
            AssertCode(259, ec);
            Assert.AreEqual("kept", id);
            Assert.AreEqual(0, Requests("move.wait") + Requests("move.l") + Requests("move.continue"));
        }

        [Test]
        public void BadCommandsThrowBeforeAnythingIsSent()
        {
            OstraMaxRobot robot = Connected();
            ClearLog();
            ErrorCode ec;
            String id = "";
            MoveCommand noTarget = Command();
            noTarget.cartTarget = null;
            Assert.Throws<NullReferenceException>(
                () => robot.executeCommand(MoveCommand.Type.MoveL, new List<MoveCommand> { noTarget }, out ec));
            Assert.Throws<NullReferenceException>(() => robot.executeCommand(MoveCommand.Type.MoveL, null, out ec));
            MoveCommand shortPose = Command();
            shortPose.cartTarget.rpy = new double[2];
            Assert.Throws<IndexOutOfRangeException>(
                () => robot.moveAppend(MoveCommand.Type.MoveJ, shortPose, ref id, out ec));
            Assert.Throws<ArgumentOutOfRangeException>(
                () => robot.moveAppend(MoveCommand.Type.MoveWait, new List<MoveCommand>(), ref id, out ec));
            Assert.AreEqual(0, Requests("move.l") + Requests("move.jc") + Requests("move.wait"));
        }

        [Test]
        public void AFailureBeforeAnIdIsAssignedKeepsTheCallersText()
        {
            using (OstraMaxRobot robot = new OstraMaxRobot())
            {
                String id = "mine";
                ErrorCode ec;
                robot.moveAppend(MoveCommand.Type.MoveL, Command(), ref id, out ec);
                AssertCode(255, ec);
                Assert.AreEqual("mine", id);
                robot.moveAppend(MoveCommand.Type.MoveWait, Command(1), ref id, out ec);
                AssertCode(255, ec);
                Assert.AreEqual("mine", id);
            }
        }
    }
}
