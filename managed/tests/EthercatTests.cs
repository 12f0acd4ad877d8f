// EtherCAT access against the simulator's bus: what each operation sends, the byte buffer
// rules, and the life of the object's own link.

using System;
using System.Collections.Generic;
using System.Runtime.CompilerServices;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    [TestFixture]
    public class EthercatTests : SimulatorTest
    {
        private BaseRobot robot_;

        [SetUp]
        public void Connect()
        {
            SetInfo("{\"joint_num\":6,\"work_type\":\"cobot\"}");
            ExtensionSim.Install(Sim, 6, 1, 2);
            robot_ = Own(new OstraRobot(Address));
        }

        private delegate bool Call(BaseEthercat e, out ErrorCode ec);

        private static readonly Object[][] Operations =
        {
            new Object[] { "ethercat.write_SDO_data",
                           (Call)((BaseEthercat e, out ErrorCode ec) => e.WriteSDO(1, 0x6040, 0, 2, new byte[] { 7, 8 }, 100, out ec)) },
            new Object[] { "ethercat.read_SDO_data", (Call)((BaseEthercat e, out ErrorCode ec) =>
                           { byte[] d = null; return e.ReadSDO(1, 0x6040, 0, 2, ref d, 100, out ec) && d[1] == 8; }) },
            new Object[] { "ethercat.write_multi_SDO_data", (Call)((BaseEthercat e, out ErrorCode ec) =>
                           e.WriteMultiSDO(1, new List<SDOData> { new SDOData { index = 1, length = 1 } }, out ec)) },
            new Object[] { "ethercat.write_PDO_data",
                           (Call)((BaseEthercat e, out ErrorCode ec) => e.WritePDO(2, 4, 3, new byte[] { 1, 2, 3 }, out ec)) },
            new Object[] { "ethercat.read_PDO_data", (Call)((BaseEthercat e, out ErrorCode ec) =>
                           { byte[] d = null; return e.ReadPDO(2, 4, 3, ref d, out ec) && d[2] == 3; }) },
        };

        [Test]
        public void EachOperationSendsItsKey()
        {
            BaseEthercat ethercat = Own(robot_.ethercat());
            foreach (Object[] row in Operations)
            {
                String key = (String)row[0];
                long before = Requests(key);
                ErrorCode ec;
                Assert.IsTrue(((Call)row[1])(ethercat, out ec), key);
                Assert.AreEqual(0, ec.value, key + ": " + ec.message);
                Assert.Greater(Requests(key), before, key);
            }
        }

        [Test]
        public void BuffersHoldExactlyTheSizeAsked()
        {
            BaseEthercat ethercat = Own(robot_.ethercat());
            ErrorCode ec;
            byte[] data = new byte[3];

            // A controller that answers more than asked cannot write past the caller's size.
            Script("c", "ethercat.read_PDO_data", "{\"data\":[1,2,3,4,5,6,7,8,9,10]}");
            Assert.IsTrue(ethercat.ReadPDO(1, 0, 4, ref data, out ec), ec.message);
            Assert.AreEqual(new byte[] { 1, 2, 3, 4 }, data);

            Script("c", "ethercat.read_PDO_data", "{\"data\":[1,2,3,4,5,6,7,8,9,10]}");
            ethercat.ReadPDO(1, 0, 0, ref data, out ec);
            Assert.AreEqual(0, data.Length);

            long sdoReads = Requests("ethercat.read_SDO_data");
            data = null;
            Assert.IsTrue(ethercat.ReadSDO(1, 1, 0, 0, ref data, 100, out ec));
            Assert.AreEqual(0, data.Length);
            Assert.AreEqual(0, ec.value);
            Assert.AreEqual("", ec.message);
            Assert.AreEqual(sdoReads, Requests("ethercat.read_SDO_data"));

            Assert.IsTrue(ethercat.WriteSDO(1, 0x10, 1, 4, new byte[] { 9, 8 }, 100, out ec), ec.message);
            StringAssert.Contains("\"data\":[9,8,0,0]", LastPayload("ethercat.write_SDO_data"));
            Assert.IsTrue(ethercat.WritePDO(1, 0, 2, new byte[] { 5, 6, 7 }, out ec), ec.message);
            StringAssert.Contains("\"data\":[5,6]", LastPayload("ethercat.write_PDO_data"));
        }

        [Test]
        public void MultipleWriteSendsAtMostFiftyBytesAnItem()
        {
            BaseEthercat ethercat = Own(robot_.ethercat());
            byte[] sixty = new byte[60];
            for (int i = 0; i < sixty.Length; ++i) sixty[i] = (byte)(i + 1);
            ErrorCode ec;
            Assert.IsTrue(ethercat.WriteMultiSDO(1, new List<SDOData> { new SDOData { index = 2, length = 50, data = sixty } },
                                                 out ec), ec.message);
            String payload = LastPayload("ethercat.write_multi_SDO_data");
            StringAssert.Contains(",49,50]", payload);
            StringAssert.DoesNotContain(",51", payload);

            long sent = Requests("ethercat.write_multi_SDO_data");
            ethercat.WriteMultiSDO(1, new List<SDOData> { new SDOData { length = 60, data = sixty } }, out ec);
            Assert.AreEqual(259, ec.value);
            ethercat.WriteMultiSDO(1, null, out ec);
            Assert.AreEqual(sent + 1, Requests("ethercat.write_multi_SDO_data"));
        }

        [Test]
        public void EachObjectHasItsOwnLink()
        {
            int before = ExtensionSim.OpenConnections(Sim);
            BaseEthercat first = robot_.ethercat();
            BaseEthercat second = Own(robot_.ethercat());
            Assert.IsTrue(WaitUntil(() => ExtensionSim.OpenConnections(Sim) == before + 2, 3000));
            first.Dispose();
            first.Dispose();
            Assert.IsTrue(WaitUntil(() => ExtensionSim.OpenConnections(Sim) == before + 1, 3000));
            ErrorCode ec;
            Assert.AreEqual(2, second.GetSlaveCount(out ec));
            Assert.Throws<ObjectDisposedException>(() => first.GetSlaveCount(out ec));
        }

        [MethodImpl(MethodImplOptions.NoInlining)]
        private void Abandon()
        {
            robot_.ethercat();
        }

        [Test]
        public void AnUndisposedObjectClosesItsLinkWhenCollected()
        {
            int before = ExtensionSim.OpenConnections(Sim);
            Abandon();
            Assert.IsTrue(WaitUntil(() => ExtensionSim.OpenConnections(Sim) == before + 1, 3000));
            for (int i = 0; i < 20 && ExtensionSim.OpenConnections(Sim) > before; ++i)
            {
                GC.Collect();
                GC.WaitForPendingFinalizers();
                WaitUntil(() => ExtensionSim.OpenConnections(Sim) == before, 100);
            }
            Assert.AreEqual(before, ExtensionSim.OpenConnections(Sim));
        }

        [Test]
        public void AnUnconnectedRobotGivesApiException()
        {
            OstraRobot unconnected = Own(new OstraRobot());
            Assert.Throws<ApiException>(() => unconnected.ethercat());
        }
    }
}
