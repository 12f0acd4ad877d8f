// Latency of a public robot operation against the simulator on loopback: `operationState()`
// (a pure query, no log line) from 1, 4 and 16 threads on one robot, next to the floor (raw
// blocking sockets sending the same request bytes to the same simulator, one connection per
// thread) and next to the same sockets polling briefly before they block, measured in
// alternating blocks so all see the same machine. The logging cost is taken apart with
// `setPowerState` (entry and end lines) against `clearServoAlarm` (the same command form, no
// line). VELMORA_BENCH_REQUESTS sets the requests per run (default 20000).

#include <stdlib.h>
#include <unistd.h>

#include <velmora/robots.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "raw_floor.h"
#include "velmora_sim/simulator.h"

namespace {

using bench::Clock;
using bench::envOr;
using bench::Latency;
using bench::micros;
using bench::summarize;


// `count` calls of `op` on each of `threads` threads; every call's latency.
std::vector<double> run(int threads, std::size_t count, const std::function<bool(int)>& op, std::size_t& failures) {
  std::vector<std::vector<double>> perThread(threads);
  std::atomic<std::size_t> failed{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      auto& samples = perThread[t];
      samples.reserve(count);
      for (std::size_t i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        if (!op(t)) ++failed;
        samples.push_back(micros(Clock::now() - t0));
      }
    });
  }
  for (auto& w : workers) w.join();
  failures += failed;
  std::vector<double> all;
  for (auto& s : perThread) all.insert(all.end(), s.begin(), s.end());
  return all;
}

}  // namespace

int main() {
  const std::size_t requests = envOr("VELMORA_BENCH_REQUESTS", 20000);
  // The robot log goes below the working directory: keep it out of the caller's.
  std::string scratch = (std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX").string();
  if (mkdtemp(scratch.data()) == nullptr) return 1;
  std::filesystem::current_path(scratch);

  auto sim = bench::startSimulator("127.86.75.");
  if (!sim) {
    std::fprintf(stderr, "cannot start the simulator\n");
    return 1;
  }
  sim->command().log().setEnabled(false);
  const std::string address = sim->address();
  int status = 0;
  {
    velmora::OstraMaxRobot robot(address, address);
    std::size_t failures = 0;
    auto stateQuery = [&](int) {
      std::error_code ec;
      robot.operationState(ec);
      return !ec;
    };
    // One raw connection per thread; the same bytes the link writes, ids of their own range.
    std::vector<std::unique_ptr<bench::RawFloorClient>> raw;
    for (int t = 0; t < 16; ++t) raw.push_back(std::make_unique<bench::RawFloorClient>(address, 6666));
    std::vector<std::uint64_t> ids(16);
    for (int t = 0; t < 16; ++t) ids[t] = 3'000'000'000ull + static_cast<std::uint64_t>(t) * 100'000'000ull;
    auto floorQuery = [&](int t) {
      thread_local std::string request, reply;
      request = "{\"g\":{\"sys.state\":null},\"id\":" + std::to_string(ids[t]++) + "}\r";
      return raw[t]->roundTrip(request, reply);
    };
    // The same, polling 60 us before it blocks, as the link's waiter does: on a machine where a
    // blocking wake-up across cores is slow, this is the floor the library can be held to.
    auto pollingQuery = [&](int t) {
      thread_local std::string request, reply;
      request = "{\"g\":{\"sys.state\":null},\"id\":" + std::to_string(ids[t]++) + "}\r";
      return raw[t]->roundTrip(request, reply, std::chrono::microseconds(60));
    };

    run(1, 2000, stateQuery, failures);  // warm-up
    run(1, 2000, floorQuery, failures);

    std::printf("robot_ops on %s, %zu requests per run, %u hardware threads\n", address.c_str(), requests,
                std::thread::hardware_concurrency());
    std::printf("%-28s %8s %10s %10s %10s %13s\n", "run", "threads", "p50_us", "p99_us", "floor_p50",
                "polling_p50");
    Latency single, floorSingle, pollingSingle, sixteen;
    for (const int threads : {1, 4, 16}) {
      std::vector<double> lib, floor, polling;
      const std::size_t perBlock = std::max<std::size_t>(1, requests / 10 / threads);
      for (int block = 0; block < 10; ++block) {
        auto a = run(threads, perBlock, stateQuery, failures);
        lib.insert(lib.end(), a.begin(), a.end());
        auto b = run(threads, perBlock, floorQuery, failures);
        floor.insert(floor.end(), b.begin(), b.end());
        auto c = run(threads, perBlock, pollingQuery, failures);
        polling.insert(polling.end(), c.begin(), c.end());
      }
      const Latency l = summarize(std::move(lib)), f = summarize(std::move(floor)), p = summarize(std::move(polling));
      std::printf("%-28s %8d %10.1f %10.1f %10.1f %13.1f\n", "operationState", threads, l.p50, l.p99, f.p50, p.p50);
      if (threads == 1) {
        single = l;
        floorSingle = f;
        pollingSingle = p;
      }
      if (threads == 16) sixteen = l;
    }

    // Logging: the same command form with and without the entry and end lines.
    auto clearAlarm = [&](int) {
      std::error_code ec;
      robot.clearServoAlarm(ec);
      return !ec;
    };
    auto setPower = [&](int) {
      std::error_code ec;
      robot.setPowerState(true, ec);
      return !ec;
    };
    std::vector<double> quietSamples, lineSamples;
    const std::size_t perBlock = std::max<std::size_t>(1, requests / 40);
    for (int block = 0; block < 10; ++block) {
      auto a = run(1, perBlock, clearAlarm, failures);
      quietSamples.insert(quietSamples.end(), a.begin(), a.end());
      auto b = run(1, perBlock, setPower, failures);
      lineSamples.insert(lineSamples.end(), b.begin(), b.end());
    }
    const Latency quiet = summarize(std::move(quietSamples)), withLines = summarize(std::move(lineSamples));
    std::printf("%-28s %8d %10.1f %10.1f\n", "clearServoAlarm (no line)", 1, quiet.p50, quiet.p99);
    std::printf("%-28s %8d %10.1f %10.1f   logging cost p50 %.1f us\n", "setPowerState (2 lines)", 1, withLines.p50,
                withLines.p99, withLines.p50 - quiet.p50);
    if (failures) {
      std::printf("failures: %zu\n", failures);
      status = 1;
    }
    const double ratio = floorSingle.p50 > 0 ? single.p50 / floorSingle.p50 : 0;
    const double pollingRatio = pollingSingle.p50 > 0 ? single.p50 / pollingSingle.p50 : 0;
    std::printf("robot_ops: p50_us=%.1f floor_p50_us=%.1f p50_ratio=%.2f polling_p50_us=%.1f "
                "p50_ratio_polling=%.2f p99_us_16=%.1f\n",
                single.p50, floorSingle.p50, ratio, pollingSingle.p50, pollingRatio, sixteen.p99);
  }
  sim->stop();
  std::error_code ignored;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
  std::filesystem::remove_all(scratch, ignored);
  return status;
}
