// Bindings of the simulator's extension services for the managed tests: kinematics, force
// controller, EtherCAT bus, open links, and an upgrade service of its own.

using System;
using System.Runtime.InteropServices;
using velmora.clr;

namespace velmora.clr.tests
{
    internal static class ExtensionSim
    {
        private const string Library = "velmora_testsim";

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_sim_install_extensions(SimHandle sim, int axes, byte[] slaveAddrs, int slaves);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_sim_open_connections(SimHandle sim, out int count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_upgrade_sim_start(byte[] address, out UpgradeSimHandle sim);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int vts_upgrade_sim_stop(IntPtr sim);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_upgrade_sim_set_backup(UpgradeSimHandle sim, byte[] file);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_upgrade_sim_frames(UpgradeSimHandle sim, out IntPtr json);

        internal static void Install(SimHandle sim, int axes, params byte[] slaves)
        {
            NativeCore.Check(vts_sim_install_extensions(sim, axes, slaves, slaves.Length));
        }

        internal static int OpenConnections(SimHandle sim)
        {
            int count;
            NativeCore.Check(vts_sim_open_connections(sim, out count));
            return count;
        }

        internal static UpgradeSimHandle StartUpgrade(String address)
        {
            UpgradeSimHandle created;
            int status = vts_upgrade_sim_start(Utf8.ToNative(address), out created);
            return OwnedHandle.Adopt(status, created, false);
        }

        internal static void SetBackup(UpgradeSimHandle sim, String file)
        {
            NativeCore.Check(vts_upgrade_sim_set_backup(sim, Utf8.ToNative(file)));
        }

        /// <summary>What the upgrade service received, as compact JSON.</summary>
        internal static String Frames(UpgradeSimHandle sim)
        {
            IntPtr json;
            NativeCore.Check(vts_upgrade_sim_frames(sim, out json));
            return NativeCore.TakeText(json);
        }
    }

    internal sealed class UpgradeSimHandle : OwnedHandle
    {
        protected override bool ReleaseHandle()
        {
            return ExtensionSim.vts_upgrade_sim_stop(handle) == NativeCore.Ok;
        }
    }
}
