using System;
using System.Collections.Generic;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>Each record's crossing form against the native fields it fills: the library
    /// encodes a native record made from JSON and the managed side reads it, or the managed side
    /// encodes and the library decodes and shows it. Both at once make the round trips.</summary>
    [TestFixture]
    public class CodecTests : ManagedTest
    {
        private const String PoseJson =
            "{\"confData\":[1,-2,3,0,0,0,0,8],\"elbow\":0.5,\"external\":[1.25,-2.0]," +
            "\"rpy\":[4.0,5.0,6.0],\"trans\":[1.0,2.0,3.0]}";

        private static CartesianPosition Pose()
        {
            CartesianPosition pose = new CartesianPosition();
            pose.trans = new double[] { 1, 2, 3 };
            pose.rpy = new double[] { 4, 5, 6 };
            pose.elbow = 0.5;
            pose.confData.AddRange(new int[] { 1, -2, 3, 0, 0, 0, 0, 8 });
            pose.external.AddRange(new double[] { 1.25, -2 });
            return pose;
        }

        private static byte[] Encode<T>(T record, RecordCodec.Writer<T> write)
        {
            return RecordCodec.Encode(record, write);
        }

        [Test]
        public void PoseCrossesBothWays()
        {
            Assert.AreEqual(PoseJson, TestSim.Describe(TestSim.Pose, Encode(Pose(), RecordCodec.WritePose)));

            CartesianPosition back = RecordCodec.Decode(TestSim.Sample(TestSim.Pose, PoseJson), RecordCodec.ReadPose);
            CollectionAssert.AreEqual(new double[] { 1, 2, 3 }, back.trans);
            CollectionAssert.AreEqual(new double[] { 4, 5, 6 }, back.rpy);
            Assert.AreEqual(0.5, back.elbow);
            CollectionAssert.AreEqual(new int[] { 1, -2, 3, 0, 0, 0, 0, 8 }, back.confData);
            CollectionAssert.AreEqual(new double[] { 1.25, -2 }, back.external);
        }

        [Test]
        public void EmptyPoseStaysEmpty()
        {
            byte[] blob = Encode(new CartesianPosition(), RecordCodec.WritePose);
            String json = TestSim.Describe(TestSim.Pose, blob);
            Assert.AreEqual("{\"confData\":[],\"elbow\":0.0,\"external\":[],\"rpy\":[0.0,0.0,0.0],\"trans\":[0.0,0.0,0.0]}", json);
            CartesianPosition back = RecordCodec.Decode(TestSim.Sample(TestSim.Pose, json), RecordCodec.ReadPose);
            Assert.AreEqual(0, back.confData.Count);
            Assert.AreEqual(0, back.external.Count);
        }

        [TestCase(TestSim.Pose)]
        [TestCase(TestSim.Can)]
        [TestCase(TestSim.Texts)]
        public void MalformedBlobIsRefusedNotRead(int kind)
        {
            byte[] blob = { 3, 0, 0, 0, 1 };
            ApiException e = Assert.Throws<ApiException>(() => TestSim.Describe(kind, blob));
            StringAssert.StartsWith("malformed record", e.Message);
        }

        [Test]
        public void ManagedReaderRefusesShortAndOverlongBlobs()
        {
            byte[] blob = TestSim.Sample(TestSim.Pose, PoseJson);
            byte[] shorter = new byte[blob.Length - 1];
            Array.Copy(blob, shorter, shorter.Length);
            byte[] longer = new byte[blob.Length + 1];
            Array.Copy(blob, longer, blob.Length);
            Assert.Throws<ApiException>(() => RecordCodec.Decode(shorter, RecordCodec.ReadPose));
            Assert.Throws<ApiException>(() => RecordCodec.Decode(longer, RecordCodec.ReadPose));
            byte[] hugeCount = { 0xFF, 0xFF, 0xFF, 0x7F };
            Assert.Throws<ApiException>(() => RecordCodec.Decode(hugeCount, RecordCodec.ReadTexts));
        }

        [Test]
        public void InfoKeepsAChineseRobotId()
        {
            Info info = RecordCodec.Decode(TestSim.Sample(TestSim.Info,
                "{\"id\":\"机器人-01\",\"mac\":\"00:1b\",\"version\":\"3.1.0\",\"type\":\"ostra\",\"joint_num\":6}"),
                RecordCodec.ReadInfo);
            Assert.AreEqual("机器人-01", info.id);
            Assert.AreEqual("00:1b", info.mac);
            Assert.AreEqual("3.1.0", info.version);
            Assert.AreEqual("ostra", info.type);
            Assert.AreEqual(6, info.joint_num);
        }

        [Test]
        public void WorkToolListComesFieldByField()
        {
            List<WorkToolInfo> tools = RecordCodec.Decode(TestSim.Sample(TestSim.WorkTools,
                "[{\"name\":\"夹爪\",\"alias\":\"g1\",\"robotHeld\":true," +
                "\"pos\":{\"trans\":[1,2,3],\"rpy\":[4,5,6]},\"load\":{\"mass\":2.5,\"cog\":[7,8,9],\"inertia\":[10,11,12]}}," +
                "{\"name\":\"wobj0\",\"alias\":\"\",\"robotHeld\":false," +
                "\"pos\":{\"trans\":[0,0,0],\"rpy\":[0,0,0]},\"load\":{\"mass\":0,\"cog\":[0,0,0],\"inertia\":[0,0,0]}}]"),
                r => RecordCodec.ReadList(r, RecordCodec.ReadWorkToolInfo, 1));
            Assert.AreEqual(2, tools.Count);
            Assert.AreEqual("夹爪", tools[0].name);
            Assert.AreEqual("g1", tools[0].alias);
            Assert.IsTrue(tools[0].robotHeld);
            CollectionAssert.AreEqual(new double[] { 1, 2, 3 }, tools[0].pos.trans);
            CollectionAssert.AreEqual(new double[] { 4, 5, 6 }, tools[0].pos.rpy);
            Assert.AreEqual(2.5, tools[0].load.mass);
            CollectionAssert.AreEqual(new double[] { 7, 8, 9 }, tools[0].load.cog);
            CollectionAssert.AreEqual(new double[] { 10, 11, 12 }, tools[0].load.inertia);
            Assert.AreEqual("wobj0", tools[1].name);
            Assert.IsFalse(tools[1].robotHeld);
        }

        [Test]
        public void ControllerLogTextsStayUtf8()
        {
            List<LogInfo> logs = RecordCodec.Decode(TestSim.Sample(TestSim.Logs,
                "[{\"id\":-10030,\"timestamp\":\"2024-05-01 12:00:00\",\"logText\":\"关节 3 超限 \U0001F916\",\"repairHint\":\"检查\"}," +
                "{\"id\":7,\"timestamp\":\"t\",\"logText\":\"\",\"repairHint\":\"\"}]"),
                r => RecordCodec.ReadList(r, RecordCodec.ReadLogInfo, 1));
            Assert.AreEqual(2, logs.Count);
            Assert.AreEqual(-10030, logs[0].id);
            Assert.AreEqual("2024-05-01 12:00:00", logs[0].timestamp);
            Assert.AreEqual("关节 3 超限 \U0001F916", logs[0].logText);
            Assert.AreEqual("检查", logs[0].repairHint);
            Assert.AreEqual(7, logs[1].id);
            Assert.AreSame(String.Empty, logs[1].logText);
        }

        [Test]
        public void ProjectListKeepsTaskOrder()
        {
            List<RLProjectInfo> projects = RecordCodec.Decode(TestSim.Sample(TestSim.Projects,
                "[{\"name\":\"焊接\",\"taskList\":[\"main\",\"任务2\",\"t3\"]},{\"name\":\"empty\",\"taskList\":[]}]"),
                r => RecordCodec.ReadList(r, RecordCodec.ReadProjectInfo, 1));
            Assert.AreEqual("焊接", projects[0].name);
            CollectionAssert.AreEqual(new String[] { "main", "任务2", "t3" }, projects[0].taskList);
            Assert.AreEqual("empty", projects[1].name);
            Assert.AreEqual(0, projects[1].taskList.Count);
        }

        [Test]
        public void SlaveInfoKeepsItsWidths()
        {
            List<SlaveInfo> slaves = RecordCodec.Decode(TestSim.Sample(TestSim.Slaves,
                "[{\"vendorId\":4294967295,\"productCode\":2,\"reversionNumber\":3,\"slaveAddr\":65535," +
                "\"slaveId\":5,\"alStatus\":8,\"slaveName\":\"伺服-1\"}]"),
                r => RecordCodec.ReadList(r, RecordCodec.ReadSlaveInfo, 1));
            SlaveInfo s = slaves[0];
            Assert.AreEqual(4294967295u, s.vendorId);
            Assert.AreEqual(2u, s.productCode);
            Assert.AreEqual(3u, s.reversionNumber);
            Assert.AreEqual((ushort)65535, s.slaveAddr);
            Assert.AreEqual(5u, s.slaveId);
            Assert.AreEqual((ushort)8, s.alStatus);
            Assert.AreEqual("伺服-1", s.slaveName);
        }

        [Test]
        public void StateListComesWhole()
        {
            StateList state = RecordCodec.Decode(TestSim.Sample(TestSim.State,
                "{\"joint_pos\":[0.5,1.5,2.5],\"cart_pos\":" + PoseJson + "," +
                "\"digital_signals\":[[\"DI1_0\",true],[\"输出\",false]],\"analog_signals\":[[\"AI1_0\",3.25]]," +
                "\"operation_mode\":1,\"speed_override\":0.75}"),
                RecordCodec.ReadStateList);
            CollectionAssert.AreEqual(new double[] { 0.5, 1.5, 2.5 }, state.joint_pos);
            CollectionAssert.AreEqual(new int[] { 1, -2, 3, 0, 0, 0, 0, 8 }, state.cart_pos.confData);
            Assert.AreEqual(Tuple.Create("DI1_0", true), state.digital_signals[0]);
            Assert.AreEqual(Tuple.Create("输出", false), state.digital_signals[1]);
            Assert.AreEqual(1, state.analog_signals.Length);
            Assert.AreEqual(Tuple.Create("AI1_0", 3.25), state.analog_signals[0]);
            Assert.AreEqual(OperateMode.automatic, state.operation_mode);
            Assert.AreEqual(0.75, state.speed_override);
        }

        [Test]
        public void EventInfoCarriesKnownTypesAndLeavesOthersOut()
        {
            Dictionary<String, Object> info = RecordCodec.Decode(TestSim.Sample(TestSim.Event,
                "{\"count\":7,\"ratio\":0.5,\"cmdID\":\"命令-1\",\"done\":true,\"error\":{\"error\":-260},\"list\":[1]}"),
                RecordCodec.ReadEventInfo);
            Assert.AreEqual(5, info.Count);
            Assert.AreEqual(7, info["count"]);
            Assert.AreEqual(0.5, info["ratio"]);
            Assert.AreEqual("命令-1", info["cmdID"]);
            Assert.AreEqual(true, info["done"]);
            ErrorCode ec = (ErrorCode)info["error"];
            Assert.AreEqual(-260, ec.value);
            Assert.AreEqual("protocol mismatch", ec.message);
            Assert.IsFalse(info.ContainsKey("list"));
        }

        [Test]
        public void CanFrameCrossesBothWaysAndNullIsZeros()
        {
            CANFrame frame = new CANFrame(0x123, 1, 0, new byte[] { 1, 2, 255 }, 3);
            String json = TestSim.Describe(TestSim.Can, Encode(frame, RecordCodec.WriteCanFrame));
            Assert.AreEqual("{\"data\":[1,2,255],\"frame_format\":1,\"frame_id\":291,\"frame_type\":0,\"frame_valid_length\":3}", json);

            CANFrame back = RecordCodec.Decode(TestSim.Sample(TestSim.Can, json), RecordCodec.ReadCanFrame);
            Assert.AreEqual(0x123, back.frame_id);
            Assert.AreEqual(1, back.frame_format);
            Assert.AreEqual(0, back.frame_type);
            CollectionAssert.AreEqual(new byte[] { 1, 2, 255 }, back.data);
            Assert.AreEqual(3, back.frame_valid_length);

            Assert.AreEqual("{\"data\":[],\"frame_format\":0,\"frame_id\":0,\"frame_type\":0,\"frame_valid_length\":0}",
                            TestSim.Describe(TestSim.Can, Encode<CANFrame>(null, RecordCodec.WriteCanFrame)));
        }

        private static String SdoJson(int length, int copied)
        {
            String[] bytes = new String[50];
            for (int i = 0; i < 50; ++i) bytes[i] = i < copied ? (i + 1).ToString() : "0";
            return "{\"data\":[" + String.Join(",", bytes) + "],\"index\":24576,\"length\":" + length +
                   ",\"over_time\":100,\"print_data\":1,\"sub_index\":2,\"wait_time\":5}";
        }

        [TestCase(60, 60, 50)]
        [TestCase(10, 60, 10)]
        [TestCase(10, 4, 4)]
        [TestCase(-1, 60, 0)]
        public void SdoDataCopiesAtMostFiftyBytes(int length, int given, int copied)
        {
            SDOData item = new SDOData();
            item.index = 0x6000;
            item.sub_index = 2;
            item.length = length;
            item.over_time = 100;
            item.wait_time = 5;
            item.print_data = 1;
            item.data = new byte[given];
            for (int i = 0; i < given; ++i) item.data[i] = (byte)(i + 1);

            String json = TestSim.Describe(TestSim.Sdos,
                Encode<IList<SDOData>>(new List<SDOData> { item }, (w, l) => RecordCodec.WriteList(w, l, RecordCodec.WriteSdo)));
            Assert.AreEqual("[" + SdoJson(length, copied) + "]", json);
        }

        [Test]
        public void OffsetCrossesAndNullIsNone()
        {
            CartesianPosition.Offset offset = new CartesianPosition.Offset();
            offset.type = CartesianPosition.Offset.Type.relTool;
            offset.frame = new Frame(new double[] { 1, 2, 3, 4, 5, 6 });
            Assert.AreEqual("{\"frame\":{\"rpy\":[4.0,5.0,6.0],\"trans\":[1.0,2.0,3.0]},\"type\":2}",
                            TestSim.Describe(TestSim.Offset, Encode(offset, RecordCodec.WriteOffset)));
            offset.frame = null;
            String none = "{\"frame\":{\"rpy\":[0.0,0.0,0.0],\"trans\":[0.0,0.0,0.0]},\"type\":0}";
            Assert.AreEqual(none, TestSim.Describe(TestSim.Offset, Encode(offset, RecordCodec.WriteOffset)));
            Assert.AreEqual(none, TestSim.Describe(TestSim.Offset, Encode<CartesianPosition.Offset>(null, RecordCodec.WriteOffset)));
        }

        [Test]
        public void TextListRoundTrips()
        {
            List<String> texts = new List<String> { "q1", "", "关节\U0001F916", null, "cut\0here" };
            String json = TestSim.Describe(TestSim.Texts, Encode<IList<String>>(texts, RecordCodec.WriteTexts));
            Assert.AreEqual("[\"q1\",\"\",\"关节\U0001F916\",\"\",\"cut\"]", json);
            CollectionAssert.AreEqual(new String[] { "q1", "", "关节\U0001F916", "", "cut" },
                                      RecordCodec.Decode(TestSim.Sample(TestSim.Texts, json), RecordCodec.ReadTexts));
        }

        private static double[] Flat(byte[] blob, int n)
        {
            BlobReader r = new BlobReader(blob);
            double[] values = new double[n];
            for (int i = 0; i < n; ++i) values[i] = r.F64();
            r.Finish();
            return values;
        }

        private static byte[] Blob(double[] values)
        {
            BlobWriter w = new BlobWriter();
            foreach (double v in values) w.F64(v);
            return w.ToArray();
        }

        [Test]
        public void ToolsetCrossesAsEndThenReferenceThenLoad()
        {
            Toolset toolset = new Toolset();
            toolset.end = new Frame(new double[] { 1, 2, 3, 4, 5, 6 });
            toolset.reference = new Frame(new double[] { 7, 8, 9, 10, 11, 12 });
            toolset.load = new Load(13, new double[] { 14, 15, 16 }, new double[] { 17, 18, 19 });
            String json = TestSim.Describe(TestSim.Toolset, Blob(Conversions.toolsetToValues(toolset)));
            Assert.AreEqual("{\"end\":{\"rpy\":[4.0,5.0,6.0],\"trans\":[1.0,2.0,3.0]}," +
                            "\"load\":{\"cog\":[14.0,15.0,16.0],\"inertia\":[17.0,18.0,19.0],\"mass\":13.0}," +
                            "\"ref\":{\"rpy\":[10.0,11.0,12.0],\"trans\":[7.0,8.0,9.0]}}", json);

            Toolset back = Conversions.toolsetFromValues(Flat(TestSim.Sample(TestSim.Toolset, json), Conversions.ToolsetValues));
            CollectionAssert.AreEqual(Conversions.toolsetToValues(toolset), Conversions.toolsetToValues(back));
            CollectionAssert.AreEqual(new double[] { 7, 8, 9 }, back.reference.trans);
            Assert.AreEqual(13, back.load.mass);
        }

        [Test]
        public void CalibrationAndKeypadComeFlat()
        {
            FrameCalibrationResult result = Conversions.calibrationFromValues(Flat(TestSim.Sample(TestSim.Calibration,
                "{\"frame\":{\"trans\":[1,2,3],\"rpy\":[4,5,6]},\"errors\":[0.25,0.5,0.75]}"), Conversions.CalibrationValues));
            CollectionAssert.AreEqual(new double[] { 1, 2, 3 }, result.frame.trans);
            CollectionAssert.AreEqual(new double[] { 4, 5, 6 }, result.frame.rpy);
            CollectionAssert.AreEqual(new double[] { 0.25, 0.5, 0.75 }, result.errors);

            KeyPadState keys = Conversions.keypadFromFlags(TestSim.Sample(TestSim.Keypad, "[true,false,false,true,false,false,true]"));
            Assert.IsTrue(keys.key1_state);
            Assert.IsFalse(keys.key2_state);
            Assert.IsFalse(keys.key3_state);
            Assert.IsTrue(keys.key4_state);
            Assert.IsFalse(keys.key5_state);
            Assert.IsFalse(keys.key6_state);
            Assert.IsTrue(keys.key7_state);
        }
    }
}
