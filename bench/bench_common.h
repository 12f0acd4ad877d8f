#pragma once
// What the benchmark programs share: timing, latency summaries, settings from the environment,
// a scratch folder for the logs, the simulator as a program of its own, and the standard
// background load a program measures beside with `--load` (or VELMORA_BENCH_LOAD=1).
//
// The load is as many busy loops as hardware threads, at normal priority, each in a child
// process forked for it: the process and thread CPU clocks the benchmarks read
// (processCpuUs, CLOCK_THREAD_CPUTIME_ID) then hold the library's and the baselines' time only,
// never the load's, with nothing to subtract.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace bench {

using Clock = std::chrono::steady_clock;

inline double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Latency {
  double p50 = 0, p99 = 0, max = 0;  // microseconds
};

inline Latency summarize(std::vector<double> samples) {
  Latency l;
  if (samples.empty()) return l;
  std::sort(samples.begin(), samples.end());
  l.p50 = samples[samples.size() / 2];
  l.p99 = samples[samples.size() * 99 / 100];
  l.max = samples.back();
  return l;
}

inline double median(std::vector<double> values) { return summarize(std::move(values)).p50; }

inline double ratio(double a, double b) { return b > 0 ? a / b : 0; }

/// The environment's number for `name`, else `fallback`.
inline std::size_t envOr(const char* name, std::size_t fallback) {
  const char* text = std::getenv(name);
  return text ? std::strtoull(text, nullptr, 10) : fallback;
}

/// The first two octets of the loopback addresses the simulators take: VELMORA_BENCH_LOOPBACK
/// (for example "127.150"), so two runs can stand side by side, else 127.<100 + pid % 100>.
inline std::string loopbackPrefix() {
  const char* text = std::getenv("VELMORA_BENCH_LOOPBACK");
  if (text == nullptr || *text == '\0') return "127." + std::to_string(100 + ::getpid() % 100);
  unsigned second = 256;
  char tail = 0;
  if (std::sscanf(text, "127.%u%c", &second, &tail) != 1 || second > 255) {
    std::fprintf(stderr, "VELMORA_BENCH_LOOPBACK=%s: expected 127.<0-255>\n", text);
    std::exit(2);
  }
  return "127." + std::to_string(second);
}

/// CPU time of the whole process (every thread), in microseconds.
inline double processCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

/// A fresh temporary folder made the working directory for the program's life: the robot log
/// (and the simulators' output) goes there, never into the caller's folder. Removed at the end.
class Scratch {
 public:
  explicit Scratch(const std::string& name) : home_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / ("velmora-bench-" + name + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
    std::filesystem::current_path(path_);
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::current_path(home_, ignored);
    if (std::getenv("VELMORA_BENCH_KEEP_LOGS") == nullptr) std::filesystem::remove_all(path_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path home_;
  std::filesystem::path path_;
};

/// `velmora-sim` in a process of its own, on the first free loopback address `<prefix>.<b>.<n>`
/// (its ports are the controller's fixed ones, so it needs an address to itself). Its output
/// goes to a file in the working directory. Stopped with SIGTERM when destroyed.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> extra = {}, int block = 0) {
    const std::string prefix = loopbackPrefix();
    for (int n = 1; n < 250 && pid_ == 0; ++n) {
      const std::string address = prefix + "." + std::to_string(block) + "." + std::to_string(n);
      tryStart(address, extra);
    }
    if (pid_ == 0) throw std::runtime_error("cannot start velmora-sim");
  }
  ~SimProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ::close(output_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& address() const { return address_; }
  /// The program's standard output past its first line (with --verbose, a line per request);
  /// whoever starts it so must keep reading it, or the program stalls on a full pipe.
  int output() const { return output_; }

 private:
  void tryStart(const std::string& address, const std::vector<std::string>& extra) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<std::string> args = {VELMORA_SIM_PROGRAM, "--address", address};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const std::string log = "velmora-sim-" + address + ".log";
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
      ::close(out[0]);
      return;
    }
    // Ready once it has said where it listens; a taken address makes it exit instead.
    std::string said;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (said.find('\n') == std::string::npos && Clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char chunk[256];
      const ssize_t n = ::read(out[0], chunk, sizeof chunk);
      if (n <= 0) break;
      said.append(chunk, static_cast<std::size_t>(n));
    }
    if (said.rfind("velmora-sim on ", 0) == 0) {
      pid_ = pid;
      address_ = address;
      output_ = out[0];  // kept open: a closed pipe would end the program at its next line
      return;
    }
    ::close(out[0]);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
  }

  pid_t pid_ = 0;
  int output_ = -1;
  std::string address_;
};

