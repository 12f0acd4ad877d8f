// The robot classes: one managed object per native robot, which it builds (with its kinematics
// model) in its constructor and releases in Dispose. The operations live in the partial files
// of BaseRobot, one per group.

using System;
using System.Threading;

namespace velmora.clr
{
    /// <summary>The arm classes, in the order the dispatch rules test them; the values are the
    /// native interface's.</summary>
    internal enum RobotKind
    {
        Sorn3 = 0, Sorn4 = 1, Standard = 2, OstraLite = 3, Ostra = 4, OstraMax = 5, Lyn = 6
    }

    /// <summary>Base of every robot class. A robot is never released by the collector: only
    /// Dispose destroys its native robot, which stops a moving arm and closes the links. A
    /// second Dispose does nothing; any call after Dispose throws
    /// <see cref="ObjectDisposedException"/>; a Dispose while another thread is inside a call
    /// releases the native robot when that call has returned.</summary>
    public partial class BaseRobot : IDisposable
    {
        // Constructor forms of the native interface.
        internal const int Unconnected = 0;
        internal const int RemoteOnly = 1;
        internal const int RemoteAndLocal = 2;

        private readonly RobotHandle handle_;
        private readonly RobotKind kind_;
        private readonly long id_;
        private int closing_;

        /// <summary>A robot without a native robot; every operation throws
        /// <see cref="NullReferenceException"/>.</summary>
        protected BaseRobot()
        {
        }

        /// <summary>Builds the native robot and its model, connecting when an address is
        /// given. A failure throws <see cref="ApiException"/> with the native text and leaves
        /// no native object behind.</summary>
        internal BaseRobot(RobotKind kind, int form, String remoteIP, String localIP)
        {
            RobotHandle created;
            long id;
            int status = vel_robot_create((int)kind, form, Conversions.convertString(remoteIP),
                                          Conversions.convertString(localIP), out created, out id);
            handle_ = OwnedHandle.Adopt(status, created, false);
            kind_ = kind;
            id_ = id;
        }

        /// <summary>Takes a native robot of <paramref name="kind"/> built elsewhere.</summary>
        internal BaseRobot(RobotKind kind, RobotHandle handle, long id)
        {
            handle_ = handle;
            kind_ = kind;
            id_ = id;
        }

        /// <summary>The native robot for a call; throws <see cref="ObjectDisposedException"/>
        /// after Dispose.</summary>
        internal RobotHandle Handle
        {
            get
            {
                if (handle_ == null) throw new NullReferenceException("the robot has no native robot");
                return handle_.Checked();
            }
        }

        internal RobotKind Kind { get { return kind_; } }

        /// <summary>Names the robot to the native side for its whole life; never reused.</summary>
        internal long Id { get { return id_; } }

        /// <summary>3- and 4-axis industrial arms have no state stream: the stream operations
        /// refuse them before anything is sent.</summary>
        internal void RequireStateStream()
        {
            if (handle_ == null) throw new NullReferenceException("the robot has no native robot");
            if (kind_ == RobotKind.Sorn3 || kind_ == RobotKind.Sorn4)
                throw new NotSupportedException("The robot model doesn't support");
        }

        public void Dispose()
        {
            Dispose(true);
            GC.SuppressFinalize(this);
        }

        /// <summary>Destroys the native robot (stopping a moving arm, closing its links), then
        /// its model.</summary>
        protected virtual void Dispose(bool disposing)
        {
            if (!disposing || handle_ == null) return;
            // Marked before the callbacks go: a registration racing this Dispose either sees the
            // mark and takes its entry back, or made its entry before Forget removes it.
            Interlocked.Exchange(ref closing_, 1);
            // Calls still on their way find no callback and are dropped.
            RobotCallbackTable.Forget(id_);
            handle_.Dispose();
        }

        /// <summary>This robot's entry of the callback table, for a registration; throws
        /// <see cref="ObjectDisposedException"/>, leaving no entry, once Dispose has begun.</summary>
        internal RobotCallbacks CallbacksForRegistration()
        {
            RobotCallbacks callbacks = RobotCallbackTable.For(id_);
            if (Interlocked.CompareExchange(ref closing_, 0, 0) != 0)
            {
                RobotCallbackTable.Forget(id_);
                throw new ObjectDisposedException(handle_.GetType().Name);
            }
            return callbacks;
        }
    }

    /// <summary>Base of the collaborative arms.</summary>
    public partial class Cobot : BaseRobot
    {
        /// <summary>A robot without a native robot; every operation throws
        /// <see cref="NullReferenceException"/>.</summary>
        protected Cobot()
        {
        }

        internal Cobot(RobotKind kind, int form, String remoteIP, String localIP)
            : base(kind, form, remoteIP, localIP)
        {
        }

        internal Cobot(RobotKind kind, RobotHandle handle, long id) : base(kind, handle, id)
        {
        }
    }

    // The arm classes and their constructors by addresses are written from the `arms` of
    // managed/abi/operations.toml (src/Robots.Generated.cs).
    public partial class OstraMaxRobot
    {
        internal OstraMaxRobot(RobotHandle handle, long id) : base(RobotKind.OstraMax, handle, id)
        {
        }
    }
}
