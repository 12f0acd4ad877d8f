// A robot's state stream end to end, the simulator publishing at 1 kHz: CPU per
// `updateRobotState` + three `getStateData` on the reading thread, packets lost and staleness
// (newest `ts` sent minus `ts` read) for a reader at the stream's rate and for one at 500 Hz,
// `getStateData` ns per call beside 0 and 4 other reading threads; next to a bare blocking
// recv + decode of the same stream measured in this run. Heap allocations per packet on the
// reading thread. VELMORA_BENCH_SECONDS sets the 1 kHz reader's seconds (default 10).
//
// The 500 Hz reader falls behind by design: datagrams wait in the socket and are taken oldest
// first, one per call, so its staleness grows to the socket's queue and the kernel drops the
// rest.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <velmora/robots.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "network/rt_packet.h"
#include "velmora_sim/simulator.h"

#include "alloc_counter.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kAddress = "127.0.93.7";
const std::vector<std::string> kFields = {"q_m", "pos_m"};
constexpr std::uint64_t kIntervalUs = 1000;

void fail(const char* what) {
  std::fprintf(stderr, "bench_state_stream: %s\n", what);
  std::exit(1);
}

std::chrono::nanoseconds threadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * double(values.size() - 1))];
}

struct ReaderResult {
  std::uint64_t packets = 0;
  std::uint64_t lost = 0;
  double cpuUsPerPacket = 0;
  double stalenessP50Us = 0;
  double stalenessP99Us = 0;
  std::uint64_t allocations = 0;
};

// Reads for `duration`; `tick` 0 takes every datagram as it comes, otherwise one per tick.
ReaderResult readStream(velmora::OstraMaxRobot& robot, velmora_sim::Simulator& sim, std::chrono::seconds duration,
                        std::chrono::microseconds tick) {
  std::vector<double> q;
  std::vector<double> pose;
  q.reserve(16);
  pose.reserve(16);
  std::vector<double> staleness;
  staleness.reserve(static_cast<std::size_t>(duration.count()) * 2000 + 1000);
  // Older datagrams queued since the last reader would count as staleness of this one.
  while (robot.updateRobotState(0ns) > 0) {
  }
  ReaderResult result;
  std::uint64_t last = 0;
  const std::uint64_t allocationsBefore = bench::threadAllocations;
  const auto cpuBefore = threadCpu();
  const auto start = Clock::now();
  auto next = start;
  while (Clock::now() - start < duration) {
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
    const std::uint64_t newest = sim.state().sentCount();
    if (last != 0 && ts > last + 1) result.lost += ts - last - 1;
    last = ts;
    ++result.packets;
    staleness.push_back(double(newest - ts) * double(kIntervalUs));
  }
  const auto cpu = threadCpu() - cpuBefore;
  result.allocations = bench::threadAllocations - allocationsBefore;
  result.cpuUsPerPacket = double(cpu.count()) / 1e3 / double(std::max<std::uint64_t>(result.packets, 1));
  result.stalenessP50Us = percentile(staleness, 0.5);
  result.stalenessP99Us = percentile(staleness, 0.99);
  return result;
}

// The floor: a blocking recv of the same stream and the same decode, without the robot.
ReaderResult floorStream(velmora_sim::Simulator& sim, std::chrono::seconds duration) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, kAddress, &local.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) fail("bind");
  socklen_t length = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  timeval timeout{0, 50000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  auto recipe = velmora::internal::makeRtRecipe({kFields.begin(), kFields.end()}, 7);
  if (!recipe) fail("recipe");
  sim.state().setTarget(kAddress, ntohs(local.sin_port));
  sim.state().start(std::chrono::microseconds(kIntervalUs));
  std::uint8_t buffer[1052];
  std::vector<double> q;
  q.reserve(16);
  ReaderResult result;
  std::uint64_t last = 0;
  const auto cpuBefore = threadCpu();
  const auto start = Clock::now();
  while (Clock::now() - start < duration) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < static_cast<ssize_t>(recipe->packetSize)) continue;
    velmora::internal::decodeRtPacket(*recipe, buffer, recipe->packetSize);
    const auto ts = std::get<std::uint64_t>(recipe->fields.at("ts"));
    const auto& joints = std::get<std::array<double, 7>>(recipe->fields.at("q_m"));
    q.assign(joints.begin(), joints.end());
    if (last != 0 && ts > last + 1) result.lost += ts - last - 1;
    last = ts;
    ++result.packets;
  }
  const auto cpu = threadCpu() - cpuBefore;
  sim.state().stop();
  ::close(fd);
  result.cpuUsPerPacket = double(cpu.count()) / 1e3 / double(std::max<std::uint64_t>(result.packets, 1));
  return result;
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
  const double ns = double(std::chrono::nanoseconds(Clock::now() - start).count()) / (3.0 * kRounds);
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

