// The first program in C#: connect_and_power.cpp through the .NET assembly. Connects, prints
// what the controller reports, switches the power on and reads the states back, disconnects.
// Build and run:  mcs -pkg:velmora-clr FirstProgram.cs
//                 MONO_PATH=/usr/lib/cli/velmora mono FirstProgram.exe <controller address>
using System;
using velmora.clr;

public static class FirstProgram
{
    public static int Main(string[] args)
    {
        if (args.Length < 1)
        {
            Console.Error.WriteLine("usage: FirstProgram.exe <controller address>");
            return 2;
        }
        Console.WriteLine("library {0}", BaseRobot.sdkVersion());
        try
        {
            // Dispose robots yourself: the collector never destroys one behind your back.
            using (OstraMaxRobot robot = new OstraMaxRobot(args[0], args[0]))
            {
                ErrorCode ec;
                Info info = robot.robotInfo(out ec);
                if (ec.value != 0)
                {
                    Console.WriteLine("robotInfo failed: {0} {1}", ec.value, ec.message);
                    return 1;
                }
                Console.WriteLine("controller {0}: type {1}, version {2}, {3} joints", info.id, info.type,
                                  info.version, info.joint_num);

                robot.setOperateMode(OperateMode.automatic, out ec);
                robot.setPowerState(true, out ec);
                if (ec.value != 0)
                {
                    Console.WriteLine("setPowerState failed: {0} {1}", ec.value, ec.message);
                    return 1;
                }
                bool on = robot.powerState(out ec) == PowerState.on;
                Console.WriteLine("power: {0}", on ? "on" : "not on");
                Console.WriteLine("operation state: {0}", robot.operationState(out ec));

                robot.setPowerState(false, out ec);
                robot.disconnectFromRobot(out ec);
                return on ? 0 : 1;
            }
        }
        catch (ApiException e)
        {
            Console.WriteLine("cannot connect to {0}: {1}", args[0], e.Message);
            return 1;
        }
    }
}
