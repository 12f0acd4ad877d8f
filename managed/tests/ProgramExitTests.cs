// Programs that received callbacks on the library's threads end as soon as Main returns: the
// runtime waits for none of the library's threads, with or without Dispose.

using System;
using System.Collections.Concurrent;
using System.Diagnostics;
using System.IO;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>A child process, killed and reaped on every path out of the test that started
    /// it; its output lines are read as they come.</summary>
    internal sealed class ChildProgram : IDisposable
    {
        private readonly Process process_;
        private readonly BlockingCollection<String> lines_ = new BlockingCollection<String>();

        internal ChildProgram(String file, String arguments, String folder)
        {
            ProcessStartInfo start = new ProcessStartInfo(file, arguments);
            start.UseShellExecute = false;
            start.RedirectStandardOutput = true;
            start.WorkingDirectory = folder;
            process_ = new Process();
            process_.StartInfo = start;
            process_.OutputDataReceived += (sender, e) =>
            {
                if (e.Data != null) lines_.Add(e.Data);
            };
            process_.Start();
            process_.BeginOutputReadLine();
        }

        /// <summary>The next output line, or null when none came within <paramref
        /// name="timeoutMs"/>.</summary>
        internal String ReadLine(int timeoutMs)
        {
            String line;
            return lines_.TryTake(out line, timeoutMs) ? line : null;
        }

        internal bool WaitForExit(int timeoutMs)
        {
            return process_.WaitForExit(timeoutMs);
        }

        internal int ExitCode { get { return process_.ExitCode; } }

        public void Dispose()
        {
            try
            {
                if (!process_.HasExited) process_.Kill();
                process_.WaitForExit(10000);
            }
            catch (InvalidOperationException)
            {
                // It ended between the check and the kill.
            }
            process_.Dispose();
        }
    }

    public class ProgramExitTests : EventSimTest
    {
        private const String Collision = "{\"safety.event.collision\":true}";

        /// <summary>Mono stops its own runtime in well under this once Main returned.</summary>
        private const int ExitMs = 1000;

        [TestCase("keep")]
        [TestCase("dispose")]
        [TestCase("quiet")]
        public void AProgramEndsPromptlyAfterItsEvents(String mode)
        {
            String folder = Path.GetDirectoryName(typeof(ProgramExitTests).Assembly.Location);
            String program = Path.Combine(folder, "velmora.clr.exitcheck.exe");
            using (ChildProgram child = new ChildProgram("mono", "--debug " + program + " " + Address + " " + mode,
                                                         folder))
            {
                Assert.AreEqual("watching", child.ReadLine(30000));
                String line = null;
                // Events until the child tells it returns: its subscription and its motion may
                // reach the simulator a moment after it says it watches.
                Assert.IsTrue(WaitUntil(() =>
                {
                    if (mode != "quiet")
                    {
                        Publish(Collision);
                        FinishMotion();
                    }
                    line = child.ReadLine(100);
                    return line != null;
                }, 30000));
                Assert.AreEqual("returning", line);
                Stopwatch sinceMain = Stopwatch.StartNew();
                Assert.IsTrue(child.WaitForExit(30000), "the program never ended");
                long elapsed = sinceMain.ElapsedMilliseconds;
                Assert.AreEqual(0, child.ExitCode);
                Assert.Less(elapsed, ExitMs, "ms from the end of Main to the end of the process");
            }
        }
    }
}
