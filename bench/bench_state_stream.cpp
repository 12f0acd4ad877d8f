// The state stream end to end through the public API, against `velmora-sim` running as a process
// of its own publishing at 1 kHz:
// - a reader at the stream's rate: CPU per `updateRobotState` + three `getStateData` on the
//   reading thread, packets lost, staleness and heap allocations per packet; next to a raw UDP
//   socket taking the same stream (started by a raw command connection with the bytes the
//   library sends) with a blocking recv and the same three values copied out by hand, in
//   alternating blocks;
// - staleness: from the moment a packet was due to the moment its values are read. The
//   simulator sends packet k at t0 + k ms; t0 is taken as the earliest arrival a block saw, so
//   staleness is in microseconds and never rounded to whole packets;
// - a reader at 500 Hz on the same stream, which falls behind by design: datagrams wait in the
//   socket and are taken oldest first, one per call, so its staleness grows to the socket's
//   queue and the kernel drops the rest;
// - `getStateData` ns per call beside 0 and 4 other reading threads.
// VELMORA_BENCH_SECONDS sets the length of a block (default 2); `--load` measures again beside
// the standard load (bench_common.h).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <velmora/robots.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "alloc_counter.h"
#include "bench_common.h"
#include "raw_clients.h"

namespace {

using namespace std::chrono_literals;
using bench::Clock;

const std::vector<std::string> kFields = {"q_m", "pos_m"};
constexpr double kIntervalUs = 1000;
// The layout of ts, errors, then the fields in name order, for a 7-axis arm.
constexpr std::size_t kPacketSize = 8 + 20 + 16 * 8 + 7 * 8;
constexpr std::size_t kPosOffset = 28, kQOffset = 28 + 16 * 8;

double threadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

struct Reading {
  std::vector<std::uint64_t> ts;
  std::vector<double> at;  // microseconds on the steady clock
  std::uint64_t lost = 0;
  double cpuUs = 0;
  std::uint64_t allocations = 0;

