// State stream receive + decode: ns per packet for `DataReceiver::receive` plus three field
// reads, next to a bare recv + memcpy of the same packet; packets lost at 1, 2, 4 and 8 kHz from
// the simulator's publisher (gaps in `ts`); heap allocations per packet on the receiving thread.
// VELMORA_BENCH_SECONDS sets the seconds per stream rate (default 10).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "network/state_stream/data_receiver.h"
#include "velmora_sim/state_publisher.h"

#include "alloc_counter.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using velmora::internal::DataReceiver;
using velmora::sim::StatePublisher;

constexpr const char* kAddress = "127.0.0.1";
constexpr int kBatch = 32;  // well inside the default socket receive buffer at 1052 bytes

struct Recipe {
  const char* label;
  unsigned axes;
  std::set<std::string> fields;
  const char* vectorField;  // read with `ts` and one more field
  const char* thirdField;
  bool thirdIsVector;
};

const Recipe kSixAxis = {"6-axis", 6, {"dq_m", "pos_m", "psi_m", "q_m", "tau_m"}, "q_m", "psi_m", false};
// The largest 7-axis recipe: exactly 1052 bytes.
const Recipe kSevenAxis = {"7-axis largest",
                           7,
                           {"pos_m", "pos_c", "q_m", "q_c", "dq_m", "dq_c", "ddq_m", "ddq_c", "tau_m", "tau_c",
                            "tau_filtered_m", "tau_vel_c", "theta_m", "theta_vel_m", "pos_abc_m", "pos_vel_m"},
                           "q_m",
                           "pos_m",
                           true};

uint64_t allocationsAfterWarmUp = 0;
uint64_t packetsAfterWarmUp = 0;

void fail(const char* what) {
  std::fprintf(stderr, "bench_state_decode: %s\n", what);
  std::exit(1);
}

std::unique_ptr<DataReceiver> openReceiver(const Recipe& recipe) {
  auto receiver = std::make_unique<DataReceiver>();
  receiver->setEndpoint(0, kAddress, kAddress);
  if (receiver->setRecipe(recipe.fields, static_cast<std::uint16_t>(recipe.axes)) != 0) fail("recipe refused");
  std::error_code ec;
  receiver->open(ec, true);
  if (ec) fail("open failed");
  return receiver;
}

// ns per packet of receive + three reads, datagrams already queued.
double decodeNs(const Recipe& recipe, int batches) {
  auto receiver = openReceiver(recipe);
  StatePublisher publisher{kAddress};
  if (!publisher.setFields(recipe.axes, {recipe.fields.begin(), recipe.fields.end()})) fail("sim refused");
  publisher.setTarget(kAddress, static_cast<unsigned short>(receiver->port()));
  std::vector<double> vector;
  vector.reserve(16);
  std::vector<double> third;
  third.reserve(16);
  double scalar = 0;
  std::uint64_t ts = 0;
  std::chrono::nanoseconds busy{0};
  // The first batch warms the receiver up and is not counted.
  for (int b = 0; b <= batches; ++b) {
    for (int i = 0; i < kBatch; ++i) publisher.sendNow();
    const std::uint64_t allocationsBefore = bench::threadAllocations;
    const auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      if (receiver->receive(1s) != publisher.packetSize()) fail("packet lost in the decode run");
      receiver->readField("ts", ts);
      vector.clear();
      receiver->readField(recipe.vectorField, vector);
      if (recipe.thirdIsVector) {
        third.clear();
        receiver->readField(recipe.thirdField, third);
      } else {
        receiver->readField(recipe.thirdField, scalar);
      }
    }
    if (b > 0) {
      busy += Clock::now() - start;
      allocationsAfterWarmUp += bench::threadAllocations - allocationsBefore;
      packetsAfterWarmUp += kBatch;
    }
  }
  if (ts != publisher.sentCount()) fail("decoded ts does not match");
  return double(busy.count()) / (double(batches) * kBatch);
}

