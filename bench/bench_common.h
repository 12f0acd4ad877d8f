#pragma once
// What the benchmark programs share: timing, latency summaries, settings from the environment
// and a simulator on an address of its own.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "velmora_sim/simulator.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Latency {
  double p50 = 0, p99 = 0, max = 0;  // microseconds
};

inline Latency summarize(std::vector<double> samples) {
  Latency l;
  if (samples.empty()) return l;
  std::sort(samples.begin(), samples.end());
  l.p50 = samples[samples.size() / 2];
  l.p99 = samples[samples.size() * 99 / 100];
  l.max = samples.back();
  return l;
}

inline double median(std::vector<double> values) { return summarize(std::move(values)).p50; }

/// The environment's number for `name`, else `fallback`.
inline std::size_t envOr(const char* name, std::size_t fallback) {
  const char* text = std::getenv(name);
  return text ? std::strtoull(text, nullptr, 10) : fallback;
}

/// A simulator without a real-time port on the first free address `<prefix><1..49>`: a robot
/// connects to the controller's fixed port, so nothing else may listen on the address.
inline std::unique_ptr<velmora_sim::Simulator> startSimulator(const std::string& prefix) {
  for (int host = 1; host < 50; ++host) {
    velmora_sim::SimulatorOptions options;
    options.address = prefix + std::to_string(host);
    options.rtPort = 0;
    try {
      return std::make_unique<velmora_sim::Simulator>(options);
    } catch (const std::exception&) {
    }
  }
  return nullptr;
}

}  // namespace bench
