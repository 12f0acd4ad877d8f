// Request round trip of the command link against the simulator on loopback: latency of
// `sendCommand` from one thread next to the floor (a blocking socket sending the same request
// bytes to the same simulator), the same socket polling briefly before it blocks (as the link's
// waiter does) and a bare TCP echo of the same size, measured in alternating blocks so all see
// the same machine; throughput with 1, 4, 16 and 64 threads next to as many raw connections;
// resident memory growth over 100,000 requests of which 10% time out.
// VELMORA_BENCH_REQUESTS sets the requests per latency run (default 20000).

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "network/link_settings.h"
#include "network/xservice.h"
#include "bench_common.h"
#include "raw_floor.h"
#include "velmora_sim/simulator.h"

namespace {

using bench::Clock;
using bench::envOr;
using bench::Latency;
using bench::micros;
using bench::summarize;

using velmora::internal::XService;
using namespace std::chrono_literals;

const std::string kKey = "bench.noop";
const std::string kSilentKey = "bench.silent";

long residentKb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void libraryLatency(XService& link, std::size_t count, std::vector<double>& samples, std::size_t& failures) {
  Json::Value result;
  std::error_code ec;
  for (std::size_t i = 0; i < count; ++i) {
    const auto t0 = Clock::now();
    link.sendCommand(kKey, Json::Value(), result, ec, 1s);
    samples.push_back(micros(Clock::now() - t0));
    if (ec) ++failures;
  }
}

void floorLatency(bench::RawFloorClient& client, std::size_t count, std::vector<double>& samples,
                  std::size_t& failures, std::chrono::microseconds poll = 0us) {
  std::string request, reply;
  // The same bytes the link writes, ids from a range of their own.
  static std::uint64_t id = 1'000'000'000;
  for (std::size_t i = 0; i < count; ++i) {
    request = "{\"c\":{\"" + kKey + "\":null},\"id\":" + std::to_string(id++) + "}\r";
    const auto t0 = Clock::now();
    if (!client.roundTrip(request, reply, poll)) ++failures;
    samples.push_back(micros(Clock::now() - t0));
  }
}

Latency echoLatency(const std::string& address, std::size_t bytes, std::size_t count, std::size_t& failures) {
  bench::EchoServer server(address);
  std::vector<double> samples;
  samples.reserve(count);
  {
    bench::RawFloorClient client(address, server.port());
    const std::string message(bytes, 'x');
    std::string back;
    for (std::size_t i = 0; i < count; ++i) {
      const auto t0 = Clock::now();
      if (!client.echo(message, back)) ++failures;
      samples.push_back(micros(Clock::now() - t0));
    }
  }
  return summarize(std::move(samples));
}

double throughput(XService& link, int threads, Clock::duration length, std::size_t& failures) {
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> done{0}, failed{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      Json::Value result;
      std::error_code ec;
      std::size_t n = 0, f = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        link.sendCommand(kKey, Json::Value(), result, ec, 1s);
        ++n;
        if (ec) ++f;
      }
      done += n;
      failed += f;
    });
  }
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(length);
  stop = true;
  for (auto& w : workers) w.join();
  failures += failed;
  return static_cast<double>(done) / std::chrono::duration<double>(Clock::now() - t0).count();
}

// The same load from raw blocking sockets, one connection per thread: what the simulator itself
// can answer.
double floorThroughput(const std::string& address, std::uint16_t port, int threads, Clock::duration length,
                       std::size_t& failures) {
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> done{0}, failed{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      bench::RawFloorClient client(address, port);
      std::string request, reply;
      std::uint64_t id = 2'000'000'000ull + static_cast<std::uint64_t>(t) * 100'000'000ull;
      std::size_t n = 0, f = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        request = "{\"c\":{\"" + kKey + "\":null},\"id\":" + std::to_string(id++) + "}\r";
        if (!client.roundTrip(request, reply)) ++f;
        ++n;
      }
      done += n;
      failed += f;
    });
  }
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(length);
  stop = true;
  for (auto& w : workers) w.join();
  failures += failed;
  return static_cast<double>(done) / std::chrono::duration<double>(Clock::now() - t0).count();
}

// `total` requests from `threads` threads; every tenth goes to a key that never answers and
// gives up after `timeout`.
std::size_t mixedRun(XService& link, std::size_t total, int threads, std::chrono::milliseconds timeout) {
  std::atomic<std::size_t> next{0}, timedOut{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      Json::Value result;
      std::error_code ec;
      for (std::size_t i = next++; i < total; i = next++) {
        const bool silent = i % 10 == 0;
        link.sendCommand(silent ? kSilentKey : kKey, Json::Value(), result, ec, silent ? timeout : 1000ms);
        if (ec.value() == 263) ++timedOut;
      }
    });
  }
  for (auto& w : workers) w.join();
  return timedOut;
}

}  // namespace

