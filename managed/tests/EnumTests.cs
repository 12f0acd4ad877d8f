using System;
using System.Collections.Generic;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    [TestFixture]
    public class EnumTests : ManagedTest
    {
        // Every managed enumeration with a native counterpart (CANFormat and CANType have none:
        // the native CAN frame holds plain integers).
        private static readonly Dictionary<String, Type> Mirrored = new Dictionary<String, Type>
        {
            { "PowerState", typeof(PowerState) },
            { "OperateMode", typeof(OperateMode) },
            { "OperationState", typeof(OperationState) },
            { "WorkType", typeof(WorkType) },
            { "CoordinateType", typeof(CoordinateType) },
            { "StopLevel", typeof(StopLevel) },
            { "MotionControlMode", typeof(MotionControlMode) },
            { "RtControllerMode", typeof(RtControllerMode) },
            { "SegmentFrame", typeof(SegmentFrame) },
            { "FrameType", typeof(FrameType) },
            { "AvoidSingularityMethod", typeof(AvoidSingularityMethod) },
            { "Event", typeof(Event) },
            { "LogInfoLevel", typeof(LogInfoLevel) },
            { "BackupItem", typeof(BackupItem) },
            { "FlangeboxOpt.Vout", typeof(FlangeboxOpt.Vout) },
            { "CartesianPosition.Offset.Type", typeof(CartesianPosition.Offset.Type) },
            { "JogSpace", typeof(JogSpace) },
            { "JogOpt.Space", typeof(JogOpt.Space) },
            { "DragOpt.Space", typeof(DragOpt.Space) },
            { "DragOpt.Type", typeof(DragOpt.Type) },
            { "DragParameter.Space", typeof(DragParameter.Space) },
            { "DragParameter.Type", typeof(DragParameter.Type) },
        };

        [Test]
        public void ManagedEnumerationsEqualTheNativeOnes()
        {
            Dictionary<String, int> members = new Dictionary<String, int>();
            foreach (String line in TestSim.EnumTable().Split(new[] { '\n' }, StringSplitOptions.RemoveEmptyEntries))
            {
                String[] parts = line.Split(' ');
                Type type;
                Assert.IsTrue(Mirrored.TryGetValue(parts[0], out type), "no managed " + parts[0]);
                int native = Int32.Parse(parts[2]);
                Assert.IsTrue(Enum.IsDefined(type, parts[1]), parts[0] + "." + parts[1] + " missing");
                Assert.AreEqual(native, (int)Enum.Parse(type, parts[1]), parts[0] + "." + parts[1]);
                members[parts[0] + "." + parts[1]] = native;
            }
            foreach (KeyValuePair<String, Type> e in Mirrored)
            {
                foreach (String name in Enum.GetNames(e.Value))
                    Assert.IsTrue(members.ContainsKey(e.Key + "." + name), e.Key + "." + name + " has no native member");
            }
        }
    }
}