  void add(std::uint64_t stamp, Clock::time_point when) {
    if (!ts.empty() && stamp > ts.back() + 1) lost += stamp - ts.back() - 1;
    ts.push_back(stamp);
    at.push_back(std::chrono::duration<double, std::micro>(when.time_since_epoch()).count());
  }
  // The block's phase: when packet 0 would have arrived had it come as early as the best one.
  double phase() const {
    double best = 1e300;
    for (std::size_t i = 0; i < ts.size(); ++i) best = std::min(best, at[i] - static_cast<double>(ts[i]) * kIntervalUs);
    return best;
  }
  std::vector<double> staleness(double t0) const {
    std::vector<double> out;
    for (std::size_t i = 0; i < ts.size(); ++i) out.push_back(at[i] - (t0 + static_cast<double>(ts[i]) * kIntervalUs));
    return out;
  }
};

struct Totals {
  std::uint64_t packets = 0, lost = 0, allocations = 0;
  double cpuUs = 0;
  std::vector<double> staleness;
  void add(const Reading& r) {
    packets += r.ts.size();
    lost += r.lost;
    allocations += r.allocations;
    cpuUs += r.cpuUs;
    const auto s = r.staleness(r.phase());
    staleness.insert(staleness.end(), s.begin(), s.end());
  }
  double perPacket(double v) const { return packets == 0 ? 0 : v / static_cast<double>(packets); }
};

// Reads for `length`; `tick` 0 takes every datagram as it comes, otherwise one per tick.
Reading readLibrary(velmora::OstraMaxRobot& robot, Clock::duration length, std::chrono::microseconds tick) {
  std::vector<double> q, pose;
  q.reserve(16);
  pose.reserve(16);
  Reading r;
  r.ts.reserve(20000);
  r.at.reserve(20000);
  // Datagrams queued before this reader began (while the stream settled) are no measure of it.
  while (robot.updateRobotState(0ns) > 0) {
  }
  const auto allocations0 = bench::threadAllocations;
  const double cpu0 = threadCpuUs();
  const auto start = Clock::now();
  auto next = start;
  while (Clock::now() - start < length) {
    if (tick > 0us) {
      next += tick;
      std::this_thread::sleep_until(next);
    }
    if (robot.updateRobotState(tick > 0us ? std::chrono::nanoseconds(tick) : std::chrono::nanoseconds(50ms)) == 0) {
      continue;
    }
    std::uint64_t ts = 0;
    robot.getStateData("ts", ts);
    robot.getStateData("q_m", q);
    robot.getStateData("pos_m", pose);
    r.add(ts, Clock::now());
  }
  r.cpuUs = threadCpuUs() - cpu0;
  r.allocations = bench::threadAllocations - allocations0;
  return r;
}

// The same stream into a raw socket: started with the library's bytes on a raw command
// connection, read with a blocking recv, the same values copied out by hand.
Reading readRaw(const std::string& address, Clock::duration length, std::uint64_t& id) {
  Reading r;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
  socklen_t size = sizeof local;
  timeval timeout{0, 50000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    ::close(fd);
    return r;
  }
  bench::RawClient command(address, 6666);
  std::string reply;
  auto exchange = [&](const std::string& text) { return command.roundTrip(text, reply); };
  const bool started =
      exchange("{\"id\":" + std::to_string(id++) + ",\"s\":{\"eci.fields.out\":[\"pos_m\",\"q_m\"]}}\r") &&
      exchange("{\"id\":" + std::to_string(id++) +
               ",\"s\":{\"eci.port\":{\"broadcast_in\":" + std::to_string(ntohs(local.sin_port)) + "}}}\r") &&
      exchange("{\"c\":{\"eci.pub.start\":1},\"id\":" + std::to_string(id++) + "}\r");
  if (!started) {
    ::close(fd);
    return r;
  }
  std::this_thread::sleep_for(200ms);  // as the library lets the stream settle
  std::uint8_t buffer[1052];
  while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
  }
  std::vector<double> q, pose;
  q.reserve(16);
  pose.reserve(16);
  std::array<double, 16> matrix{};
  std::array<double, 7> joints{};
  const double cpu0 = threadCpuUs();
  const auto start = Clock::now();
  while (Clock::now() - start < length) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < static_cast<ssize_t>(kPacketSize)) continue;
    std::uint64_t ts = 0;
    std::memcpy(&ts, buffer, sizeof ts);
    std::memcpy(joints.data(), buffer + kQOffset, sizeof joints);
    std::memcpy(matrix.data(), buffer + kPosOffset, sizeof matrix);
    q.assign(joints.begin(), joints.end());
    pose.assign(matrix.begin(), matrix.end());
    r.add(ts, Clock::now());
  }
  r.cpuUs = threadCpuUs() - cpu0;
  exchange("{\"c\":{\"eci.pub.stop\":null},\"id\":" + std::to_string(id++) + "}\r");
  ::close(fd);
  return r;
}

// ns per getStateData call on this thread (ts, q_m, pos_m in turn) while the stream is read on
// another thread and `others` threads read too.
double getNs(velmora::OstraMaxRobot& robot, int others) {
  std::atomic<bool> done{false};
  std::thread updater([&] {
    while (!done.load()) robot.updateRobotState(10ms);
  });
  std::vector<std::thread> readers;
  for (int i = 0; i < others; ++i) {
    readers.emplace_back([&] {
      std::vector<double> v;
      v.reserve(16);
      std::uint64_t ts = 0;
      while (!done.load()) {
        robot.getStateData("ts", ts);
        robot.getStateData("q_m", v);
        robot.getStateData("pos_m", v);
      }
    });
  }
  std::this_thread::sleep_for(100ms);
  std::vector<double> v;
  v.reserve(16);
  std::uint64_t ts = 0;
  constexpr int kRounds = 300000;
  const auto start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    robot.getStateData("ts", ts);
    robot.getStateData("q_m", v);
    robot.getStateData("pos_m", v);
  }
  const double ns = static_cast<double>(std::chrono::nanoseconds(Clock::now() - start).count()) / (3.0 * kRounds);
  done = true;
  updater.join();
  for (auto& reader : readers) reader.join();
  return ns;
}

