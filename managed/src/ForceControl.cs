// Force control of a collaborative arm: the managed object owns one native force control of
// the arm's joint count, which shares the robot's command link and outlives the robot object.

using System;

namespace velmora.clr
{
    /// <summary>The native force control. Not finalizable: only Dispose releases it.</summary>
    internal sealed partial class ForceControlHandle : OwnedHandle
    {
        protected override bool ReleaseHandle()
        {
            return vel_forcecontrol_destroy(handle) == NativeCore.Ok;
        }
    }

    /// <summary>Force control of a collaborative arm. A second Dispose does nothing; any call
    /// after Dispose throws <see cref="ObjectDisposedException"/>.</summary>
    public partial class ForceControl : IDisposable
    {
        // Selectors of the native exports that share a shape.
        private const int Start = 0, Stop = 1, StartOverlay = 2, StopOverlay = 3, PauseOverlay = 4,
                          RestartOverlay = 5, WaitCondition = 6;
        private const int CartStiffness = 0, CartDesiredForce = 1, CartMaxVel = 2, CartControlMaxWrench = 3,
                          CartControlMaxVel = 4;
        private const int JointStiffness = 0, JointDesiredTorque = 1, JointMaxVel = 2, JointMaxMomentum = 3,
                          JointMaxEnergy = 4, JointControlMaxTorque = 5, JointControlMaxVel = 6, Gain = 7,
                          Friction = 8;
        private const int ForceCondition = 0, TorqueCondition = 1;
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

        public void fcStart(out ErrorCode ec) { Run(Start, out ec); }

        public void fcStop(out ErrorCode ec) { Run(Stop, out ec); }

        public void setCartesianStiffness(double[] stiffness, out ErrorCode ec)
        {
            SetCartesian(CartStiffness, stiffness, out ec);
        }

        public void setCartesianDesiredForce(double[] value, out ErrorCode ec)
        {
            SetCartesian(CartDesiredForce, value, out ec);
        }

        public void startOverlay(out ErrorCode ec) { Run(StartOverlay, out ec); }

        public void stopOverlay(out ErrorCode ec) { Run(StopOverlay, out ec); }

        public void pauseOverlay(out ErrorCode ec) { Run(PauseOverlay, out ec); }

        public void restartOverlay(out ErrorCode ec) { Run(RestartOverlay, out ec); }

        public void setForceCondition(double[] range, bool isInside, double timeout, out ErrorCode ec)
        {
            SetCondition(ForceCondition, range, isInside, timeout, out ec);
        }

        public void setTorqueCondition(double[] range, bool isInside, double timeout, out ErrorCode ec)
        {
            SetCondition(TorqueCondition, range, isInside, timeout, out ec);
        }

        public void setPoseBoxCondition(Frame supervising_frame, double[] box, bool isInside, double timeout,
                                        out ErrorCode ec)
        {
            ForceControlHandle fc = Handle;
            double[] values = Conversions.fixedArray(box, CartesianValues);
            if (values == null)
            {
                ec = Conversions.argumentInvalid();
                return;
            }
            VelErr err;
            NativeCore.Check(vel_forcecontrol_set_pose_box_condition(fc, Conversions.frameToValues(supervising_frame),
                                                                     values, values.Length, Conversions.flag(isInside),
                                                                     timeout, out err));
            ec = Conversions.convertErrorCode(err);
        }

        /// <summary>Blocks until the controller reports the conditions met, or up to the
        /// condition wait (600 s unless a condition set a shorter one).</summary>
        public void waitCondition(out ErrorCode ec) { Run(WaitCondition, out ec); }

        public void setCartesianMaxVel(double[] velocity, out ErrorCode ec)
        {
            SetCartesian(CartMaxVel, velocity, out ec);
        }

        public void setCartesianControlMaxWrench(double[] max_wrench, out ErrorCode ec)
        {
            SetCartesian(CartControlMaxWrench, max_wrench, out ec);
        }

        public void setCartesianControlMaxVel(double[] max_cart_vel, out ErrorCode ec)
        {
            SetCartesian(CartControlMaxVel, max_cart_vel, out ec);
        }

        public void setJointStiffness(double[] stiffness, out ErrorCode ec)
        {
            SetJoints(JointStiffness, stiffness, out ec);
        }

        public void setJointDesiredTorque(double[] torque, out ErrorCode ec)
        {
            SetJoints(JointDesiredTorque, torque, out ec);
        }

        public void setJointMaxVel(double[] velocity, out ErrorCode ec)
        {
            SetJoints(JointMaxVel, velocity, out ec);
        }

        public void setJointMaxMomentum(double[] momentum, out ErrorCode ec)
        {
            SetJoints(JointMaxMomentum, momentum, out ec);
        }

        public void setJointMaxEnergy(double[] energy, out ErrorCode ec)
        {
            SetJoints(JointMaxEnergy, energy, out ec);
        }

        public void setJointControlMaxTorque(double[] max_torque, out ErrorCode ec)
        {
            SetJoints(JointControlMaxTorque, max_torque, out ec);
        }

        public void setJointControlMaxVel(double[] max_joint_vel, out ErrorCode ec)
        {
            SetJoints(JointControlMaxVel, max_joint_vel, out ec);
        }

        public void setFcGain(double[] gain, out ErrorCode ec)
        {
            SetJoints(Gain, gain, out ec);
        }

        public void setFriction(double[] fric, out ErrorCode ec)
        {
            SetJoints(Friction, fric, out ec);
        }

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

        private void Run(int which, out ErrorCode ec)
        {
            VelErr err;
            NativeCore.Check(vel_forcecontrol_run(Handle, which, out err));
            ec = Conversions.convertErrorCode(err);
        }

        private void SetCartesian(int which, double[] values, out ErrorCode ec)
        {
            ForceControlHandle fc = Handle;
            double[] array = Conversions.fixedArray(values, CartesianValues);
            if (array == null)
            {
                ec = Conversions.argumentInvalid();
                return;
            }
            VelErr err;
            NativeCore.Check(vel_forcecontrol_set_cartesian(fc, which, array, array.Length, out err));
            ec = Conversions.convertErrorCode(err);
        }

        private void SetJoints(int which, double[] values, out ErrorCode ec)
        {
            ForceControlHandle fc = Handle;
            double[] array = Conversions.fixedArray(values, dof_);
            if (array == null)
            {
                ec = Conversions.argumentInvalid();
                return;
            }
            VelErr err;
            NativeCore.Check(vel_forcecontrol_set_joints(fc, which, array, array.Length, out err));
            ec = Conversions.convertErrorCode(err);
        }

        private void SetCondition(int which, double[] range, bool isInside, double timeout, out ErrorCode ec)
        {
            ForceControlHandle fc = Handle;
            double[] array = Conversions.fixedArray(range, CartesianValues);
            if (array == null)
            {
                ec = Conversions.argumentInvalid();
                return;
            }
            VelErr err;
            NativeCore.Check(vel_forcecontrol_set_condition(fc, which, array, array.Length,
                                                            Conversions.flag(isInside), timeout, out err));
            ec = Conversions.convertErrorCode(err);
        }
    }
}