int main() {
  const char* env = std::getenv("VELMORA_BENCH_SECONDS");
  const auto seconds = std::chrono::seconds(env ? std::max(1, std::atoi(env)) : 10);
  const auto shorter = std::max(std::chrono::seconds(1), seconds / 2);
  std::printf("machine: %s, %u hardware threads; loopback UDP, simulator publishing at 1 kHz\n",
              cpuName().c_str(), std::thread::hardware_concurrency());

  // The robot log goes below the working directory: keep it out of the caller's.
  const auto scratch = std::filesystem::temp_directory_path() / ("velmora_bench_state_stream_" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  const auto home = std::filesystem::current_path();
  std::filesystem::current_path(scratch);

  ReaderResult atRate;
  ReaderResult slow;
  ReaderResult floor;
  double get0 = 0;
  double get4 = 0;
  {
    velmora_sim::SimulatorOptions options;
    options.address = kAddress;
    velmora_sim::Simulator sim(options);
    sim.command().log().setEnabled(false);
    // Packet numbers in "ts" instead of the arm's milliseconds: losses and staleness count them.
    sim.state().setSource(nullptr);
    velmora::OstraMaxRobot robot(kAddress, kAddress);
    robot.startReceiveRobotState(std::chrono::microseconds(kIntervalUs), kFields);

    atRate = readStream(robot, sim, seconds, 0us);
    slow = readStream(robot, sim, shorter, 2000us);
    get0 = getNs(robot, 0);
    get4 = getNs(robot, 4);
    robot.stopReceiveRobotState();
    floor = floorStream(sim, shorter);
  }
  std::filesystem::current_path(home);
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);

  std::printf("1 kHz reader, %lld s: %llu packets, lost %llu, CPU %.2f us/packet (update + 3 reads), staleness "
              "p50 %.0f us p99 %.0f us, allocations %llu\n",
              static_cast<long long>(seconds.count()), static_cast<unsigned long long>(atRate.packets),
              static_cast<unsigned long long>(atRate.lost), atRate.cpuUsPerPacket, atRate.stalenessP50Us,
              atRate.stalenessP99Us, static_cast<unsigned long long>(atRate.allocations));
  std::printf("floor (blocking recv + decode), %lld s: %llu packets, lost %llu, CPU %.2f us/packet\n",
              static_cast<long long>(shorter.count()), static_cast<unsigned long long>(floor.packets),
              static_cast<unsigned long long>(floor.lost), floor.cpuUsPerPacket);
  std::printf("500 Hz reader, %lld s: %llu packets, lost %llu (by design: oldest first, one per call), "
              "staleness p50 %.0f us p99 %.0f us\n",
              static_cast<long long>(shorter.count()), static_cast<unsigned long long>(slow.packets),
              static_cast<unsigned long long>(slow.lost), slow.stalenessP50Us, slow.stalenessP99Us);
  std::printf("getStateData: %.0f ns/call alone, %.0f ns/call beside 4 reading threads (stream read on another)\n",
              get0, get4);
  std::printf("state_stream: cpu_us_per_packet=%.2f floor_us=%.2f lost=%llu staleness_p50_us=%.0f lost_500hz=%llu "
              "staleness_p50_us_500hz=%.0f get_ns=%.0f get_ns_4readers=%.0f\n",
              atRate.cpuUsPerPacket, floor.cpuUsPerPacket, static_cast<unsigned long long>(atRate.lost),
              atRate.stalenessP50Us, static_cast<unsigned long long>(slow.lost), slow.stalenessP50Us, get0, get4);
  return 0;
}