/// The one line a benchmark program ends with: `<name>: key=value ...`; the keys of a
/// measurement under load carry the prefix "loaded_".
class Summary {
 public:
  explicit Summary(std::string name) : line_(std::move(name) + ":") {}
  Summary& add(const char* key, double value, int decimals = 2) {
    char text[96];
    std::snprintf(text, sizeof text, " %s%s=%.*f", prefix_, key, decimals, value);
    line_ += text;
    return *this;
  }
  void setPrefix(const char* prefix) { prefix_ = prefix; }
  void print() const {
    std::printf("%s\n", line_.c_str());
    std::fflush(stdout);
  }

 private:
  std::string line_;
  const char* prefix_ = "";
};

/// The standard background load: `loops` busy loops at normal priority, each in a child process,
/// for as long as the object lives. A child holds none of the program's descriptors (a socket it
/// kept open would outlive the program's own close), dies with the program, and is killed and
/// reaped when the object is destroyed.
class Load {
 public:
  explicit Load(unsigned loops) {
    std::fflush(nullptr);  // nothing buffered is left for a child to hold
    const pid_t parent = ::getpid();
    for (unsigned i = 0; i < loops; ++i) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        // Only async-signal-safe calls: the program forked with its threads running.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(0);
        ::syscall(SYS_close_range, 3U, ~0U, 0U);
        for (volatile unsigned long spin = 0;; spin = spin + 1) {
        }
      }
      if (pid > 0) children_.push_back(pid);
    }
  }
  ~Load() {
    for (const pid_t pid : children_) ::kill(pid, SIGKILL);
    for (const pid_t pid : children_) {
      int status = 0;
      ::waitpid(pid, &status, 0);
    }
  }
  Load(const Load&) = delete;
  Load& operator=(const Load&) = delete;

  std::size_t loops() const { return children_.size(); }

 private:
  std::vector<pid_t> children_;
};

/// Whether the program is to measure under load as well: `--load` or VELMORA_BENCH_LOAD=1. Any
/// other argument, or a wrong VELMORA_BENCH_LOOPBACK, ends the program: call it first, before
/// anything is started.
inline bool loadAsked(int argc, char** argv) {
  loopbackPrefix();
  bool load = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) != "--load") {
      std::fprintf(stderr, "usage: %s [--load]   (or VELMORA_BENCH_LOAD=1)\n", argv[0]);
      std::exit(2);
    }
    load = true;
  }
  const char* env = std::getenv("VELMORA_BENCH_LOAD");
  return load || (env != nullptr && std::string(env) == "1");
}

/// Runs `measure(summary)` (false when something failed) quiet and, with `load` (loadAsked),
/// once more beside the standard load, its keys then prefixed "loaded_"; prints the summary
/// line. The program's exit status.
template <typename Measure>
int measureQuietAndLoaded(bool load, Summary& summary, const Measure& measure) {
  bool ok = measure(summary);
  if (load) {
    Load busy(std::max(1U, std::thread::hardware_concurrency()));
    std::printf("-- again beside %zu busy loops at normal priority (child processes) --\n", busy.loops());
    summary.setPrefix("loaded_");
    ok = measure(summary) && ok;
  }
  summary.print();
  return ok ? 0 : 1;
}

}  // namespace bench
