// State stream receive + decode: ns per packet for `DataReceiver::receive` plus three field
// reads, next to its floor (a plain socket's recv of the same packet and the same three fields
// copied out by hand) in alternating batches; packets lost at 1, 2, 4 and 8 kHz from the
// simulator's publisher (gaps in `ts`); heap allocations per packet on the receiving thread.
// VELMORA_BENCH_SECONDS sets the seconds per stream rate (default 3); `--load` measures again
// beside the standard load (bench_common.h).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
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
#include "velmora_sim/state_layout.h"
#include "velmora_sim/state_publisher.h"

#include "alloc_counter.h"
#include "bench_common.h"

namespace {

using namespace std::chrono_literals;
using bench::Clock;
using velmora::internal::DataReceiver;
using velmora::sim::StatePublisher;

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

// Receiver and publishers bind here; ports are the system's choice.
const std::string& address() {
  static const std::string local = bench::loopbackPrefix() + ".0.1";
  return local;
}

std::unique_ptr<DataReceiver> openReceiver(const Recipe& recipe) {
  auto receiver = std::make_unique<DataReceiver>();
  receiver->setEndpoint(0, address(), address());
  if (receiver->setRecipe(recipe.fields, static_cast<std::uint16_t>(recipe.axes)) != 0) fail("recipe refused");
  std::error_code ec;
  receiver->open(ec, true);
  if (ec) fail("open failed");
  return receiver;
}

void publishTo(StatePublisher& publisher, const Recipe& recipe, unsigned short port) {
  if (!publisher.setFields(recipe.axes, {recipe.fields.begin(), recipe.fields.end()})) fail("sim refused");
  publisher.setTarget(address(), port);
}

// The floor: a blocking recv of the same datagram into a plain socket and the same three fields
// copied out of it by hand at their offsets (known beforehand from the simulator's layout), the
// least any reader of the stream must do.
class Floor {
 public:
  explicit Floor(const Recipe& recipe) : recipe_(recipe), publisher_(address()) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, address().c_str(), &local.sin_addr);
    socklen_t length = sizeof local;
    const timeval bound{1, 0};  // a datagram lost fails the run instead of hanging it
    if (fd_ < 0 || ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound) != 0 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
      fail("floor socket");
    }
    publishTo(publisher_, recipe, ntohs(local.sin_port));
    vector_ = spot(recipe.vectorField);
    third_ = spot(recipe.thirdField);
    vectorValues_.reserve(16);
    thirdValues_.reserve(16);
  }
  ~Floor() { ::close(fd_); }
  Floor(const Floor&) = delete;
  Floor& operator=(const Floor&) = delete;

  StatePublisher& publisher() { return publisher_; }
  std::uint64_t ts() const { return ts_; }

  void take() {
    const ssize_t n = ::recv(fd_, buffer_, sizeof buffer_, 0);
    if (n != static_cast<ssize_t>(publisher_.packetSize())) fail("floor recv");
    std::memcpy(&ts_, buffer_, sizeof ts_);
    read(vector_, vectorValues_);
    if (recipe_.thirdIsVector) {
      read(third_, thirdValues_);
    } else {
      std::memcpy(&scalar_, buffer_ + third_.offset, sizeof scalar_);
    }
  }

 private:
  struct Spot {
    std::size_t offset = 0, count = 0;
  };
  Spot spot(const char* name) const {
    const auto offset = publisher_.offsetOf(name);
    const auto shape = velmora::sim::stateFieldShape(name, recipe_.axes);
    if (!offset || !shape) fail("field not in the layout");
    return {*offset, shape->count};
  }
  void read(const Spot& at, std::vector<double>& out) const {
    out.resize(at.count);
    std::memcpy(out.data(), buffer_ + at.offset, at.count * sizeof(double));
  }

  const Recipe& recipe_;
  StatePublisher publisher_;
  int fd_ = -1;
  Spot vector_, third_;
  std::uint8_t buffer_[velmora::sim::kMaxStatePacket];
  std::uint64_t ts_ = 0;
  std::vector<double> vectorValues_, thirdValues_;
  double scalar_ = 0;
};

struct DecodeNs {
  double library = 0, floor = 0;
};