int main() {
  const auto began = Clock::now();
  const std::size_t requests = envOr("VELMORA_BENCH_REQUESTS", 20000);
  velmora_sim::SimulatorOptions options;
  options.address = "127.0.0.1";
  options.commandPort = 0;
  options.filePort = 0;
  options.rtPort = 0;
  velmora_sim::Simulator sim(options);
  sim.command().log().setEnabled(false);  // a long run keeps no record of what it received
  sim.command().handle(kSilentKey, [](velmora_sim::Exchange& x) { x.silent(); });
  velmora::internal::linkSettings().fileLinkPort = sim.file().port();

  XService link;
  link.connect(options.address, sim.command().port());
  std::error_code ec;
  link.start(ec);
  if (ec) {
    std::fprintf(stderr, "cannot connect to the simulator: %s\n", ec.message().c_str());
    return 1;
  }

  std::size_t failures = 0;
  std::size_t floorFailures = 0;
  bench::RawFloorClient floorClient(options.address, sim.command().port());
  std::vector<double> libSamples, floorSamples, pollingSamples;
  libraryLatency(link, 2000, libSamples, failures);  // warm-up
  floorLatency(floorClient, 2000, floorSamples, floorFailures);
  libSamples.clear();
  floorSamples.clear();
  // Alternating blocks, so both see the same state of the machine.
  constexpr std::size_t kBlock = 500;
  for (std::size_t done = 0; done < requests; done += kBlock) {
    libraryLatency(link, kBlock, libSamples, failures);
    floorLatency(floorClient, kBlock, floorSamples, floorFailures);
    // The link's waiter watches a lone request for 60 us before sleeping; so does this one.
    floorLatency(floorClient, kBlock, pollingSamples, floorFailures, 60us);
  }
  const Latency lib = summarize(libSamples);
  const Latency floor = summarize(floorSamples);
  const Latency polling = summarize(pollingSamples);
  const std::size_t requestBytes = ("{\"c\":{\"" + kKey + "\":null},\"id\":1000000000}\r").size();
  const Latency echo = echoLatency(options.address, requestBytes, requests, floorFailures);

  std::printf("request_rtt on loopback, %zu requests per run, %zu-byte requests, %u hardware threads\n", requests,
              requestBytes, std::thread::hardware_concurrency());
  std::printf("  %-34s %9s %9s %9s\n", "", "p50 us", "p99 us", "max us");
  std::printf("  %-34s %9.1f %9.1f %9.1f\n", "sendCommand, 1 thread", lib.p50, lib.p99, lib.max);
  std::printf("  %-34s %9.1f %9.1f %9.1f\n", "floor: raw blocking socket", floor.p50, floor.p99, floor.max);
  std::printf("  %-34s %9.1f %9.1f %9.1f\n", "raw socket polling 60 us first", polling.p50, polling.p99,
              polling.max);
  std::printf("  %-34s %9.1f %9.1f %9.1f\n", "bare TCP echo ping-pong", echo.p50, echo.p99, echo.max);
  const double p50Ratio = lib.p50 / floor.p50;
  const double p99Ratio = lib.p99 / floor.p99;
  std::printf("  ratio to the floor: p50 %.2f, p99 %.2f; to the polling socket: p50 %.2f\n", p50Ratio, p99Ratio,
              lib.p50 / polling.p50);

  std::vector<std::pair<int, double>> rates;
  std::printf("  %-34s %12s %12s\n", "throughput, requests/s", "sendCommand", "floor");
  for (const int threads : {1, 4, 16, 64}) {
    double rate = 0, floorRate = 0;
    for (int half = 0; half < 2; ++half) {
      rate += throughput(link, threads, 750ms, failures) / 2;
      floorRate += floorThroughput(options.address, sim.command().port(), threads, 750ms, floorFailures) / 2;
    }
    rates.emplace_back(threads, rate);
    std::printf("  %2d threads (floor: one connection each) %9.0f %12.0f\n", threads, rates.back().second, floorRate);
  }

  // Memory: the same mixed load once to reach a steady state, then measured.
  constexpr std::size_t kMixed = 100000;
  constexpr auto kTimeout = 3ms;
  mixedRun(link, 20000, 16, kTimeout);
  const long before = residentKb();
  const std::size_t timedOut = mixedRun(link, kMixed, 16, kTimeout);
  const long growth = residentKb() - before;
  std::printf("  %zu requests, %zu timed out after %lld ms: resident memory %+ld KiB, %zu left pending\n", kMixed,
              timedOut, static_cast<long long>(kTimeout.count()), growth, link.pendingRequests());
  if (failures != 0 || floorFailures != 0) std::printf("  FAILED requests: %zu library, %zu floor\n", failures, floorFailures);
  std::printf("  whole run %.1f s\n", std::chrono::duration<double>(Clock::now() - began).count());

  link.stop();
  std::printf("request_rtt: p50_us=%.1f floor_p50_us=%.1f p50_ratio=%.2f p99_ratio=%.2f rps_1=%.0f rps_16=%.0f rss_growth_kb=%ld\n",
              lib.p50, floor.p50, p50Ratio, p99Ratio, rates[0].second, rates[2].second, growth);
  return failures == 0 && floorFailures == 0 ? 0 : 1;
}
