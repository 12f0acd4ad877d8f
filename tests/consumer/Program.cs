// A .NET program compiled against the installed assembly (mcs -pkg:velmora-clr) and run under
// Mono against the simulator at the address it is given. The assembly reaches the library by
// the soname its dll map names.
using System;
using velmora.clr;

public static class Program
{
    public static int Main(string[] args)
    {
        Console.WriteLine("velmora {0}", BaseRobot.sdkVersion());
        int failures = 0;
        using (OstraMaxRobot robot = new OstraMaxRobot(args[0], args[0]))
        {
            ErrorCode ec;
            Info info = robot.robotInfo(out ec);
            Console.WriteLine("robotInfo: {0} {1} id {2}", ec.value, ec.message, info.id);
            if (ec.value != 0 || info.id.Length == 0) failures++;
            robot.setPowerState(true, out ec);
            Console.WriteLine("setPowerState: {0} {1}", ec.value, ec.message);
            if (ec.value != 0) failures++;
            robot.disconnectFromRobot(out ec);
            if (ec.value != 0) failures++;
        }
        try
        {
            new BaseUpgrade("");
            failures++;
        }
        catch (ApiException e)
        {
            Console.WriteLine("ApiException: {0}", e.Message);
        }
        Console.WriteLine(failures == 0 ? "program passed" : "program FAILED");
        return failures == 0 ? 0 : 1;
    }
}
