using System;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>Collaborative extras, the tool-end bus and the collision detection of the 6-axis
    /// industrial arm: keys, in/out arrays, frames, and controller failures as their codes.</summary>
    [TestFixture]
    public class CobotBusTests : SimulatorTest
    {
        private delegate ErrorCode Call(OstraMaxRobot robot);

        // Key the controller must see and the code the call reports against the simulator.
        private static readonly Object[][] Dispatch_ =
        {
            new Object[] { "sys.drag", 0, (Call)(r => { ErrorCode ec; r.enableDrag(DragOpt.Space.jointSpace, DragOpt.Type.freely, out ec); return ec; }) },
            new Object[] { "safety.collision_detection", 0, (Call)(r => { ErrorCode ec; r.enableCollisionDetection(new double[7], StopLevel.suppleStop, 0.5, out ec); return ec; }) },
            new Object[] { "device.io.keypad", 0, (Call)(r => { ErrorCode ec; r.getKeypadState(out ec); return ec; }) },
            new Object[] { "device.io.keypad", 0, (Call)(r => { ErrorCode ec; r.getKeypadStateArray(out ec); return ec; }) },
            new Object[] { "modbusRTU.register.rw", 0, (Call)(r => { ErrorCode ec; int[] d = new int[2]; r.FBRWModbusRTUReg(1, 3, 0, "uint16", 2, ref d, false, out ec); return ec; }) },
            new Object[] { "modbusRTU.coil.rw", 0, (Call)(r => { ErrorCode ec; bool[] d = new bool[3]; r.FBRWModbusRTUCoil(1, 1, 0, 3, ref d, false, out ec); return ec; }) },
            new Object[] { "modbusRTU.data.rw", 0, (Call)(r => { ErrorCode ec; byte[] d = new byte[1]; r.FBRS485SendData(1, 1, new byte[] { 7 }, ref d, out ec); return ec; }) },
            new Object[] { "modbusRTU.can.send", 0, (Call)(r => { ErrorCode ec; r.CANSendData("uint8", null, out ec); return ec; }) },
            new Object[] { "modbusRTU.can.recv", -1, (Call)(r => { ErrorCode ec; CANFrame f; r.CANReceiveData(0, "uint8", out f, out ec); return ec; }) },
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
            StringAssert.Contains("\"send_frames\":[]", LastPayload("modbusRTU.can.send"));
        }

        [Test]
        public void BusArraysComeBackAsTheBoardLeavesThem()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            ErrorCode ec;
            int[] registers = { 11, 22, 33 };
            robot.FBRWModbusRTUReg(5, 16, 100, "uint16", 3, ref registers, false, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            int[] readBack = new int[3];
            robot.FBRWModbusRTUReg(5, 3, 100, "uint16", 3, ref readBack, false, out ec);
            CollectionAssert.AreEqual(new int[] { 11, 22, 33 }, readBack);

            bool[] coils = { true, false, true };
            robot.FBRWModbusRTUCoil(5, 15, 8, 3, ref coils, false, out ec);
            bool[] coilsBack = new bool[3];
            robot.FBRWModbusRTUCoil(5, 1, 8, 3, ref coilsBack, false, out ec);
            CollectionAssert.AreEqual(new bool[] { true, false, true }, coilsBack);

            // A null receive buffer is an empty one: the board's size check answers, no crash.
            byte[] received = null;
            robot.FBRS485SendData(2, 2, new byte[] { 0x10, 0xFF }, ref received, out ec);
            Assert.AreEqual(258, ec.value, ec.message);
            Assert.IsNotNull(received);
            received = new byte[2];
            robot.FBRS485SendData(2, 2, new byte[] { 0x10, 0xFF }, ref received, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            CollectionAssert.AreEqual(new byte[] { 0x10, 0xFF }, received);

            Script("c", "modbusRTU.can.recv",
                   "{\"data\":{\"frame_id\":291,\"frame_format\":0,\"frame_type\":2,\"data_array\":[1,2,250],\"frame_valid_length\":3}}");
            CANFrame frame;
            robot.CANReceiveData(100, "uint8", out frame, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual(291, frame.frame_id);
            Assert.AreEqual(2, frame.frame_type);
            CollectionAssert.AreEqual(new byte[] { 1, 2, 250 }, frame.data);
            Assert.AreEqual(3, frame.frame_valid_length);

            robot.CANSendData("uint8", new CANFrame[] { new CANFrame(0x7F, 0, 2, new byte[] { 9, 8 }, 2) }, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            StringAssert.Contains("\"data_array\":[9,8]", LastPayload("modbusRTU.can.send"));
        }

        [Test]
        public void KeypadArrayHoldsSevenKeysAlsoOnFailure()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            Script("g", "device.io.keypad", "[true,false,false,false,false,false,true]");
            ErrorCode ec;
            bool[] keys = robot.getKeypadStateArray(out ec);
            CollectionAssert.AreEqual(new bool[] { true, false, false, false, false, false, true }, keys);
            robot.disconnectFromRobot(out ec);
            keys = robot.getKeypadStateArray(out ec);
            Assert.AreNotEqual(0, ec.value);
            Assert.AreEqual(7, keys.Length);
        }

        [Test]
        public void IndustrialArmCollisionDetectionTakesSixSensitivities()
        {
            SetInfo("{\"joint_num\":6,\"work_type\":\"industrial\"}");
            StandardRobot robot = Own(new StandardRobot(Address));
            ErrorCode ec;
            robot.enableCollisionDetection(new double[5], 0.1, out ec);
            Assert.AreEqual(259, ec.value);
            Assert.AreEqual(0, Requests("safety.collision_detection"));
            robot.enableCollisionDetection(new double[] { 1, 2, 3, 4, 5, 6, 7 }, 0.1, out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            StringAssert.Contains("[1.0,2.0,3.0,4.0,5.0,6.0]", LastPayload("safety.collision_detection"));
            robot.disableCollisionDetection(out ec);
            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual("{\"enable\":false}", LastPayload("safety.collision_detection"));
        }

        // Controller replies that are failures, and the code each operation reports for them.
        private static readonly Object[][] Failures_ =
        {
            new Object[] { "g", "ix.coord.base_in_world", "{\"trans\":\"x\"}", 257, (Call)(r => { ErrorCode ec; r.baseFrame(out ec); return ec; }) },
            new Object[] { "g", "project.tool.info", "-5", -5, (Call)(r => { ErrorCode ec; r.toolsInfo(out ec); return ec; }) },
            new Object[] { "c", "utils.calibrate_frame", "{\"data\":null,\"error\":\"no solution\"}", 273, (Call)(r => { ErrorCode ec; r.calibrateFrame(FrameType.wobj, new System.Collections.Generic.List<double[]> { new double[7], new double[7], new double[7] }, false, new double[3], out ec); return ec; }) },
            new Object[] { "g", "safety.soft_limit", "{\"enable\":true}", 257, (Call)(r => { ErrorCode ec; double[,] l; r.getSoftLimit(out l, out ec); return ec; }) },
            new Object[] { "g", "rail_param", "-3", -3, (Call)(r => { ErrorCode ec; double v; r.getRailParameter("maxSpeed", out v, out ec); return ec; }) },
            new Object[] { "c", "safety.collision_detection", "-1", 264, (Call)(r => { ErrorCode ec; r.enableCollisionDetection(new double[7], StopLevel.stop1, 0.5, out ec); return ec; }) },
            new Object[] { "c", "modbusRTU.register.rw", "{\"error\":\"timeout\"}", -1, (Call)(r => { ErrorCode ec; int[] d = new int[1]; r.FBRWModbusRTUReg(1, 3, 0, "uint16", 1, ref d, false, out ec); return ec; }) },
        };

        [Test]
        public void ControllerFailuresArriveAsTheirCodes()
        {
            OstraMaxRobot robot = Own(new OstraMaxRobot(Address, Address));
            foreach (Object[] row in Failures_)
            {
                String key = (String)row[1];
                Script((String)row[0], key, (String)row[2]);
                ErrorCode ec = ((Call)row[4])(robot);
                Assert.AreEqual((int)row[3], ec.value, key + ": " + ec.message);
                Assert.IsNotEmpty(ec.message, key);
            }
        }
    }
}
