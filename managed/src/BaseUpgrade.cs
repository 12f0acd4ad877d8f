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

        /// <summary>Asks for a backup of <paramref name="items"/> (duplicates count once, null
        /// is none) and writes it to <paramref name="local_file_path"/>.</summary>
        public void exportBackup(String local_file_path, BackupItem[] items, out ErrorCode ec)
        {
            int[] values = new int[items == null ? 0 : items.Length];
            for (int i = 0; i < values.Length; ++i) values[i] = (int)items[i];
            VelErr err;
            NativeCore.Check(vel_upgrade_export_backup(Handle, Conversions.convertString(local_file_path), values,
                                                       values.Length, out err));
            ec = Conversions.convertErrorCode(err);
        }

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
