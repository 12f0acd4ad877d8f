// RL projects and controller files.

using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private const int MinProject = 4 + 4;
    }
}
