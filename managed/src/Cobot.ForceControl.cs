// How a collaborative arm hands out force control.

using System;

namespace velmora.clr
{
    public partial class Cobot
    {
        /// <summary>A new force control object with a native object of its own over the robot's
        /// command link; dispose it when done.</summary>
        public ForceControl forceControl()
        {
            ForceControlHandle created;
            int status = vel_cobot_force_control(Handle, out created);
            return new ForceControl(OwnedHandle.Adopt(status, created, false));
        }
    }
}