// The floor: a blocking recv of the same datagram and a copy of it.
double floorNs(const Recipe& recipe, int batches) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = 0;
  ::inet_pton(AF_INET, kAddress, &local.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) fail("bind");
  socklen_t length = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  StatePublisher publisher{kAddress};
  publisher.setFields(recipe.axes, {recipe.fields.begin(), recipe.fields.end()});
  publisher.setTarget(kAddress, ntohs(local.sin_port));
  std::uint8_t buffer[1052];
  static std::uint8_t copy[1052];
  std::chrono::nanoseconds busy{0};
  for (int b = 0; b <= batches; ++b) {
    for (int i = 0; i < kBatch; ++i) publisher.sendNow();
    const auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) fail("recv");
      std::memcpy(copy, buffer, static_cast<std::size_t>(n));
    }
    if (b > 0) busy += Clock::now() - start;
  }
  ::close(fd);
  return double(busy.count()) / (double(batches) * kBatch);
}

struct LossResult {
  std::uint64_t sent = 0;
  std::uint64_t lost = 0;
  double rate = 0;
};

LossResult lossAt(int hz, std::chrono::seconds duration) {
  auto receiver = openReceiver(kSixAxis);
  StatePublisher publisher{kAddress};
  publisher.setFields(kSixAxis.axes, {kSixAxis.fields.begin(), kSixAxis.fields.end()});
  publisher.setTarget(kAddress, static_cast<unsigned short>(receiver->port()));
  publisher.start(std::chrono::nanoseconds(1'000'000'000 / hz));
  receiver->receiveFirst();
  std::uint64_t last = 0;
  receiver->readField("ts", last);
  std::uint64_t lost = last - 1;
  auto take = [&](std::chrono::nanoseconds timeout) {
    const std::uint64_t before = bench::threadAllocations;
    const std::size_t n = receiver->receive(timeout);
    if (n == 0) return false;
    std::uint64_t ts = 0;
    receiver->readField("ts", ts);
    allocationsAfterWarmUp += bench::threadAllocations - before;
    ++packetsAfterWarmUp;
    if (ts > last + 1) lost += ts - last - 1;
    last = ts;
    return true;
  };
  const auto start = Clock::now();
  while (Clock::now() - start < duration) take(100ms);
  publisher.stop();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  while (take(50ms)) {
  }
  LossResult result;
  result.sent = publisher.sentCount();
  result.lost = lost + (result.sent - last);
  result.rate = double(result.sent) / seconds;
  return result;
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
  std::printf("machine: %s, %u hardware threads; loopback UDP, receiver on the calling thread\n", cpuName().c_str(),
              std::thread::hardware_concurrency());

  const int batches = 2000;
  const double ns6 = decodeNs(kSixAxis, batches);
  const double ns7 = decodeNs(kSevenAxis, batches);
  const double floor6 = floorNs(kSixAxis, batches);
  const double floor7 = floorNs(kSevenAxis, batches);
  std::printf("receive + 3 reads, %-15s (%4zu B): %8.0f ns/packet   floor recv+memcpy: %8.0f ns  (x%.2f)\n",
              kSixAxis.label, std::size_t(308), ns6, floor6, ns6 / floor6);
  std::printf("receive + 3 reads, %-15s (%4zu B): %8.0f ns/packet   floor recv+memcpy: %8.0f ns  (x%.2f)\n",
              kSevenAxis.label, std::size_t(1052), ns7, floor7, ns7 / floor7);

  std::uint64_t lost1 = 0;
  std::uint64_t lost8 = 0;
  for (int hz : {1000, 2000, 4000, 8000}) {
    const LossResult r = lossAt(hz, seconds);
    std::printf("stream %d Hz for %lld s: sent %llu (%.0f/s), lost %llu\n", hz, static_cast<long long>(seconds.count()),
                static_cast<unsigned long long>(r.sent), r.rate, static_cast<unsigned long long>(r.lost));
    if (hz == 1000) lost1 = r.lost;
    if (hz == 8000) lost8 = r.lost;
  }
  const double allocsPerPacket = double(allocationsAfterWarmUp) / double(packetsAfterWarmUp);
  std::printf("allocations on the receiving thread after the first packet: %llu over %llu packets\n",
              static_cast<unsigned long long>(allocationsAfterWarmUp),
              static_cast<unsigned long long>(packetsAfterWarmUp));
  std::printf(
      "state_decode: ns_per_packet_6=%.0f ns_per_packet_7=%.0f floor_ns=%.0f ratio=%.2f lost_1khz=%llu "
      "lost_8khz=%llu allocs_per_packet=%.3f\n",
      ns6, ns7, floor7, ns7 / floor7, static_cast<unsigned long long>(lost1), static_cast<unsigned long long>(lost8),
      allocsPerPacket);
  return 0;
}
