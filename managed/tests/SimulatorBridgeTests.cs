using System;
using System.IO;
using System.Net.Sockets;
using System.Text;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>The simulator bridge the managed robot tests script: what a raw client sends
    /// arrives in the request log, and scripted replies come back byte-exact.</summary>
    [TestFixture]
    public class SimulatorBridgeTests : ManagedTest
    {
        private SimHandle sim_;

        [SetUp]
        public void StartSimulator()
        {
            SimHandle created;
            int status = TestSim.vts_sim_start(Utf8.ToNative(TestSim.TestAddress()), out created);
            sim_ = OwnedHandle.Adopt(status, created, false);
        }

        [TearDown]
        public void StopSimulator()
        {
            IntPtr unused;
            NativeCore.Check(TestSim.vts_sim_unused_steps(sim_, out unused));
            String steps = NativeCore.TakeText(unused);
            sim_.Dispose();
            Assert.AreEqual("", steps, "scripted steps never used");
        }

        private static String Exchange(String address, String request)
        {
            using (TcpClient client = new TcpClient())
            {
                client.ReceiveTimeout = 5000;
                client.SendTimeout = 5000;
                client.Connect(address, 6666);
                NetworkStream stream = client.GetStream();
                byte[] bytes = Encoding.UTF8.GetBytes(request + "\r");
                stream.Write(bytes, 0, bytes.Length);
                MemoryStream reply = new MemoryStream();
                int b;
                while ((b = stream.ReadByte()) >= 0 && b != '\r') reply.WriteByte((byte)b);
                return Encoding.UTF8.GetString(reply.ToArray());
            }
        }

        [Test]
        public void ScriptedReplyAndRequestLogCrossTheBridge()
        {
            NativeCore.Check(TestSim.vts_sim_script_reply(sim_, Utf8.ToNative("g"), Utf8.ToNative("sys.info"),
                Utf8.ToNative("{\"id\":\"机器人-01\",\"joint_num\":6}"), 1, 0));

            String reply = Exchange(TestSim.TestAddress(), "{\"g\":{\"sys.info\":{\"who\":\"测试\"}},\"id\":7}");

            Assert.AreEqual("{\"g\":{\"sys.info\":{\"id\":\"机器人-01\",\"joint_num\":6}},\"id\":7}", reply);
            long count;
            NativeCore.Check(TestSim.vts_sim_request_count(sim_, Utf8.ToNative("sys.info"), out count));
            Assert.AreEqual(1, count);
            IntPtr payload;
            NativeCore.Check(TestSim.vts_sim_last_payload(sim_, Utf8.ToNative("sys.info"), out payload));
            Assert.AreEqual("{\"who\":\"测试\"}", NativeCore.TakeText(payload));
            NativeCore.Check(TestSim.vts_sim_last_payload(sim_, Utf8.ToNative("sys.power"), out payload));
            Assert.AreEqual("", NativeCore.TakeText(payload));
        }

        [Test]
        public void BadScriptIsRefused()
        {
            ApiException e = Assert.Throws<ApiException>(() => NativeCore.Check(TestSim.vts_sim_script_reply(
                sim_, Utf8.ToNative("x"), Utf8.ToNative("k"), Utf8.ToNative("1"), 0, 0)));
            Assert.AreEqual("no such form: x", e.Message);
            e = Assert.Throws<ApiException>(() => NativeCore.Check(TestSim.vts_sim_script_reply(
                sim_, null, Utf8.ToNative("k"), Utf8.ToNative("{"), 0, 0)));
            Assert.AreEqual("not JSON: {", e.Message);
        }
    }
}
