// Request round trip through the public API, against `velmora-sim` running as a process of its
// own on loopback: `operationState()` (a get of "sys.state", no log line).
// - 1 thread: latency, process CPU and heap allocations per request, next to two raw clients
//   sending the identical bytes to the same simulator, in alternating blocks so all see the same
//   machine: one polling 60 us before it blocks (the faster on an idle machine), one blocking in
//   recv at once (the faster and cheaper on a busy one). The ratios `best_*` are to the faster of
//   the two by p50, `cpu_block_ratio` to the blocking one's CPU.
// - 4, 16 and 64 threads on one robot: requests per second next to one raw connection keeping
//   as many requests in flight, in alternating blocks.
// VELMORA_BENCH_REQUESTS sets the 1-thread requests per side (default 20000),
// VELMORA_BENCH_MS the length of a throughput block (default 500); `--load` measures again
// beside the standard load (bench_common.h).

#include <velmora/robots.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alloc_counter.h"
#include "bench_common.h"
#include "raw_clients.h"

namespace {

using bench::Clock;
using namespace std::chrono_literals;

constexpr const char* kKey = "sys.state";
constexpr std::uint16_t kCommandPort = 6666;
constexpr auto kSpin = 60us;  // the library's waiter polls this long before it sleeps

struct Side {
  std::vector<double> samples;
  double cpuUs = 0;
  std::uint64_t allocations = 0;
  std::size_t failures = 0;
  double perRequest(double total) const { return samples.empty() ? 0 : total / static_cast<double>(samples.size()); }
};

template <typename Request>
void timeBlock(Side& side, std::size_t count, const Request& request) {
  const double cpu0 = bench::processCpuUs();
  const auto allocations0 = bench::processAllocations.load();
  for (std::size_t i = 0; i < count; ++i) {
    const auto t0 = Clock::now();
    const bool ok = request();
    side.samples.push_back(bench::micros(Clock::now() - t0));
    if (!ok) ++side.failures;
  }
  side.cpuUs += bench::processCpuUs() - cpu0;
  side.allocations += bench::processAllocations.load() - allocations0;
}

struct Rate {
  double perSecond = 0;
  double cpuUsPerRequest = 0;
};

Rate libraryRate(velmora::OstraMaxRobot& robot, int threads, Clock::duration length, std::size_t& failures) {
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> done{0}, failed{0};
  std::vector<std::thread> workers;
  const double cpu0 = bench::processCpuUs();
  const auto t0 = Clock::now();
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      std::size_t n = 0, f = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        std::error_code ec;
        robot.operationState(ec);
        ++n;
        if (ec) ++f;
      }
      done += n;
      failed += f;
    });
  }
  std::this_thread::sleep_for(length);
  stop = true;
  for (auto& w : workers) w.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  failures += failed;
  return {static_cast<double>(done) / seconds, (bench::processCpuUs() - cpu0) / static_cast<double>(done)};
}

}  // namespace

