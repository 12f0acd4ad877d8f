// A program that receives callbacks and returns from Main, run as a child by the exit tests. It
// connects to the simulator at args[0], installs a connection handler, watches safety and motion
// events, starts a motion and tells "watching"; once an event of each kind came it disposes its
// robot ("dispose") or leaves it to the runtime ("keep"), and tells "returning" as Main returns.
// "quiet" installs no callback, moves nothing and waits for nothing.
using System;
using System.Threading;
using velmora.clr;

public static class ExitAfterEvents
{
    public static int Main(string[] args)
    {
        String mode = args[1];
        CountdownEvent received = new CountdownEvent(2);
        int safety = 0;
        int motion = 0;
        OstraMaxRobot robot = new OstraMaxRobot(args[0], args[0]);
        if (mode != "quiet")
        {
            robot.setConnectionHandler(connected => { });
            ErrorCode ec;
            robot.setEventWatcher(Event.safety, info =>
            {
                if (Interlocked.Exchange(ref safety, 1) == 0) received.Signal();
            }, out ec);
            if (ec.value != 0) return Fail("safety", ec);
            robot.setEventWatcher(Event.moveExecution, info =>
            {
                if (Interlocked.Exchange(ref motion, 1) == 0) received.Signal();
            }, out ec);
            if (ec.value != 0) return Fail("moveExecution", ec);
            JointPosition target = new JointPosition();
            for (int i = 0; i < 7; ++i) target.joints.Add(0.125 * i);
            String id = "";
            robot.moveAppend(MoveCommand.Type.MoveAbsJ, new MoveCommand { jointTarget = target }, ref id, out ec);
            if (ec.value != 0) return Fail("moveAppend", ec);
        }
        Console.WriteLine("watching");
        if (mode != "quiet" && !received.Wait(30000))
        {
            Console.WriteLine("no event");
            return 1;
        }
        if (mode == "dispose") robot.Dispose();
        Console.WriteLine("returning");
        return 0;
    }

    private static int Fail(String what, ErrorCode ec)
    {
        Console.WriteLine("{0} failed: {1} {2}", what, ec.value, ec.message);
        return 1;
    }
}
