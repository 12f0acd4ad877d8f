// How a robot hands out EtherCAT access.

using System;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        /// <summary>A new EtherCAT object with a command link of its own to the robot's
        /// controller; a link that does not start throws <see cref="ApiException"/>.</summary>
        public BaseEthercat ethercat()
        {
            EthercatHandle created;
            int status = vel_robot_ethercat(Handle, out created);
            return new BaseEthercat(OwnedHandle.Adopt(status, created, true));
        }
    }
}
