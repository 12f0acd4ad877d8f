#pragma once
// A program a test starts, owned so that it never outlives the test: whatever path leaves the
// test (a failed assertion included), a child still running is killed and reaped, so no later
// run finds its ports taken.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class ChildProcess {
 public:
  /// Starts `argv[0]` with `argv`; `running()` tells whether it started.
  explicit ChildProcess(std::vector<std::string> argv);
  /// Kills a child still running and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// Started and not reaped yet.
  bool running() const noexcept { return pid_ > 0; }
  /// Waits up to `timeout` for the end; the exit status, or -1 when it did not end in time, was
  /// ended by a signal or never started.
  int exitStatus(std::chrono::milliseconds timeout);
  /// Sends `signal`, then waits as `exitStatus` does.
  int signalAndWait(int signal, std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = 0;
  int status_ = -1;
};