std::string cpuName() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
  const bool load = bench::loadAsked(argc, argv);
  const auto block = std::chrono::seconds(bench::envOr("VELMORA_BENCH_SECONDS", 2));
  std::printf("machine: %s, %u hardware threads; loopback UDP, velmora-sim (own process) publishing at 1 kHz\n",
              cpuName().c_str(), std::thread::hardware_concurrency());
  bench::Scratch scratch("state_stream");
  // "ts" numbers the packets, so a gap is a loss and a packet's due time is known to the
  // microsecond.
  bench::SimProcess sim({"--arm", "identity", "--packet-numbers"});
  const std::string address = sim.address();
  velmora::OstraMaxRobot robot(address, address);
  std::uint64_t rawId = 1'000'000'000'000ull;
  bench::Summary summary("state_stream");
  return bench::measureQuietAndLoaded(load, summary, [&](bench::Summary& out) {
    Totals library, raw;
    Reading slow;
    double slowPhase = 0;
    std::size_t failures = 0;
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
      robot.startReceiveRobotState(std::chrono::microseconds(1000), kFields);
      const Reading atRate = readLibrary(robot, block, 0us);
      library.add(atRate);
      if (round == kRounds - 1) {
        // The same stream on, at half its rate: staleness against the phase just measured.
        slowPhase = atRate.phase();
        slow = readLibrary(robot, block, 2000us);
      }
      robot.stopReceiveRobotState();
      const Reading r = readRaw(address, block, rawId);
      if (r.ts.empty()) ++failures;
      raw.add(r);
    }
    robot.startReceiveRobotState(std::chrono::microseconds(1000), kFields);
    const double get0 = getNs(robot, 0);
    const double get4 = getNs(robot, 4);
    robot.stopReceiveRobotState();

    const double cpu = library.perPacket(library.cpuUs), rawCpu = raw.perPacket(raw.cpuUs);
    const double stale50 = percentile(library.staleness, 0.5), stale99 = percentile(library.staleness, 0.99);
    const double rawStale50 = percentile(raw.staleness, 0.5), rawStale99 = percentile(raw.staleness, 0.99);
    const auto slowStaleness = slow.staleness(slowPhase);
    std::printf(
        "1 kHz reader, %d blocks of %lld s: %llu packets, lost %llu, CPU %.2f us/packet (update + 3 reads), "
        "staleness p50 %.0f us p99 %.0f us, %.2f allocations/packet\n",
        kRounds, static_cast<long long>(block.count()), static_cast<unsigned long long>(library.packets),
        static_cast<unsigned long long>(library.lost), cpu, stale50, stale99,
        library.perPacket(static_cast<double>(library.allocations)));
    std::printf(
        "raw UDP socket, blocking recv + the same 3 copies, alternating: %llu packets, lost %llu, CPU %.2f "
        "us/packet, staleness p50 %.0f us p99 %.0f us\n",
        static_cast<unsigned long long>(raw.packets), static_cast<unsigned long long>(raw.lost), rawCpu, rawStale50,
        rawStale99);
    std::printf(
        "500 Hz reader, %lld s: %zu packets, lost %llu (by design: oldest first, one per call), "
        "staleness p50 %.0f us p99 %.0f us\n",
        static_cast<long long>(block.count()), slow.ts.size(), static_cast<unsigned long long>(slow.lost),
        percentile(slowStaleness, 0.5), percentile(slowStaleness, 0.99));
    std::printf("getStateData: %.0f ns/call alone, %.0f ns/call beside 4 reading threads (stream read on another)\n",
                get0, get4);
    if (failures != 0) std::printf("FAILED raw blocks: %zu\n", failures);
    out.add("cpu_us_per_packet", cpu).add("raw_cpu_us", rawCpu).add("cpu_ratio", bench::ratio(cpu, rawCpu));
    out.add("lost", static_cast<double>(library.lost), 0).add("raw_lost", static_cast<double>(raw.lost), 0);
    out.add("staleness_p50_us", stale50, 0).add("raw_staleness_p50_us", rawStale50, 0);
    out.add("staleness_p99_us", stale99, 0).add("raw_staleness_p99_us", rawStale99, 0);
    out.add("allocs_per_packet", library.perPacket(static_cast<double>(library.allocations)));
    out.add("lost_500hz", static_cast<double>(slow.lost), 0)
        .add("staleness_p50_us_500hz", percentile(slowStaleness, 0.5), 0);
    out.add("get_ns", get0, 0).add("get_ns_4readers", get4, 0).add("failures", static_cast<double>(failures), 0);
    return failures == 0;
  });
}
