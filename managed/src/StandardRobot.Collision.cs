// Collision detection of the 6-axis industrial arm.

using System;

namespace velmora.clr
{
    public partial class StandardRobot
    {
        private const int Joints = 6;

        /// <summary>Six sensitivities: a shorter array is refused with 259 and nothing is sent;
        /// a longer one is cut.</summary>
        public void enableCollisionDetection(double[] sensitivity, double fallback, out ErrorCode ec)
        {
            RobotHandle robot = Handle;
            double[] given = Conversions.fixedArray(sensitivity, Joints);
            if (given == null)
            {
                ec = Conversions.argumentInvalid();
                return;
            }
            VelErr e;
            ec = Done(
                vel_standard_enable_collision_detection(robot, given, given.Length, fallback, out e), e);
        }

        public void disableCollisionDetection(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_standard_disable_collision_detection(Handle, out e), e);
        }
    }
}
