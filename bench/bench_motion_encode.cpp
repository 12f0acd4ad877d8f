// Queued motion through the public API, against `velmora-sim` running as a process of its own
// whose arm ends every motion as it begins (--time-scale 0), so each queued command is reported
// finished as soon as it arrives:
// - encode and queue: `moveAppend` of 100 linear moves (its log lines included), median;
// - appends per second: single-move `moveAppend`s as fast as the queue takes them (in-flight
//   limit at its default, 300) until every finish has been heard, next to one raw connection
//   sending the identical request bytes and keeping as many commands in flight, counting the
//   same finish reports; alternating blocks.
// VELMORA_BENCH_APPENDS sets the moves per block (default 5000); `--load` measures again beside
// the standard load (bench_common.h).

#include <velmora/robots.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "finish_count.h"
#include "raw_clients.h"

namespace {

using bench::Clock;
using namespace std::chrono_literals;

constexpr int kWindow = 300;  // the library's default in-flight limit

velmora::MoveLCommand move(int i) {
  velmora::MoveLCommand m(velmora::CartesianPosition{0.3 + i * 1e-4, 0.1, 0.4, 3.14, 0.0, 0.0}, 500, 10);
  return m;
}

// The bytes the link writes for one queued move of `move(0)`, with a text id of its own.
void writeMoveRequest(std::string& out, std::uint64_t n) {
  out.assign(R"({"c":{"move.l":{"path":[{"point":{"elb":0.0,"rot":[3.1400000000000001,0.0,0.0],)"
             R"("trans":[0.29999999999999999,0.10000000000000001,0.40000000000000002]},)"
             R"("traj":{"speed":0.5,"zone":0.01}}]}},"id":"r#)");
  out += std::to_string(n);
  out += "\"}\r";
}

// `count` moves through one raw connection keeping `kWindow` unfinished: a new one for each
// finish report. Moves finished per second.
double rawAppends(const std::string& address, std::size_t count, std::uint64_t& id) {
  bench::RawClient client(address, 6666);
  if (!client.connected()) return 0;
  std::string request, message;
  std::size_t sent = 0, finished = 0;
  const auto t0 = Clock::now();
  for (; sent < count && sent < static_cast<std::size_t>(kWindow); ++sent) {
    writeMoveRequest(request, id++);
    client.send(request);
  }
  while (finished < count) {
    if (!client.readReply(message)) return 0;
    if (message.find("finish") == std::string::npos) continue;
    ++finished;
    if (sent < count) {
      writeMoveRequest(request, id++);
      client.send(request);
      ++sent;
    }
  }
  return static_cast<double>(count) / std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const bool load = bench::loadAsked(argc, argv);
  const std::size_t appends = bench::envOr("VELMORA_BENCH_APPENDS", 5000);
  bench::Scratch scratch("motion_encode");
  bench::SimProcess sim({"--arm", "identity", "--time-scale", "0"});
  const std::string address = sim.address();
  bench::FinishCount finished;
  velmora::OstraMaxRobot robot(address, address);
  if (!finished.start(robot)) return 1;
  std::error_code ec;
  std::vector<velmora::MoveLCommand> hundred;
  for (int i = 0; i < 100; ++i) hundred.push_back(move(i));
  const std::vector<velmora::MoveLCommand> one{move(0)};
  std::uint64_t expected = 0;
  std::uint64_t rawId = 0;

  std::printf("motion_encode: public API against velmora-sim (own process), finishes reported at once\n");
  bench::Summary summary("motion_encode");
  const int status = bench::measureQuietAndLoaded(load, summary, [&](bench::Summary& out) {
    std::size_t failures = 0;
    // Encode and queue 100 moves, each request waiting for the previous one to finish.
    std::vector<double> queueUs;
    for (int i = 0; i < 120; ++i) {
      std::string id;
      const auto t0 = Clock::now();
      robot.moveAppend(hundred, id, ec);
      const double us = bench::micros(Clock::now() - t0);
      expected += 100;
      if (ec || !finished.waitFor(expected)) ++failures;
      if (i >= 20) queueUs.push_back(us);  // the first ones warm up
    }
    const double encode100 = bench::median(queueUs);

    // Single moves, alternating blocks.
    double libraryRate = 0, rawRate = 0;
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
      const auto t0 = Clock::now();
      for (std::size_t i = 0; i < appends; ++i) {
        std::string id;
        robot.moveAppend(one, id, ec);
        if (ec) ++failures;
      }
      expected += appends;
      if (!finished.waitFor(expected)) ++failures;
      libraryRate += static_cast<double>(appends) / std::chrono::duration<double>(Clock::now() - t0).count() / kRounds;
      const double r = rawAppends(address, appends, rawId);
      if (r <= 0) ++failures;
      rawRate += r / kRounds;
    }
    std::printf("  encode and queue 100 linear moves: median %.1f us\n", encode100);
    std::printf("  single-move appends: %.0f/s; raw connection, same bytes, %d in flight: %.0f/s (ratio %.2f)\n",
                libraryRate, kWindow, rawRate, bench::ratio(libraryRate, rawRate));
    if (failures != 0) std::printf("  FAILED: %zu\n", failures);
    out.add("encode_100_us", encode100, 1).add("appends_per_s", libraryRate, 0).add("raw_appends_per_s", rawRate, 0);
    out.add("appends_ratio", bench::ratio(libraryRate, rawRate)).add("failures", static_cast<double>(failures), 0);
    return failures == 0;
  });
  robot.moveReset(ec);
  return status;
}
