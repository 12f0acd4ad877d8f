// EtherCAT access: the managed object owns a native EtherCAT object with a command link of its
// own to the robot's controller. Dispose closes that link; so does the collector, for an object
// never disposed.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    /// <summary>Access to the slaves of the controller's EtherCAT bus. A second Dispose does
    /// nothing; any call after Dispose throws <see cref="ObjectDisposedException"/>.</summary>
    public partial class BaseEthercat : IDisposable
    {
        private const int MinSlaveInfo = 4 * 3 + 2 + 4 + 2 + 4;

        private readonly EthercatHandle handle_;

        internal BaseEthercat(EthercatHandle handle)
        {
            handle_ = handle;
        }

        private EthercatHandle Handle { get { return handle_.Checked(); } }

        /// <summary>Reads <paramref name="length"/> bytes of a service data object into a new
        /// <paramref name="data"/>; a length of 0 or less reads nothing, sends nothing and
        /// succeeds.</summary>
        public bool ReadSDO(int slave_addr, int index, int sub_index, int length, ref byte[] data, int over_time,
                            out ErrorCode ec)
        {
            if (length <= 0)
            {
                handle_.ThrowIfDisposed();
                data = new byte[0];
                ec = new ErrorCode(0, "");
                return true;
            }
            byte[] buffer = new byte[length];
            byte done;
            VelErr err;
            NativeCore.Check(vel_ethercat_read_sdo(Handle, slave_addr, index, sub_index, length, buffer, buffer.Length,
                                                   over_time, out done, out err));
            ec = Conversions.convertErrorCode(err);
            data = buffer;
            return done != 0;
        }

        /// <summary>Writes <paramref name="length"/> bytes: the first ones of
        /// <paramref name="data"/>, zeros after a shorter array.</summary>
        public bool WriteSDO(int slave_addr, int index, int sub_index, int length, byte[] data, int over_time,
                             out ErrorCode ec)
        {
            byte done;
            VelErr err;
            NativeCore.Check(vel_ethercat_write_sdo(Handle, slave_addr, index, sub_index, length, data,
                                                    data == null ? 0 : data.Length, over_time, out done, out err));
            ec = Conversions.convertErrorCode(err);
            return done != 0;
        }

        public bool WriteMultiSDO(ushort slave_addr, List<SDOData> items, out ErrorCode ec)
        {
            byte[] blob = RecordCodec.Encode<IList<SDOData>>(items ?? new List<SDOData>(),
                                                            (w, list) => RecordCodec.WriteList(w, list, RecordCodec.WriteSdo));
            byte done;
            VelErr err;
            NativeCore.Check(vel_ethercat_write_multi_sdo(Handle, slave_addr, blob, blob.Length, out done, out err));
            ec = Conversions.convertErrorCode(err);
            return done != 0;
        }

        /// <summary>Reads <paramref name="size"/> bytes of process data into a new
        /// <paramref name="data"/> (empty for a size of 0 or less); a longer reply is cut.</summary>
        public bool ReadPDO(int slave_addr, int offset, int size, ref byte[] data, out ErrorCode ec)
        {
            byte[] buffer = new byte[Math.Max(size, 0)];
            byte done;
            VelErr err;
            NativeCore.Check(vel_ethercat_read_pdo(Handle, slave_addr, offset, size, buffer, buffer.Length, out done,
                                                   out err));
            ec = Conversions.convertErrorCode(err);
            data = buffer;
            return done != 0;
        }

        public bool WritePDO(int slave_addr, int offset, int size, byte[] data, out ErrorCode ec)
        {
            byte done;
            VelErr err;
            NativeCore.Check(vel_ethercat_write_pdo(Handle, slave_addr, offset, size, data,
                                                    data == null ? 0 : data.Length, out done, out err));
            ec = Conversions.convertErrorCode(err);
            return done != 0;
        }

        public void Dispose()
        {
            Dispose(true);
            GC.SuppressFinalize(this);
        }

        /// <summary>Closes the object's own link; the handle's own finalizer does the same for an
        /// object the program never disposed.</summary>
        protected virtual void Dispose(bool disposing)
        {
            if (disposing) handle_.Dispose();
        }
    }
}
