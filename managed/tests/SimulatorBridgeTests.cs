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
    public class SimulatorBridgeTests : SimulatorTest
    {
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
            Script("g", "sys.info", "{\"id\":\"机器人-01\",\"joint_num\":6}");

            String reply = Exchange(Address, "{\"g\":{\"sys.info\":{\"who\":\"测试\"}},\"id\":7}");

            Assert.AreEqual("{\"g\":{\"sys.info\":{\"id\":\"机器人-01\",\"joint_num\":6}},\"id\":7}", reply);
            Assert.AreEqual(1, Requests("sys.info"));
            Assert.AreEqual("{\"who\":\"测试\"}", LastPayload("sys.info"));
            Assert.AreEqual("", LastPayload("sys.power"));
        }

        [Test]
        public void BadScriptIsRefused()
        {
            ApiException e = Assert.Throws<ApiException>(() => NativeCore.Check(TestSim.vts_sim_script_reply(
                Sim, Utf8.ToNative("x"), Utf8.ToNative("k"), Utf8.ToNative("1"), 0, 0)));
            Assert.AreEqual("no such form: x", e.Message);
            e = Assert.Throws<ApiException>(() => NativeCore.Check(TestSim.vts_sim_script_reply(
                Sim, null, Utf8.ToNative("k"), Utf8.ToNative("{"), 0, 0)));
            Assert.AreEqual("not JSON: {", e.Message);
        }
    }
}