int main(int argc, char** argv) {
  const bool load = bench::loadAsked(argc, argv);
  const std::size_t requests = bench::envOr("VELMORA_BENCH_REQUESTS", 20000);
  const auto blockLength = std::chrono::milliseconds(bench::envOr("VELMORA_BENCH_MS", 500));
  bench::Scratch scratch("request_rtt");
  bench::SimProcess sim;
  const std::string address = sim.address();
  velmora::OstraMaxRobot robot(address, address);
  bench::RawClient raw(address, kCommandPort);
  if (!raw.connected()) {
    std::fprintf(stderr, "bench_request_rtt: raw client cannot connect\n");
    return 1;
  }
  std::uint64_t rawId = 1'000'000'000'000ull;  // far from the library's ids
  std::uint64_t pipelinedId = 2'000'000'000'000ull;
  std::string rawRequest, rawReply;
  auto libraryRequest = [&] {
    std::error_code ec;
    robot.operationState(ec);
    return !ec;
  };
  auto rawRequestWithPolicy = [&] {
    bench::writeGetRequest(rawRequest, kKey, rawId++);
    return raw.roundTrip(rawRequest, rawReply, kSpin);
  };
  auto rawRequestBlocking = [&] {
    bench::writeGetRequest(rawRequest, kKey, rawId++);
    return raw.roundTrip(rawRequest, rawReply);
  };

  std::printf("request_rtt: operationState() on loopback against velmora-sim (own process), %u hardware threads\n",
              std::thread::hardware_concurrency());
  bench::Summary summary("request_rtt");
  return bench::measureQuietAndLoaded(load, summary, [&](bench::Summary& out) {
    // Warm-up, then alternating blocks.
    Side lib, base, blocking;
    timeBlock(lib, 2000, libraryRequest);
    timeBlock(base, 2000, rawRequestWithPolicy);
    timeBlock(blocking, 2000, rawRequestBlocking);
    lib = Side();
    base = Side();
    blocking = Side();
    constexpr std::size_t kBlock = 500;
    for (std::size_t done = 0; done < requests; done += kBlock) {
      timeBlock(lib, kBlock, libraryRequest);
      timeBlock(base, kBlock, rawRequestWithPolicy);
      timeBlock(blocking, kBlock, rawRequestBlocking);
    }
    const auto l = bench::summarize(lib.samples);
    const auto b = bench::summarize(base.samples);
    const auto k = bench::summarize(blocking.samples);
    const auto& best = k.p50 < b.p50 ? k : b;
    const double cpu = lib.perRequest(lib.cpuUs), baseCpu = base.perRequest(base.cpuUs);
    const double blockingCpu = blocking.perRequest(blocking.cpuUs);
    const double allocations = lib.perRequest(static_cast<double>(lib.allocations));

    std::printf("  1 thread, %zu requests per side, alternating blocks of %zu\n", requests, kBlock);
    std::printf("  %-44s %8s %8s %8s %10s %8s\n", "", "p50 us", "p99 us", "max us", "CPU us/req", "allocs");
    std::printf("  %-44s %8.1f %8.1f %8.1f %10.1f %8.1f\n", "library", l.p50, l.p99, l.max, cpu, allocations);
    std::printf("  %-44s %8.1f %8.1f %8.1f %10.1f\n", "raw client, polling 60 us then blocking", b.p50, b.p99, b.max,
                baseCpu);
    std::printf("  %-44s %8.1f %8.1f %8.1f %10.1f\n", "raw client, blocking", k.p50, k.p99, k.max, blockingCpu);

    std::size_t failures = lib.failures + base.failures + blocking.failures;
    struct Row {
      int threads;
      double rate, baseRate, cpu;
    };
    std::vector<Row> rows;
    std::printf("  %-44s %10s %10s %6s %10s\n", "threads on one robot vs one connection", "req/s", "raw req/s", "ratio",
                "CPU us/req");
    for (const int threads : {4, 16, 64}) {
      Row row{threads, 0, 0, 0};
      constexpr int kRounds = 4;
      for (int round = 0; round < kRounds; ++round) {
        const Rate r = libraryRate(robot, threads, blockLength, failures);
        row.rate += r.perSecond / kRounds;
        row.cpu += r.cpuUsPerRequest / kRounds;
        const double p = bench::pipelined(
            address, kCommandPort, threads, blockLength,
            [](std::string& request, std::uint64_t id) { bench::writeGetRequest(request, kKey, id); }, pipelinedId);
        pipelinedId += 100'000'000ull;
        if (p <= 0) ++failures;
        row.baseRate += p / kRounds;
      }
      rows.push_back(row);
      std::printf("  %2d threads / %2d in flight %27s %10.0f %10.0f %6.2f %10.1f\n", threads, threads, "", row.rate,
                  row.baseRate, bench::ratio(row.rate, row.baseRate), row.cpu);
    }
    if (failures != 0) std::printf("  FAILED requests: %zu\n", failures);

    out.add("p50_us", l.p50, 1).add("raw_p50_us", b.p50, 1).add("p50_ratio", bench::ratio(l.p50, b.p50));
    out.add("p99_us", l.p99, 1).add("raw_p99_us", b.p99, 1).add("p99_ratio", bench::ratio(l.p99, b.p99));
    out.add("cpu_us", cpu, 1).add("raw_cpu_us", baseCpu, 1).add("cpu_ratio", bench::ratio(cpu, baseCpu));
    out.add("raw_block_p50_us", k.p50, 1).add("raw_block_p99_us", k.p99, 1).add("raw_block_cpu_us", blockingCpu, 1);
    out.add("best_p50_ratio", bench::ratio(l.p50, best.p50)).add("best_p99_ratio", bench::ratio(l.p99, best.p99));
    out.add("cpu_block_ratio", bench::ratio(cpu, blockingCpu));
    out.add("allocs", allocations, 1);
    for (const Row& row : rows) {
      const std::string n = std::to_string(row.threads);
      out.add(("rps_" + n).c_str(), row.rate, 0)
          .add(("raw_rps_" + n).c_str(), row.baseRate, 0)
          .add(("ratio_" + n).c_str(), bench::ratio(row.rate, row.baseRate));
    }
    out.add("failures", static_cast<double>(failures), 0);
    return failures == 0;
  });
}
