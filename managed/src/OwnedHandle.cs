// Base of the handles of native objects that a managed object owns (robots, force control,
// EtherCAT, upgrade client). A SafeHandle gives what raw pointers cannot: a second Dispose does
// nothing, and a Dispose while another thread is inside a native call on the object returns at
// once but releases the object only when that call has returned. The runtime still lets new
// calls through while such a call holds the object, so every wrapper passes its handle through
// Checked(), which refuses any call after Dispose.

using System;
using System.Runtime.InteropServices;
using System.Threading;

namespace velmora.clr
{
    internal abstract class OwnedHandle : SafeHandle
    {
        protected OwnedHandle() : base(IntPtr.Zero, true)
        {
        }

        private int disposed_;

        public override bool IsInvalid { get { return handle == IntPtr.Zero; } }

        protected override void Dispose(bool disposing)
        {
            if (disposing) Interlocked.Exchange(ref disposed_, 1);
            base.Dispose(disposing);
        }

        /// <summary>Throws <see cref="ObjectDisposedException"/> once Dispose was called, also
        /// while a call in flight still holds the native object.</summary>
        internal void ThrowIfDisposed()
        {
            if (Volatile.Read(ref disposed_) != 0 || IsClosed) throw new ObjectDisposedException(GetType().Name);
        }

        /// <summary>Takes the handle that a creating export wrote. A failed status throws
        /// <see cref="ApiException"/> with the native text; a handle the caller keeps without
        /// finalizer is released only by Dispose: a robot's destructor stops a moving arm, which
        /// must never happen at the collector's whim.</summary>
        internal static T Adopt<T>(int status, T created, bool finalizable) where T : OwnedHandle
        {
            if (status != NativeCore.Ok || created == null || created.IsInvalid)
            {
                if (created != null)
                {
                    GC.SuppressFinalize(created);
                    created.SetHandleAsInvalid();
                }
                NativeCore.Check(status);
                throw new ApiException("native object not created");
            }
            if (!finalizable) GC.SuppressFinalize(created);
            return created;
        }
    }

    internal static class OwnedHandleUse
    {
        /// <summary>The handle for a native call, refused after Dispose.</summary>
        internal static T Checked<T>(this T handle) where T : OwnedHandle
        {
            handle.ThrowIfDisposed();
            return handle;
        }
    }
}
