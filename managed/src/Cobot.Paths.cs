// Path recording and replay of collaborative arms.

using System;

namespace velmora.clr
{
    public partial class Cobot
    {
        /// <summary>Starts recording the arm's path for 30 s.</summary>
        public void startRecordPath(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_start_record_path(Handle, out e), e);
        }
    }
}