// ns per packet of receive + three reads, and of the floor, in alternating batches (library,
// floor, library...) so both see the same machine; each batch's datagrams are queued before
// it is timed.
DecodeNs decodeNs(const Recipe& recipe, int batches) {
  auto receiver = openReceiver(recipe);
  StatePublisher publisher{address()};
  publishTo(publisher, recipe, static_cast<unsigned short>(receiver->port()));
  Floor floor(recipe);
  std::vector<double> vector;
  vector.reserve(16);
  std::vector<double> third;
  third.reserve(16);
  double scalar = 0;
  std::uint64_t ts = 0;
  std::chrono::nanoseconds libraryBusy{0}, floorBusy{0};
  // The first batch of each warms it up and is not counted.
  for (int b = 0; b <= batches; ++b) {
    for (int i = 0; i < kBatch; ++i) publisher.sendNow();
    const std::uint64_t allocationsBefore = bench::threadAllocations;
    auto start = Clock::now();
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
      libraryBusy += Clock::now() - start;
      allocationsAfterWarmUp += bench::threadAllocations - allocationsBefore;
      packetsAfterWarmUp += kBatch;
    }
    for (int i = 0; i < kBatch; ++i) floor.publisher().sendNow();
    start = Clock::now();
    for (int i = 0; i < kBatch; ++i) floor.take();
    if (b > 0) floorBusy += Clock::now() - start;
  }
  if (ts != publisher.sentCount() || floor.ts() != floor.publisher().sentCount()) fail("decoded ts does not match");
  const double packets = double(batches) * kBatch;
  return {double(libraryBusy.count()) / packets, double(floorBusy.count()) / packets};
}

struct LossResult {
  std::uint64_t sent = 0;
  std::uint64_t lost = 0;
  double rate = 0;
};

LossResult lossAt(int hz, std::chrono::seconds duration) {
  auto receiver = openReceiver(kSixAxis);
  StatePublisher publisher{address()};
  publishTo(publisher, kSixAxis, static_cast<unsigned short>(receiver->port()));
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

int main(int argc, char** argv) {
  const bool load = bench::loadAsked(argc, argv);
  const auto seconds = std::chrono::seconds(std::max<std::size_t>(1, bench::envOr("VELMORA_BENCH_SECONDS", 3)));
  std::printf("machine: %s, %u hardware threads; loopback UDP, receiver on the calling thread\n", cpuName().c_str(),
              std::thread::hardware_concurrency());
  bench::Summary summary("state_decode");
  return bench::measureQuietAndLoaded(load, summary, [&](bench::Summary& out) {
    allocationsAfterWarmUp = 0;
    packetsAfterWarmUp = 0;
    const int batches = 2000;
    const DecodeNs six = decodeNs(kSixAxis, batches);
    const DecodeNs seven = decodeNs(kSevenAxis, batches);
    const char* form = "receive + 3 reads, %-15s (%4zu B): %8.0f ns/packet   floor recv + 3 reads: %8.0f ns  (x%.2f)\n";
    std::printf(form, kSixAxis.label, std::size_t(308), six.library, six.floor, six.library / six.floor);
    std::printf(form, kSevenAxis.label, std::size_t(1052), seven.library, seven.floor, seven.library / seven.floor);

    std::uint64_t lost1 = 0;
    std::uint64_t lost8 = 0;
    for (int hz : {1000, 2000, 4000, 8000}) {
      const LossResult r = lossAt(hz, seconds);
      std::printf("stream %d Hz for %lld s: sent %llu (%.0f/s), lost %llu\n", hz,
                  static_cast<long long>(seconds.count()), static_cast<unsigned long long>(r.sent), r.rate,
                  static_cast<unsigned long long>(r.lost));
      if (hz == 1000) lost1 = r.lost;
      if (hz == 8000) lost8 = r.lost;
    }
    const double allocsPerPacket = double(allocationsAfterWarmUp) / double(packetsAfterWarmUp);
    std::printf("allocations on the receiving thread after the first packet: %llu over %llu packets\n",
                static_cast<unsigned long long>(allocationsAfterWarmUp),
                static_cast<unsigned long long>(packetsAfterWarmUp));
    out.add("ns_per_packet_6", six.library, 0).add("ns_per_packet_7", seven.library, 0);
    out.add("floor_ns", seven.floor, 0).add("ratio", bench::ratio(seven.library, seven.floor));
    out.add("lost_1khz", static_cast<double>(lost1), 0).add("lost_8khz", static_cast<double>(lost8), 0);
    out.add("allocs_per_packet", allocsPerPacket, 3);
    return true;
  });
}
