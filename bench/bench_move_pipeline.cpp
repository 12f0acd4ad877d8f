// Queued motion through the public API against `velmora-sim` running as a process of its own,
// printing each request it reads (--verbose) and reporting each queued command finished at once
// (--time-scale 0):
// - append to wire: from calling `moveAppend` with one linear move to the simulator printing
//   the request, next to a raw blocking socket writing the same request bytes to the same
//   simulator, timed the same way, in alternating blocks (the pipe from the simulator costs
//   both the same);
// - batches per second of 1 and of 100 linear moves, appended as fast as the queue takes them
//   with the in-flight limit at its default (300), until the callback has heard every finish.
// VELMORA_BENCH_SAMPLES sets the latency samples per block (default 2000), VELMORA_BENCH_BATCHES
// the batches of one move (default 5000; a fiftieth of it for batches of 100); `--load` measures
// again beside the standard load (bench_common.h).

#include <poll.h>
#include <unistd.h>

#include <velmora/robots.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "finish_count.h"
#include "raw_clients.h"

namespace {

using bench::Clock;
using bench::envOr;
using bench::median;
using bench::micros;

// When the simulator printed the latest request of the watched key, read off its output on a
// thread of its own.
class Arrivals {
 public:
  Arrivals(int fd, std::string key) : fd_(fd), key_(std::move(key)), thread_([this] { run(); }) {}
  ~Arrivals() {
    stop_ = true;
    thread_.join();
  }

  std::uint64_t count() const { return count_.load(std::memory_order_acquire); }
  bool waitBeyond(std::uint64_t seen) const {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (count_.load(std::memory_order_acquire) <= seen) {
      if (Clock::now() > deadline) return false;
    }
    return true;
  }
  double sinceUs(Clock::time_point t0) const {
    return micros(Clock::time_point(Clock::duration(at_.load(std::memory_order_relaxed))) - t0);
  }

 private:
  void run() {
    std::string pending;
    char chunk[64 * 1024];
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n <= 0) return;
      const auto now = Clock::now();
      pending.append(chunk, static_cast<std::size_t>(n));
      for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        if (pending.find(key_) < end) {
          at_.store(now.time_since_epoch().count(), std::memory_order_relaxed);
          count_.fetch_add(1, std::memory_order_release);
        }
        pending.erase(0, end + 1);
      }
    }
  }

  int fd_;
  std::string key_;
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> at_{0};
  std::atomic<std::uint64_t> count_{0};
  std::thread thread_;
};

std::vector<velmora::MoveLCommand> moves(int n) {
  std::vector<velmora::MoveLCommand> out;
  for (int i = 0; i < n; ++i) {
    velmora::MoveLCommand m(velmora::CartesianPosition{0.3 + i * 1e-4, 0.1, 0.4, 3.14, 0.0, 0.0}, 500, 10);
    m.rotSpeed = 30;
    out.push_back(m);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const bool load = bench::loadAsked(argc, argv);
  const std::size_t samples = std::max<std::size_t>(1, envOr("VELMORA_BENCH_SAMPLES", 2000));
  const std::size_t batches1 = std::max<std::size_t>(1, envOr("VELMORA_BENCH_BATCHES", 5000));
  const std::size_t batches100 = std::max<std::size_t>(10, batches1 / 50);
  bench::Scratch scratch("move_pipeline");
  bench::SimProcess sim({"--arm", "identity", "--verbose", "--time-scale", "0"});
  Arrivals arrivals(sim.output(), "\"move.l\"");
  const std::string address = sim.address();
  bench::FinishCount finished;
  velmora::OstraMaxRobot robot(address, address);
  if (!finished.start(robot)) return 1;
  std::error_code ec;
  const auto one = moves(1);
  bench::RawClient raw(address, 6666);
  if (!raw.connected()) {
    std::fprintf(stderr, "raw client cannot connect\n");
    return 1;
  }
  // The bytes the link writes for one queued move; a numeric id so the simulator answers and
  // reports nothing more.
  const std::string body = R"({"c":{"move.l":{"path":[{"point":{"elb":0.0,"rot":[3.1400000000000001,0.0,0.0],)"
                           R"("trans":[0.29999999999999999,0.10000000000000001,0.40000000000000002]},)"
                           R"("traj":{"rot_speed":30.0,"speed":0.5,"zone":0.01}}]}},"id":)";
  std::uint64_t rawId = 4'000'000'000ull;

  bench::Summary summary("move_pipeline");
  const int status = bench::measureQuietAndLoaded(load, summary, [&](bench::Summary& out) {
    // Append to wire, against the raw socket, in alternating blocks.
    std::vector<double> library;
    std::vector<double> baseline;
    std::string reply;
    std::uint64_t appended = finished.count();  // every earlier move has been heard finished
    bool ok = true;
    for (int block = 0; block < 6 && ok; ++block) {
      const bool warmup = block < 2;
      for (std::size_t i = 0; i < samples / 4 && ok; ++i) {
        std::uint64_t seen = arrivals.count();
        std::string id;
        const auto t0 = Clock::now();
        robot.moveAppend(one, id, ec);
        if (ec || !arrivals.waitBeyond(seen)) ok = false;
        if (!warmup) library.push_back(arrivals.sinceUs(t0));
        ++appended;

        seen = arrivals.count();
        const std::string request = body + std::to_string(rawId++) + "}\r";
        const auto f0 = Clock::now();
        if (!raw.roundTrip(request, reply) || !arrivals.waitBeyond(seen)) ok = false;
        if (!warmup) baseline.push_back(arrivals.sinceUs(f0));
      }
    }
    if (!ok || !finished.waitFor(appended)) {
      std::fprintf(stderr, "append-to-wire samples failed\n");
      return false;
    }
    const double appendUs = median(library);
    const double rawUs = median(baseline);
    std::printf("append to wire (1 linear move): p50 %.1f us; raw socket, same bytes: p50 %.1f us (%.2fx)\n", appendUs,
                rawUs, bench::ratio(appendUs, rawUs));

    // Batches through the in-flight limit.
    auto batchesPerSecond = [&](int size, std::size_t count) {
      const auto list = moves(size);
      const std::uint64_t target = finished.count() + static_cast<std::uint64_t>(size) * count;
      const auto t0 = Clock::now();
      for (std::size_t i = 0; i < count; ++i) {
        std::string id;
        robot.moveAppend(list, id, ec);
        if (ec) return -1.0;
      }
      if (!finished.waitFor(target)) return -1.0;
      return static_cast<double>(count) / std::chrono::duration<double>(Clock::now() - t0).count();
    };
    batchesPerSecond(1, batches1 / 10);  // warm-up
    const double perSecond1 = batchesPerSecond(1, batches1);
    const double perSecond100 = batchesPerSecond(100, batches100);
    if (perSecond1 < 0 || perSecond100 < 0) {
      std::fprintf(stderr, "batches never finished\n");
      return false;
    }
    std::printf("batches of 1 move: %zu at %.0f/s (%.0f moves/s)\n", batches1, perSecond1, perSecond1);
    std::printf("batches of 100 moves: %zu at %.0f/s (%.0f moves/s)\n", batches100, perSecond100, perSecond100 * 100);
    out.add("append_to_wire_us", appendUs, 1)
        .add("raw_us", rawUs, 1)
        .add("append_ratio", bench::ratio(appendUs, rawUs));
    out.add("batches_per_s_1", perSecond1, 0).add("batches_per_s_100", perSecond100, 0);
    return true;
  });
  robot.disconnectFromRobot(ec);
  return status;
}
