using System;
using System.Collections.Generic;
using System.Text;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>The system operations of a connected robot: what reaches the controller, what
    /// comes back, and texts that cross byte-exact both ways.</summary>
    [TestFixture]
    public class RobotSystemTests : SimulatorTest
    {
        private OstraMaxRobot robot_;

        [SetUp]
        public void Connect()
        {
            robot_ = Own(new OstraMaxRobot(Address, Address));
        }

        [TestCase(0, 1, "success")]
        [TestCase(-260, 1, "protocol mismatch")]
        [TestCase(0, 0, "操作成功完成")]
        [TestCase(-260, 0, "协议不匹配")]
        public void ReplyCodeCrossesWithItsMessage(int code, int english, String message)
        {
            TestSim.SetLanguage(english);
            Script("c", "sys.servo.clear_alarm", code.ToString());
            ErrorCode ec;
            robot_.clearServoAlarm(out ec);
            Assert.AreEqual(code, ec.value);
            Assert.AreEqual(message, ec.message);
        }

        [Test]
        public void QueriesReadTheControllerState()
        {
            ErrorCode ec;
            Assert.AreEqual(PowerState.off, robot_.powerState(out ec));
            robot_.setPowerState(true, out ec);
            Assert.AreEqual(PowerState.on, robot_.powerState(out ec));
            Assert.AreEqual(0, ec.value);
            Assert.AreEqual(OperateMode.manual, robot_.operateMode(out ec));
            Assert.AreEqual(OperationState.idle, robot_.operationState(out ec));
            Assert.AreEqual(0, ec.value);

            Script("g", "sys.posture.flan_in_base", "{\"trans\":[0.1,0.2,0.3],\"rot\":[1,2,3]}");
            CollectionAssert.AreEqual(new double[] { 0.1, 0.2, 0.3, 1, 2, 3 },
                                      robot_.posture(CoordinateType.flangeInBase, out ec));
            Assert.AreEqual(0, ec.value);
            Script("g", "sys.posture", "{\"trans\":[1,2,3],\"rot\":[4,5]}");
            CollectionAssert.AreEqual(new double[] { 1, 2, 3, 0, 0, 0 }, robot_.posture(CoordinateType.endInRef, out ec));
            Assert.AreEqual(257, ec.value);
        }

        [Test]
        public void NoReplyInTimeIs263()
        {
            OstraMaxRobot robot = Own(TestSim.OstraMaxWaiting(200));
            robot.connectToRobot(Address, Address);
            Script("g", "sys.power", "\"on\"", 1, 1000);
            ErrorCode ec;
            Assert.AreEqual(PowerState.unknown, robot.powerState(out ec));
            Assert.AreEqual(263, ec.value);
            Assert.AreEqual("timeout", ec.message);
        }

        [Test]
        public void ChineseRobotIdRoundTripsByteExact()
        {
            const String id = "机器人-01 \U0001F916";
            SetInfo("{\"id\":\"" + id + "\"}");
            ErrorCode ec;
            Info info = robot_.robotInfo(out ec);
            Assert.AreEqual(0, ec.value);
            CollectionAssert.AreEqual(Encoding.UTF8.GetBytes(id), Encoding.UTF8.GetBytes(info.id));
            Assert.AreEqual(id, info.id);
        }

        [Test]
        public void ControllerLogTextsRoundTripByteExact()
        {
            SetLog("[{\"err_code\":-10030,\"time\":\"2024-05-01 12:00:00\",\"content\":\"关节 3 超限 \U0001F916\"," +
                   "\"repair\":\"检查限位\",\"level\":\"error\"}," +
                   "{\"err_code\":7,\"time\":\"2024-05-01 12:00:01\",\"content\":\"提示\",\"repair\":\"\",\"level\":\"info\"}]");
            ErrorCode ec;

            List<LogInfo> logs = robot_.queryControllerLog(10, new LogInfoLevel[] { LogInfoLevel.err, LogInfoLevel.info },
                                                           0, out ec);

            Assert.AreEqual(0, ec.value, ec.message);
            Assert.AreEqual(2, logs.Count);
            Assert.AreEqual("提示", logs[0].logText);
            Assert.AreEqual(-10030, logs[1].id);
            Assert.AreEqual("2024-05-01 12:00:00", logs[1].timestamp);
            CollectionAssert.AreEqual(Encoding.UTF8.GetBytes("关节 3 超限 \U0001F916"), Encoding.UTF8.GetBytes(logs[1].logText));
            Assert.AreEqual("检查限位", logs[1].repairHint);
            Assert.AreSame(String.Empty, logs[0].repairHint);
        }

        [Test]
        public void LogLevelsGoAsASetAndTheOffsetAsGiven()
        {
            ErrorCode ec;
            robot_.queryControllerLog(3, new LogInfoLevel[] { LogInfoLevel.warning, LogInfoLevel.warning }, 4, out ec);
            Assert.AreEqual("{\"filter\":{\"level\":[\"warning\"]},\"limit\":3,\"offset\":4,\"order\":\"time DESC\"}",
                            LastPayload("user_log.query"));
            robot_.queryControllerLog(3, null, 0, out ec);
            Assert.AreEqual("{\"filter\":{\"level\":[]},\"limit\":3,\"offset\":0,\"order\":\"time DESC\"}",
                            LastPayload("user_log.query"));
            robot_.queryControllerLog(1, LogInfoLevel.err, out ec);
            Assert.AreEqual("{\"filter\":{\"level\":[\"error\"]},\"limit\":1,\"offset\":0,\"order\":\"time DESC\"}",
                            LastPayload("user_log.query"));
            Assert.AreEqual(0, ec.value);
        }
    }
}
