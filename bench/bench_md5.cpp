// MD5 throughput over a 10 MiB buffer, both forms, next to the system's md5sum over the same
// bytes (read from a temporary file in the page cache) measured in the same run. `--load`
// measures again beside the standard load (bench_common.h).

#include <fmt/format.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/md5.h"

#include "bench_common.h"

using velmora::internal::Md5;
using velmora::internal::Md5Hash;
using bench::Clock;

namespace {

constexpr std::size_t kSize = 10u << 20;
constexpr int kRounds = 10;

double mbps(std::size_t bytes, Clock::duration elapsed) {
  return double(bytes) / 1e6 / std::chrono::duration<double>(elapsed).count();
}

// Best of a few rounds, so a scheduling hiccup does not decide the figure.
template <typename Fn>
double bestMbps(Fn&& fn, std::size_t bytesPerRound) {
  double best = 0;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = Clock::now();
    fn();
    best = std::max(best, mbps(bytesPerRound, Clock::now() - start));
  }
  return best;
}

// md5sum over `copies` names of the same file; returns MB/s and its first digest.
double md5sumMbps(const std::string& path, int copies, std::string& digest) {
  std::string command = "md5sum";
  for (int k = 0; k < copies; ++k) command += " " + path;
  double best = 0;
  for (int round = 0; round < 3; ++round) {
    const auto start = Clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return 0;
    char line[512];
    std::string first;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
      if (first.empty()) first = line;
    }
    const int status = pclose(pipe);
    const auto elapsed = Clock::now() - start;
    if (status != 0 || first.size() < 32) return 0;
    digest = first.substr(0, 32);
    best = std::max(best, mbps(kSize * std::size_t(copies), elapsed));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const bool load = bench::loadAsked(argc, argv);
  std::vector<unsigned char> data(kSize);
  std::uint32_t x = 12345;
  for (auto& byte : data) {
    x = x * 1664525u + 1013904223u;
    byte = static_cast<unsigned char>(x >> 24);
  }
  char path[] = "/tmp/bench_md5_XXXXXX";
  const int fd = mkstemp(path);
  if (fd >= 0) {
    close(fd);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(kSize));
  }

  bench::Summary summary("md5");
  const int status = bench::measureQuietAndLoaded(load, summary, [&](bench::Summary& out) {
    std::string digest;
    const double context = bestMbps(
        [&] {
          Md5 ctx;
          Md5::init(ctx);
          Md5::update(ctx, data.data(), data.size());
          digest = Md5::hexDigest(ctx, false);
        },
        kSize);
    const double object = bestMbps(
        [&] {
          Md5Hash hash("");
          hash.update(data.data(), data.size());
          hash.digest();
        },
        kSize);
    std::string baselineDigest;
    const double baseline = fd >= 0 ? md5sumMbps(path, 5, baselineDigest) : 0;

    fmt::print("buffer: 10 MiB, best of {} rounds\n", kRounds);
    fmt::print("Md5 context:           {:8.1f} MB/s  {}\n", context, digest);
    fmt::print("Md5Hash object:        {:8.1f} MB/s\n", object);
    fmt::print("md5sum (baseline, x5): {:8.1f} MB/s  {}{}\n", baseline, baselineDigest,
               baseline == 0              ? "  (md5sum not available)"
               : baselineDigest == digest ? ""
                                          : "  DIGESTS DIFFER");
    std::fflush(stdout);
    out.add("mbps", context, 1).add("baseline_mbps", baseline, 1).add("ratio", baseline > 0 ? context / baseline : 0.0);
    return baseline == 0 || baselineDigest == digest;
  });
  if (fd >= 0) unlink(path);
  return status;
}
