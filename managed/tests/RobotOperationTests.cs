using System;
using System.Collections.Generic;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>The robot operations of I/O, registers, state, projects and paths: each reaches
    /// the controller under its key, codes and values cross both ways, and the arm class decides
    /// what a call may do.</summary>
    [TestFixture]
    public class RobotOperationTests : SimulatorTest
    {
        private const int NotChosen = 262;

        private delegate ErrorCode Call(OstraMaxRobot robot);

        private static String ArmInfo(int joints, String workType)
        {
            return String.Format("{{\"joint_num\":{0},\"work_type\":\"{1}\"}}", joints, workType);
        }

        private OstraMaxRobot Connect()
        {
            return Own(new OstraMaxRobot(Address, Address));
        }

        // Key the controller must see, and the code the call reports (null: the served reply
        // decides, only the key is checked).
        private static readonly Object[][] Dispatch_ =
        {
            new Object[] { "device.io", 0, (Call)(r => { ErrorCode ec; r.getDI(0, 1, out ec); return ec; }) },
            new Object[] { "device.io.simu.di", null, (Call)(r => { ErrorCode ec; r.setDI(0, 1, true, out ec); return ec; }) },
            new Object[] { "device.io", 0, (Call)(r => { ErrorCode ec; r.getDO(0, 1, out ec); return ec; }) },
            new Object[] { "device.io.out.do", null, (Call)(r => { ErrorCode ec; r.setDO(0, 1, true, out ec); return ec; }) },
            new Object[] { "device.io", 0, (Call)(r => { ErrorCode ec; r.getAI(0, 1, out ec); return ec; }) },
            new Object[] { "device.io.out.ao", null, (Call)(r => { ErrorCode ec; r.setAO(0, 1, 2.5, out ec); return ec; }) },
            new Object[] { "register.values", null, (Call)(r => { ErrorCode ec; int v; r.readRegister("r_int", 0, out v, out ec); return ec; }) },
            new Object[] { "register.values", null, (Call)(r => { ErrorCode ec; List<float> v; r.readRegister("r_float", out v, out ec); return ec; }) },
            new Object[] { "register.write", null, (Call)(r => { ErrorCode ec; r.writeRegister("r_bool", 1, true, out ec); return ec; }) },
            new Object[] { "register.write", null, (Call)(r => { ErrorCode ec; r.writeRegister("r_int", 0, new int[] { 1, 2 }, out ec); return ec; }) },
            new Object[] { "sys.rt.jnt_pos", 0, (Call)(r => { ErrorCode ec; r.jointPos(out ec); return ec; }) },
            new Object[] { "sys.rt.jnt_vel", 0, (Call)(r => { ErrorCode ec; r.jointVel(out ec); return ec; }) },
            new Object[] { "sys.rt.jnt_trq", 0, (Call)(r => { ErrorCode ec; r.jointTorque(out ec); return ec; }) },
            new Object[] { "sys.posture", 0, (Call)(r => { ErrorCode ec; r.cartPosture(CoordinateType.endInRef, out ec); return ec; }) },
            new Object[] { "project.list", 0, (Call)(r => { ErrorCode ec; r.projectsInfo(out ec); return ec; }) },
            new Object[] { "project.run_param", 0, (Call)(r => { ErrorCode ec; r.setProjectRunningOpt(0.5, true, out ec); return ec; }) },
            new Object[] { "ix.sdk.remove_project", null, (Call)(r => { ErrorCode ec; r.removeProject("demo", false, out ec); return ec; }) },
            new Object[] { "project.remove_files", null, (Call)(r => { ErrorCode ec; r.removeFiles(new String[] { "project/demo/main" }, out ec); return ec; }) },
            new Object[] { "move.record.start", 0, (Call)(r => { ErrorCode ec; r.startRecordPath(out ec); return ec; }) },
            new Object[] { "move.record.stop", 0, (Call)(r => { ErrorCode ec; r.stopRecordPath(out ec); return ec; }) },
            new Object[] { "move.record.save", 0, (Call)(r => { ErrorCode ec; r.saveRecordPath("p1", "", out ec); return ec; }) },
            new Object[] { "move.record.cancel", 0, (Call)(r => { ErrorCode ec; r.cancelRecordPath(out ec); return ec; }) },
            new Object[] { "move.record.paths", 0, (Call)(r => { ErrorCode ec; r.queryPathLists(out ec); return ec; }) },
            new Object[] { "move.record.remove.all", null, (Call)(r => { ErrorCode ec; r.removePath("", true, out ec); return ec; }) },
        };

        [Test]
        public void EachOperationSendsItsKey()
        {
            OstraMaxRobot robot = Connect();
            foreach (Object[] row in Dispatch_)
            {
                String key = (String)row[0];
                long before = Requests(key);
                ErrorCode ec = ((Call)row[2])(robot);
                Assert.IsNotNull(ec, key);
                if (row[1] != null) Assert.AreEqual((int)row[1], ec.value, key + ": " + ec.message);
                Assert.AreEqual(before + 1, Requests(key), key);
            }
        }
    }
}
