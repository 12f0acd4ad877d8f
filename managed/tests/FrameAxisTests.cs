using System;
using System.Collections.Generic;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>Frames, tools, soft limits, the rail and the external axes: each operation
    /// reaches the controller under its key, values survive the round trip, and arrays that
    /// would send zeros for the joints they leave out are refused before anything is sent.</summary>
    [TestFixture]
    public class FrameAxisTests : SimulatorTest
    {
        private const int Refused = 259;

        private delegate ErrorCode Call(OstraMaxRobot robot);

        private static Frame FrameOf(params double[] values)
        {
            return new Frame(values);
        }

        private static List<double[]> Points(int count, int joints)
        {
            List<double[]> points = new List<double[]>();
            for (int p = 0; p < count; ++p)
            {
                double[] point = new double[joints];
                for (int j = 0; j < joints; ++j) point[j] = 0.1 * (p + 1) + 0.01 * j;
                points.Add(point);
            }
            return points;
        }

        private static WorkToolInfo Tool(String name)
        {
            return new WorkToolInfo(name, "", true, FrameOf(0.1, 0, 0.2, 0, 0, 0),
                                    new Load(1.5, new double[] { 0, 0, 0.05 }, new double[] { 0, 0, 0 }));
        }

        // Key the controller must see and the code the call reports against the simulator.
        private static readonly Object[][] Dispatch_ =
        {
            new Object[] { "project.tool", 0, (Call)(r => { ErrorCode ec; r.setToolInfo(Tool("tool1"), out ec); return ec; }) },
            new Object[] { "project.wobj", 0, (Call)(r => { ErrorCode ec; r.setWobjInfo(Tool("wobj1"), out ec); return ec; }) },
            new Object[] { "utils.calibrate_frame", 0, (Call)(r => { ErrorCode ec; r.calibrateFrame(FrameType.tool, Points(3, 7), false, new double[3], out ec); return ec; }) },
            new Object[] { "safety.soft_limit", 0, (Call)(r => { ErrorCode ec; double[,] l; r.getSoftLimit(out l, out ec); return ec; }) },
            new Object[] { "safety.soft_limit", 0, (Call)(r => { ErrorCode ec; r.setSoftLimit(true, new double[7, 2], out ec); return ec; }) },
            new Object[] { "rail_param", 0, (Call)(r => { ErrorCode ec; double v; r.getRailParameter("maxSpeed", out v, out ec); return ec; }) },
            new Object[] { "rail_param", 0, (Call)(r => { ErrorCode ec; r.setRailParameter("maxSpeed", 0.5, out ec); return ec; }) },
            new Object[] { "ext_axis.get_mechanical_unit_info", 0, (Call)(r => { ErrorCode ec; String[] v; r.getMechUnit("u1", "axes_info", out v, out ec); return ec; }) },
            new Object[] { "ext_axis.get_axis_info", 0, (Call)(r => { ErrorCode ec; String v; r.getExtAxisInfo("axis1", "driver_name", out v, out ec); return ec; }) },
        };

        [Test]
        public void EachOperationSendsItsKey()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            foreach (Object[] row in Dispatch_)
            {
                String key = (String)row[0];
                long before = Requests(key);
                ErrorCode ec = ((Call)row[2])(robot);
                Assert.AreEqual((int)row[1], ec.value, key + ": " + ec.message);
                Assert.AreEqual(before + 1, Requests(key), key);
            }
        }

        [Test]
        public void FramesToolsAndLimitsSurviveTheRoundTrip()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            ErrorCode ec;
            robot.setBaseFrame(FrameOf(0.1, -0.2, 0.3, 0.4, -0.5, 0.6), out ec);
            CollectionAssert.AreEqual(new double[] { 0.1, -0.2, 0.3, 0.4, -0.5, 0.6 }, robot.baseFrame(out ec));

            Toolset set = new Toolset();
            set.end = FrameOf(0, 0, 0.15, 0, 0, 1.5);
            set.reference = FrameOf(0.5, 0, 0, 0, 0, 0);
            set.load = new Load(2.5, new double[] { 0.01, 0.02, 0.03 }, new double[] { 0.1, 0.2, 0.3 });
            robot.setToolset(set, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Toolset read = robot.toolset(out ec);
            CollectionAssert.AreEqual(set.end.rpy, read.end.rpy);
            CollectionAssert.AreEqual(set.reference.trans, read.reference.trans);
            Assert.AreEqual(2.5, read.load.mass);
            CollectionAssert.AreEqual(set.load.inertia, read.load.inertia);

            robot.setToolInfo(Tool("夹爪"), out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            WorkToolInfo held = robot.toolsInfo(out ec).Find(t => t.name == "夹爪");
            Assert.IsNotNull(held);
            Assert.IsTrue(held.robotHeld);
            Assert.AreEqual(1.5, held.load.mass);

            double[,] limits = new double[7, 2];
            for (int j = 0; j < 7; ++j)
            {
                limits[j, 0] = -1.0 - j;
                limits[j, 1] = 1.0 + j;
            }
            robot.setSoftLimit(true, limits, out ec);
            double[,] back;
            Assert.IsTrue(robot.getSoftLimit(out back, out ec));
            CollectionAssert.AreEqual(limits, back);

            // The auxiliary point keeps its zero padding.
            robot.calibrateFrame(FrameType.wobj, Points(3, 7), true, new double[] { 0.5 }, out ec);
            StringAssert.Contains("\"aux\":[0.5,0.0,0.0]", LastPayload("utils.calibrate_frame"));
        }

        private delegate void RailCall(OstraMaxRobot robot, out Object read, out ErrorCode ec);

        // Name, a value written, and the call that writes it and reads it back.
        private static readonly Object[][] Rail_ =
        {
            new Object[] { "encoderResolution", 4096, (RailCall)((OstraMaxRobot r, out Object v, out ErrorCode ec) => { r.setRailParameter("encoderResolution", 4096, out ec); int x; r.getRailParameter("encoderResolution", out x, out ec); v = x; }) },
            new Object[] { "maxSpeed", 0.25, (RailCall)((OstraMaxRobot r, out Object v, out ErrorCode ec) => { r.setRailParameter("maxSpeed", 0.25, out ec); double x; r.getRailParameter("maxSpeed", out x, out ec); v = x; }) },
            new Object[] { "enable", true, (RailCall)((OstraMaxRobot r, out Object v, out ErrorCode ec) => { r.setRailParameter("enable", true, out ec); bool x; r.getRailParameter("enable", out x, out ec); v = x; }) },
            new Object[] { "name", "导轨", (RailCall)((OstraMaxRobot r, out Object v, out ErrorCode ec) => { r.setRailParameter("name", "导轨", out ec); String x; r.getRailParameter("name", out x, out ec); v = x; }) },
            new Object[] { "softLimit", new double[] { -0.5, 0.75 }, (RailCall)((OstraMaxRobot r, out Object v, out ErrorCode ec) => { r.setRailParameter("softLimit", new double[] { -0.5, 0.75 }, out ec); double[] x; r.getRailParameter("softLimit", out x, out ec); v = x; }) },
            new Object[] { "baseFrame", new double[] { 1, 2, 3 }, (RailCall)((OstraMaxRobot r, out Object v, out ErrorCode ec) => { r.setRailParameter("baseFrame", FrameOf(1, 2, 3, 0, 0, 0), out ec); Frame x; r.getRailParameter("baseFrame", out x, out ec); v = x.trans; }) },
        };

        [Test]
        public void RailParametersOfEveryTypeSurviveTheRoundTrip()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            foreach (Object[] row in Rail_)
            {
                Object read;
                ErrorCode ec;
                ((RailCall)row[2])(robot, out read, out ec);
                Assert.AreEqual(0, ec.value, row[0] + ": " + ec.message);
                Assert.AreEqual(row[1], read, (String)row[0]);
            }
            ErrorCode wrong;
            robot.setRailParameter("name", 3, out wrong);
            Assert.AreEqual(Refused, wrong.value);
        }

        [Test]
        public void AxisAndUnitValuesCrossAsTheirTypes()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            ErrorCode ec;
            String[] axes;
            robot.getMechUnit("u1", "axes_info", out axes, out ec);
            CollectionAssert.AreEqual(new String[] { "axis1" }, axes);
            int order;
            robot.getMechUnit("u1", "order", out order, out ec);
            Assert.AreEqual(1, order);
            String driver;
            robot.getExtAxisInfo("axis1", "driver_name", out driver, out ec);
            Assert.AreEqual("drive1", driver);
            double speed;
            robot.getExtAxisInfo("axis1", "max_speed", out speed, out ec);
            Assert.AreEqual(1000.0, speed);
            bool gun;
            robot.getExtAxisInfo("axis1", "is_servo_gun", out gun, out ec);
            Assert.IsFalse(gun);
            Assert.AreEqual(0, ec.value, ec.message);

            // Names the platform's marshalling refuses: nothing is sent.
            long sent = Requests("ext_axis.get_mechanical_unit_info");
            ArgumentNullException none = Assert.Throws<ArgumentNullException>(
                () => robot.getMechUnit(null, "order", out order, out ec));
            Assert.AreEqual("NULLPTR is not supported for this conversion.", none.Message);
            ArgumentException bad = Assert.Throws<ArgumentException>(
                () => robot.getExtAxisInfo("axis1", "\ud800", out driver, out ec));
            StringAssert.StartsWith("Conversion from WideChar to MultiByte failed.  Please check", bad.Message);
            Assert.AreEqual(sent, Requests("ext_axis.get_mechanical_unit_info"));
            Assert.AreEqual(5, Requests("ext_axis.get_axis_info") + Requests("ext_axis.get_mechanical_unit_info"));
        }

        // Arrays short of one value per joint (7 here), and the key that must stay silent.
        private static readonly Object[][] Short_ =
        {
            new Object[] { "safety.soft_limit", (Call)(r => { ErrorCode ec; r.setSoftLimit(true, new double[2, 2], out ec); return ec; }) },
            new Object[] { "safety.soft_limit", (Call)(r => { ErrorCode ec; r.setSoftLimit(true, new double[7, 1], out ec); return ec; }) },
            new Object[] { "utils.calibrate_frame", (Call)(r => { ErrorCode ec; List<double[]> p = Points(3, 7); p[1] = new double[6]; r.calibrateFrame(FrameType.tool, p, false, new double[3], out ec); return ec; }) },
            new Object[] { "safety.collision_detection", (Call)(r => { ErrorCode ec; r.enableCollisionDetection(new double[6], StopLevel.stop1, 0.5, out ec); return ec; }) },
        };

        [Test]
        public void ShortArraysAreRefusedBeforeSending()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            foreach (Object[] row in Short_)
            {
                ErrorCode ec = ((Call)row[1])(robot);
                Assert.AreEqual(Refused, ec.value, (String)row[0]);
                Assert.AreEqual(0, Requests((String)row[0]), (String)row[0]);
            }

            // Longer arrays are cut to the joints.
            ErrorCode cut;
            double[,] limits = new double[9, 2];
            for (int j = 0; j < 9; ++j) limits[j, 1] = j + 1;
            robot.setSoftLimit(false, limits, out cut);
            Assert.AreEqual(0, cut.value, cut.message);
            StringAssert.Contains("\"upper\":[1.0,2.0,3.0,4.0,5.0,6.0,7.0]", LastPayload("safety.soft_limit"));
            robot.enableCollisionDetection(new double[] { 1, 1, 1, 1, 1, 1, 1, 9 }, StopLevel.stop1, 0.5, out cut);
            Assert.AreEqual(0, cut.value, cut.message);
            StringAssert.Contains("[1.0,1.0,1.0,1.0,1.0,1.0,1.0]", LastPayload("safety.collision_detection"));
        }
    }
}
