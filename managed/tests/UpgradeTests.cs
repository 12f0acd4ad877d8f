// The upgrade client against an upgrade service of its own: a package upgrade, a backup, and
// the client's life.

using System;
using System.IO;
using System.Text;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    [TestFixture]
    public class UpgradeTests : ManagedTest
    {
        private String address_;
        private String folder_;

        [SetUp]
        public void Prepare()
        {
            address_ = TestSim.TestAddress();
            folder_ = Path.Combine(Path.GetTempPath(), "velmora-upgrade-" + Guid.NewGuid().ToString("N"));
            Directory.CreateDirectory(folder_);
        }

        [TearDown]
        public void Clean()
        {
            Directory.Delete(folder_, true);
        }

        [Test]
        public void UpgradeSendsThePackageAndBackupWritesTheFile()
        {
            using (UpgradeSimHandle sim = ExtensionSim.StartUpgrade(address_))
            using (BaseUpgrade client = new BaseUpgrade(address_))
            {
                String package = Path.Combine(folder_, "package.zip");
                File.WriteAllText(package, "package bytes");
                ErrorCode ec;
                client.upgrade(package, out ec);
                Assert.AreEqual(0, ec.value, ec.message);
                String frames = ExtensionSim.Frames(sim);
                StringAssert.Contains("\"digest_matches\":true", frames);
                StringAssert.Contains("\"file\":\"package bytes\"", frames);

                ExtensionSim.SetBackup(sim, "备份 contents");
                String backup = Path.Combine(folder_, "备份.zip");
                client.exportBackup(backup, new[] { BackupItem.controllerLog, BackupItem.rlProgram,
                                                    BackupItem.controllerLog }, out ec);
                Assert.AreEqual(0, ec.value, ec.message);
                Assert.AreEqual("备份 contents", File.ReadAllText(backup, Encoding.UTF8));
                StringAssert.Contains("\"export\":[\"log\",\"project\"]", ExtensionSim.Frames(sim));
            }
        }

        [Test]
        public void ConnectingLaterUsesTheGivenAddress()
        {
            using (UpgradeSimHandle sim = ExtensionSim.StartUpgrade(address_))
            using (BaseUpgrade client = new BaseUpgrade())
            {
                ErrorCode ec;
                client.connect(out ec);
                Assert.AreEqual(256, ec.value);
                client.connect(address_);
                client.connect(out ec);
                Assert.AreEqual(0, ec.value, ec.message);
            }
        }

        [Test]
        public void NoServiceGivesApiExceptionAndNothingLeftBehind()
        {
            Assert.Throws<ApiException>(() => new BaseUpgrade(address_));
            using (BaseUpgrade client = new BaseUpgrade())
                Assert.Throws<ApiException>(() => client.connect(address_));
        }

        [Test]
        public void SecondDisposeDoesNothing()
        {
            BaseUpgrade client = new BaseUpgrade();
            client.Dispose();
            client.Dispose();
            ErrorCode ec;
            Assert.Throws<ObjectDisposedException>(() => client.upgrade("x", out ec));
        }
    }
}
