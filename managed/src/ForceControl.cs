// Force control of a collaborative arm: the managed object owns one native force control of
// the arm's joint count, which shares the robot's command link and outlives the robot object.

using System;

namespace velmora.clr
{
    /// <summary>Force control of a collaborative arm. A second Dispose does nothing; any call
    /// after Dispose throws <see cref="ObjectDisposedException"/>.</summary>
    public partial class ForceControl : IDisposable
    {
        private const int MaxJoints = 7;
        private const int CartesianValues = 6;

        private readonly ForceControlHandle handle_;
        private readonly int dof_;

        internal ForceControl(ForceControlHandle handle)
        {
            handle_ = handle;
            int joints;
            NativeCore.Check(vel_forcecontrol_joints(handle_.Checked(), out joints));
            dof_ = joints;
        }

        private ForceControlHandle Handle { get { return handle_.Checked(); } }

        /// <summary>Measured and external torque of each joint, and the Cartesian torque and
        /// force (3 values each), in the frame of <paramref name="ref_type"/>.</summary>
        public void getEndTorque(FrameType ref_type, out double[] joint_torque_measured,
                                 out double[] external_torque_measured, out double[] cart_torque,
                                 out double[] cart_force, out ErrorCode ec)
        {
            double[] joint = new double[MaxJoints];
            double[] external = new double[MaxJoints];
            cart_torque = new double[3];
            cart_force = new double[3];
            int joints;
            VelErr err;
            NativeCore.Check(vel_forcecontrol_end_torque(Handle, (int)ref_type, joint, external, cart_torque,
                                                         cart_force, out joints, out err));
            joint_torque_measured = new double[joints];
            external_torque_measured = new double[joints];
            Array.Copy(joint, joint_torque_measured, joints);
            Array.Copy(external, external_torque_measured, joints);
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
