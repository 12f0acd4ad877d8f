// EtherCAT access: the managed object owns a native EtherCAT object with a command link of its
// own to the robot's controller. Dispose closes that link; so does the collector, for an object
// never disposed.

using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    /// <summary>The native EtherCAT object; finalizable, so an undisposed one still closes its
    /// link.</summary>
    internal sealed class EthercatHandle : OwnedHandle
    {
        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_destroy(IntPtr ethercat);

        protected override bool ReleaseHandle()
        {
            return vel_ethercat_destroy(handle) == NativeCore.Ok;
        }
    }

    /// <summary>Access to the slaves of the controller's EtherCAT bus. A second Dispose does
    /// nothing; any call after Dispose throws <see cref="ObjectDisposedException"/>.</summary>
    public class BaseEthercat : IDisposable
    {
        private const int MinSlaveInfo = 4 * 3 + 2 + 4 + 2 + 4;

        private readonly EthercatHandle handle_;

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_slave_count(EthercatHandle ethercat, out int count, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_slave_info(EthercatHandle ethercat, int slaveAddr, out IntPtr info,
                                                          out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_slaves_info(EthercatHandle ethercat, out IntPtr infos, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_set_slaves_state(EthercatHandle ethercat, ushort state, out byte done,
                                                                out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_slave_state(EthercatHandle ethercat, int slaveAddr, out ushort state,
                                                           out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_read_sdo(EthercatHandle ethercat, int slaveAddr, int index, int subIndex,
                                                        int length, [Out] byte[] data, int capacity, int overTime,
                                                        out byte done, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_write_sdo(EthercatHandle ethercat, int slaveAddr, int index,
                                                         int subIndex, int length, byte[] data, int dataCount,
                                                         int overTime, out byte done, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_write_multi_sdo(EthercatHandle ethercat, ushort slaveAddr, byte[] items,
                                                               long length, out byte done, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_read_pdo(EthercatHandle ethercat, int slaveAddr, int offset, int size,
                                                        [Out] byte[] data, int capacity, out byte done, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_ethercat_write_pdo(EthercatHandle ethercat, int slaveAddr, int offset, int size,
                                                         byte[] data, int dataCount, out byte done, out VelErr ec);

        internal BaseEthercat(EthercatHandle handle)
        {
            handle_ = handle;
        }

        private EthercatHandle Handle { get { return handle_.Checked(); } }

        public int GetSlaveCount(out ErrorCode ec)
        {
            int count;
            VelErr err;
            NativeCore.Check(vel_ethercat_slave_count(Handle, out count, out err));
            ec = Conversions.convertErrorCode(err);
            return count;
        }

        public SlaveInfo GetSlaveInfo(int slave_addr, out ErrorCode ec)
        {
            IntPtr blob;
            VelErr err;
            NativeCore.Check(vel_ethercat_slave_info(Handle, slave_addr, out blob, out err));
            SlaveInfo info = RecordCodec.Decode(NativeCore.TakeBytes(blob), RecordCodec.ReadSlaveInfo);
            ec = Conversions.convertErrorCode(err);
            return info;
        }

        public List<SlaveInfo> GetSlavesInfo(out ErrorCode ec)
        {
            IntPtr blob;
            VelErr err;
            NativeCore.Check(vel_ethercat_slaves_info(Handle, out blob, out err));
            List<SlaveInfo> infos = RecordCodec.Decode(NativeCore.TakeBytes(blob),
                                                       r => RecordCodec.ReadList(r, RecordCodec.ReadSlaveInfo, MinSlaveInfo));
            ec = Conversions.convertErrorCode(err);
            return infos;
        }

        public bool SetSlavesState(ushort state, out ErrorCode ec)
        {
            byte done;
            VelErr err;
            NativeCore.Check(vel_ethercat_set_slaves_state(Handle, state, out done, out err));
            ec = Conversions.convertErrorCode(err);
            return done != 0;
        }

        public ushort GetSlaveState(int slave_addr, out ErrorCode ec)
        {
            ushort state;
            VelErr err;
            NativeCore.Check(vel_ethercat_slave_state(Handle, slave_addr, out state, out err));
            ec = Conversions.convertErrorCode(err);
            return state;
        }

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
