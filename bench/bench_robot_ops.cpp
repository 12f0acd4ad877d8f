// Robots through the public API against `velmora-sim` processes on loopback:
// - fleets of 1, 4, 16 and 64 robots in one process (one simulator each), one thread each
//   calling `operationState()`, next to as many raw blocking clients (one connection and one
//   thread each) sending the identical bytes to the same simulators, in alternating blocks:
//   requests per second and process CPU per request;
// - connecting (the constructor with an address) next to a raw client doing the same wire
//   sequence: both connections, then "sys.info", "eci.port", "move.reset", the last-error watch
//   and "eci.ip", each request waiting for its reply where the library waits; both timed until
//   connected, without the teardown;
// - the cost of the operation log lines: `setPowerState` (entry and end lines) against
//   `clearServoAlarm` (the same command form, no line).
// VELMORA_BENCH_ROBOTS sets the largest fleet (default 64), VELMORA_BENCH_MS the length of a
// block (default 400), VELMORA_BENCH_CONNECTS the connections per side (default 60); `--load` measures
// again beside the standard load (bench_common.h).

#include <velmora/robots.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "raw_clients.h"

namespace {

using bench::Clock;
using namespace std::chrono_literals;

constexpr std::uint16_t kCommandPort = 6666;
constexpr std::uint16_t kFilePort = 7777;

struct Rate {
  double perSecond = 0;
  double cpuUs = 0;  // per request
  std::size_t failures = 0;
};

// `threads` workers, worker `i` calling `op(i)` until the block ends.
template <typename Op>
Rate runBlock(int threads, Clock::duration length, const Op& op) {
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> done{0}, failed{0};
  std::vector<std::thread> workers;
  const double cpu0 = bench::processCpuUs();
  const auto t0 = Clock::now();
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      std::size_t n = 0, f = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        if (!op(t)) ++f;
        ++n;
      }
      done += n;
      failed += f;
    });
  }
  std::this_thread::sleep_for(length);
  stop = true;
  for (auto& w : workers) w.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  const double cpu = bench::processCpuUs() - cpu0;
  return {static_cast<double>(done) / seconds, cpu / static_cast<double>(std::max<std::size_t>(done, 1)), failed};
}

