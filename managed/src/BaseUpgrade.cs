// The upgrade client of a controller: package upgrades and backups over the controller's
// upgrade port, independent of any robot object.

using System;

namespace velmora.clr
{
    /// <summary>Sends upgrade packages to a controller and receives its backups. A second
    /// Dispose does nothing; any call after Dispose throws
    /// <see cref="ObjectDisposedException"/>.</summary>
    public partial class BaseUpgrade : IDisposable
    {
        private readonly UpgradeHandle handle_;

        /// <summary>Connects at once; a failure throws <see cref="ApiException"/> with the
        /// native message and leaves no native object behind.</summary>
        public BaseUpgrade(String remote_ip) : this(remote_ip, 1)
        {
        }

        /// <summary>An unconnected client; <see cref="connect(String)"/> connects it.</summary>
        public BaseUpgrade() : this(null, 0)
        {
        }

        private BaseUpgrade(String remoteIP, byte connect)
        {
            UpgradeHandle created;
            int status = vel_upgrade_create(Conversions.convertString(remoteIP), connect, out created);
            handle_ = OwnedHandle.Adopt(status, created, false);
        }

        private UpgradeHandle Handle { get { return handle_.Checked(); } }

        public void Dispose()
        {
            Dispose(true);
            GC.SuppressFinalize(this);
        }

        protected virtual void Dispose(bool disposing)
        {
            if (disposing) handle_.Dispose();
        }
    }
}
