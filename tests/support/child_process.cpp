#include "support/child_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "support/process_stats.h"

extern char** environ;

ChildProcess::ChildProcess(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  if (!argv.empty() && ::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0) pid_ = pid;
}

ChildProcess::~ChildProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);  // bounded: nothing outlives SIGKILL
}

int ChildProcess::exitStatus(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return status_;
  int status = 0;
  if (!waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) return -1;
  pid_ = 0;  // reaped: its number may be another process's from now on
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return status_;
}

int ChildProcess::signalAndWait(int signal, std::chrono::milliseconds timeout) {
  if (pid_ > 0) ::kill(pid_, signal);
  return exitStatus(timeout);
}
