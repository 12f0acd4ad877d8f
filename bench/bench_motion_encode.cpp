// Motion commands: time to encode and queue one request of 100 linear moves (its 100 log lines
// included, as every append writes them), and single-command appends per second with the
// simulator reporting each command finished at once; next to the raw-socket floor, a blocking
// client doing request/reply round trips with the same simulator in the same run.
// VELMORA_BENCH_APPENDS sets the number of single appends (default 20000).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "motion_control/motion_control.h"
#include "motion_control/motion_encoding.h"
#include "network/link_settings.h"
#include "raw_floor.h"
#include "velmora_sim/motion_responder.h"
#include "velmora_sim/simulator.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

using bench::Clock;
using bench::median;
using bench::micros;

struct Floor {
  double rps = 0;
  double p50Us = 0;
  std::size_t failures = 0;
};

// Sequential round trips of a small command on a blocking socket: what one request to this
// simulator costs with no library in between.
Floor measureFloor(const std::string& address, std::uint16_t port, std::size_t count) {
  bench::RawFloorClient client(address, port);
  Floor floor;
  if (!client.connected()) {
    floor.failures = count;
    return floor;
  }
  std::vector<double> samples;
  samples.reserve(count);
  std::string request;
  std::string reply;
  std::uint64_t id = 2'000'000'000;
  const auto start = Clock::now();
  for (std::size_t i = 0; i < count; ++i) {
    request = "{\"c\":{\"move.continue\":null},\"id\":" + std::to_string(id++) + "}\r";
    const auto t0 = Clock::now();
    if (!client.roundTrip(request, reply)) ++floor.failures;
    samples.push_back(micros(Clock::now() - t0));
  }
  floor.rps = static_cast<double>(count) / std::chrono::duration<double>(Clock::now() - start).count();
  floor.p50Us = median(std::move(samples));
  return floor;
}

bool waitIdle(MotionRuntime& rt, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (rt.inFlight.load() != 0 || rt.queuedCommands() != 0) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return true;
}

}  // namespace

namespace velmora::internal {
struct MotionControlTestAccess {
  static MotionRuntime& runtime(MotionControl<1>& mc) { return *mc.rt_; }
};
}  // namespace velmora::internal

int main() {
  const char* env = std::getenv("VELMORA_BENCH_APPENDS");
  const int appends = env ? std::max(100, std::atoi(env)) : 20000;

  velmora_sim::SimulatorOptions options;
  options.address = "127.0.0.1";
  options.commandPort = 0;
  options.filePort = 0;
  velmora_sim::Simulator sim(options);
  sim.command().log().setEnabled(false);
  velmora_sim::MotionResponder responder(sim);
  responder.finishAfter(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
  linkSettings().fileLinkPort = sim.file().port();

  auto link = std::make_shared<XService>();
  link->connect(options.address, sim.command().port());
  std::error_code ec;
  link->start(ec);
  if (ec) {
    std::fprintf(stderr, "cannot connect to the simulator (%d)\n", ec.value());
    return 1;
  }
  MotionControl<1> mc(link);
  MotionRuntime& rt = MotionControlTestAccess::runtime(mc);
  if (!mc.threadsRunning()) {
    std::fprintf(stderr, "motion threads did not start\n");
    return 1;
  }

  // One request of 100 linear moves, each a different pose.
  std::vector<MoveLCommand> path;
  for (int i = 0; i < 100; ++i) {
    MoveLCommand m(CartesianPosition{0.3 + i * 1e-3, 0.1, 0.4, 3.14, 0.01 * i, 0}, 500, 10);
    m.rotSpeed = 30;
    path.push_back(m);
  }
  std::vector<double> queueTimes;
  std::vector<double> encodeTimes;
  for (int i = 0; i < 220; ++i) {
    const auto e0 = Clock::now();
    const Json::Value body = requestBody(path);
    const auto e1 = Clock::now();
    std::string id;
    const auto q0 = Clock::now();
    mc.appendCommand(path, id, ec);
    const auto q1 = Clock::now();
    if (ec || body.isNull()) return 1;
    if (!waitIdle(rt, std::chrono::seconds(10))) {
      std::fprintf(stderr, "100-command request never finished\n");
      return 1;
    }
    if (i >= 20) {  // warm-up first
      encodeTimes.push_back(micros(e1 - e0));
      queueTimes.push_back(micros(q1 - q0));
    }
  }
  const double encode100 = median(queueTimes);
  std::printf("encode and queue 100 linear moves: median %.1f us (encoding alone %.1f us)\n", encode100,
              median(encodeTimes));

  // Single commands, each reported finished as soon as the simulator has it.
  const std::vector<MoveLCommand> one(path.begin(), path.begin() + 1);
  const auto a0 = Clock::now();
  for (int i = 0; i < appends; ++i) {
    std::string id;
    mc.appendCommand(one, id, ec);
    if (ec) return 1;
  }
  if (!waitIdle(rt, std::chrono::seconds(60))) {
    std::fprintf(stderr, "appends never finished\n");
    return 1;
  }
  const double appendSeconds = std::chrono::duration<double>(Clock::now() - a0).count();
  const double appendsPerSecond = appends / appendSeconds;
  std::printf("single appends, finished at once: %d in %.2f s = %.0f/s\n", appends, appendSeconds, appendsPerSecond);

  measureFloor(options.address, sim.command().port(), 2000);  // warm-up
  const Floor floor = measureFloor(options.address, sim.command().port(), 20000);
  if (floor.failures != 0) {
    std::fprintf(stderr, "floor round trips failed: %zu\n", floor.failures);
    return 1;
  }
  std::printf("raw-socket floor (blocking request/reply round trips): %.0f/s, p50 %.1f us\n", floor.rps,
              floor.p50Us);
  std::printf("appends per floor round trip: %.2f\n", appendsPerSecond / floor.rps);

  mc._stopThreads();
  link->stop();
  sim.stop();
  std::printf("motion_encode: encode_100_us=%.1f appends_per_s=%.0f floor_rps=%.0f\n", encode100, appendsPerSecond,
              floor.rps);
  return 0;
}