// The library's connection sequence by hand: the bytes it writes, in its order, waiting where it
// waits. The last-error watch is not waited for; its reply comes before the last one and is
// skipped. `done` is when the last reply was read: the sockets close after it, out of the
// timing, as the library's side is timed without the robot's teardown.
bool rawConnect(const std::string& address, std::uint64_t& id, Clock::time_point& done) {
  bench::RawClient command(address, kCommandPort);
  bench::RawClient file(address, kFilePort);
  if (!command.connected() || !file.connected()) return false;
  std::string reply;
  auto next = [&] { return std::to_string(id++); };
  auto exchange = [&](const std::string& text) { return command.roundTrip(text, reply) && reply.size() > 2; };
  const bool ok = exchange("{\"g\":{\"sys.info\":null},\"id\":" + next() + "}\r") &&
                  exchange("{\"g\":{\"eci.port\":null},\"id\":" + next() + "}\r") &&
                  exchange("{\"c\":{\"move.reset\":{\"remain_traj\":false}},\"id\":" + next() + "}\r") &&
                  command.send("{\"id\":" + next() + ",\"w\":{\"move.last_error_with_setting\":true}}\r") &&
                  command.send("{\"id\":" + next() + ",\"s\":{\"eci.ip\":\"" + address + "\"}}\r") &&
                  command.readReply(reply) && command.readReply(reply) && reply.find("eci.ip") != std::string::npos;
  done = Clock::now();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const bool load = bench::loadAsked(argc, argv);
  // Fleets of 1, 4, 16 and 64 robots, or up to VELMORA_BENCH_ROBOTS of them.
  const int robots = static_cast<int>(std::max<std::size_t>(1, bench::envOr("VELMORA_BENCH_ROBOTS", 64)));
  std::vector<int> fleetSizes;
  for (int n = 1; n < robots; n *= 4) fleetSizes.push_back(n);
  fleetSizes.push_back(robots);
  const auto blockLength = std::chrono::milliseconds(bench::envOr("VELMORA_BENCH_MS", 400));
  const std::size_t connects = bench::envOr("VELMORA_BENCH_CONNECTS", 60);
  bench::Scratch scratch("robot_ops");
  std::vector<std::unique_ptr<bench::SimProcess>> sims;
  for (int i = 0; i < robots; ++i)
    sims.push_back(std::make_unique<bench::SimProcess>(std::vector<std::string>{"--arm", "identity"}, i + 1));
  std::uint64_t rawId = 1'000'000'000'000ull;
  const std::string first = sims[0]->address();
  std::printf("robot_ops: public API against velmora-sim processes on loopback, %u hardware threads\n",
              std::thread::hardware_concurrency());

  bench::Summary summary("robot_ops");
  return bench::measureQuietAndLoaded(load, summary, [&](bench::Summary& out) {
    std::size_t failures = 0;
    // Connecting, in alternating blocks; both sides stop the clock when connected and close after.
    std::vector<double> connectUs, rawConnectUs;
    for (std::size_t done = 0; done < connects + 10; done += 5) {
      for (int i = 0; i < 5; ++i) {
        const auto t0 = Clock::now();
        try {
          velmora::OstraMaxRobot robot(first, first);
          const double us = bench::micros(Clock::now() - t0);
          if (done >= 10) connectUs.push_back(us);  // the first ones warm up
        } catch (const std::exception& e) {
          std::fprintf(stderr, "connect failed: %s\n", e.what());
          ++failures;
        }
      }
      for (int i = 0; i < 5; ++i) {
        const auto t0 = Clock::now();
        Clock::time_point connected;
        if (!rawConnect(first, rawId, connected)) ++failures;
        if (done >= 10) rawConnectUs.push_back(bench::micros(connected - t0));
      }
    }
    const double connect = bench::median(connectUs), rawConnectMedian = bench::median(rawConnectUs);

    std::vector<std::unique_ptr<velmora::OstraMaxRobot>> fleet;
    std::vector<std::unique_ptr<bench::RawClient>> raw;
    for (const auto& sim : sims) {
      fleet.push_back(std::make_unique<velmora::OstraMaxRobot>(sim->address(), sim->address()));
      raw.push_back(std::make_unique<bench::RawClient>(sim->address(), kCommandPort));
    }
    auto libraryOp = [&](int i) {
      std::error_code ec;
      fleet[static_cast<std::size_t>(i)]->operationState(ec);
      return !ec;
    };
    std::vector<std::uint64_t> ids(static_cast<std::size_t>(robots));
    for (int i = 0; i < robots; ++i) ids[static_cast<std::size_t>(i)] = 2'000'000'000'000ull + i * 1'000'000'000ull;
    auto rawOp = [&](int i) {
      thread_local std::string request, reply;
      const auto at = static_cast<std::size_t>(i);
      bench::writeGetRequest(request, "sys.state", ids[at]++);
      return raw[at]->roundTrip(request, reply);
    };
    // Each fleet size uses the first robots and raw clients, in alternating blocks.
    struct Fleet {
      int robots;
      Rate lib, base;
    };
    std::vector<Fleet> fleets;
    for (const int n : fleetSizes) {
      Fleet f{n, {}, {}};
      runBlock(n, 100ms, libraryOp);  // warm-up
      runBlock(n, 100ms, rawOp);
      constexpr int kRounds = 3;
      for (int round = 0; round < kRounds; ++round) {
        const Rate a = runBlock(n, blockLength, libraryOp);
        const Rate b = runBlock(n, blockLength, rawOp);
        f.lib.perSecond += a.perSecond / kRounds;
        f.lib.cpuUs += a.cpuUs / kRounds;
        f.base.perSecond += b.perSecond / kRounds;
        f.base.cpuUs += b.cpuUs / kRounds;
        failures += a.failures + b.failures;
      }
      fleets.push_back(f);
    }

    // Logging: the same command form with and without the entry and end lines.
    std::vector<double> quiet, logged;
    for (int block = 0; block < 10; ++block) {
      for (int i = 0; i < 200; ++i) {
        std::error_code ec;
        auto t0 = Clock::now();
        fleet[0]->clearServoAlarm(ec);
        quiet.push_back(bench::micros(Clock::now() - t0));
        t0 = Clock::now();
        fleet[0]->setPowerState(true, ec);
        logged.push_back(bench::micros(Clock::now() - t0));
      }
    }
    const double logCost = bench::median(logged) - bench::median(quiet);
    fleet.clear();

    for (const Fleet& f : fleets) {
      std::printf(
          "  %2d robots, one thread each: %7.0f req/s at %5.1f us CPU/req; raw blocking, one connection each: "
          "%7.0f req/s at %5.1f us CPU/req (ratio %.2f, CPU ratio %.2f)\n",
          f.robots, f.lib.perSecond, f.lib.cpuUs, f.base.perSecond, f.base.cpuUs,
          bench::ratio(f.lib.perSecond, f.base.perSecond), bench::ratio(f.lib.cpuUs, f.base.cpuUs));
    }
    std::printf(
        "  connect (constructor with an address, no teardown): median %.0f us; raw client, same wire sequence: "
        "%.0f us (ratio %.2f)\n",
        connect, rawConnectMedian, bench::ratio(connect, rawConnectMedian));
    std::printf("  operation log lines: setPowerState p50 %.1f us vs clearServoAlarm %.1f us\n", bench::median(logged),
                bench::median(quiet));
    if (failures != 0) std::printf("  FAILED: %zu\n", failures);

    // The headline keys are the largest fleet's; each size has its own ratios beside them.
    const Fleet& main = fleets.back();
    out.add("robots", main.robots, 0).add("rps", main.lib.perSecond, 0).add("raw_rps", main.base.perSecond, 0);
    out.add("rps_ratio", bench::ratio(main.lib.perSecond, main.base.perSecond));
    out.add("cpu_us", main.lib.cpuUs, 1)
        .add("raw_cpu_us", main.base.cpuUs, 1)
        .add("cpu_ratio", bench::ratio(main.lib.cpuUs, main.base.cpuUs));
    for (const Fleet& f : fleets) {
      const std::string n = std::to_string(f.robots);
      out.add(("rps_ratio_" + n).c_str(), bench::ratio(f.lib.perSecond, f.base.perSecond));
      out.add(("cpu_ratio_" + n).c_str(), bench::ratio(f.lib.cpuUs, f.base.cpuUs));
    }
    out.add("connect_us", connect, 0).add("raw_connect_us", rawConnectMedian, 0);
    out.add("connect_ratio", bench::ratio(connect, rawConnectMedian));
    out.add("log_cost_us", logCost, 1).add("failures", static_cast<double>(failures), 0);
    return failures == 0;
  });
}
