#include "network/state_stream/rt_packet.h"

#include <velmora/error.h>

#include <cstring>
#include <istream>
#include <stdexcept>

namespace velmora::internal {

namespace {

[[noreturn]] void throwShortRead() { throw std::runtime_error("read form input stream error"); }

class PacketCursor {
 public:
  PacketCursor(const std::uint8_t* data, std::size_t size) : next_(data), left_(size) {}

  const std::uint8_t* take(std::size_t count) {
    if (left_ < count) throwShortRead();
    const std::uint8_t* at = next_;
    next_ += count;
    left_ -= count;
    return at;
  }

 private:
  const std::uint8_t* next_;
  std::size_t left_;
};

// The wire is little-endian whatever the host is.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kHostIsLittleEndian = false;
#else
constexpr bool kHostIsLittleEndian = true;
#endif

std::uint64_t loadLe64(const std::uint8_t* p) noexcept {
  std::uint64_t value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (!kHostIsLittleEndian) value = __builtin_bswap64(value);
  return value;
}

double loadDouble(const std::uint8_t* p) noexcept {
  const std::uint64_t bits = loadLe64(p);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

template <std::size_t N>
void loadDoubles(std::array<double, N>& out, const std::uint8_t* p) noexcept {
  if constexpr (kHostIsLittleEndian) {
    std::memcpy(out.data(), p, sizeof out);
  } else {
    for (std::size_t i = 0; i < N; ++i) out[i] = loadDouble(p + 8 * i);
  }
}

// A byte other than 0 or 1 copied into a bool is undefined behaviour; the wire says any
// non-zero byte is a set flag.
template <std::size_t N>
void loadFlags(std::array<bool, N>& out, const std::uint8_t* p) noexcept {
  for (std::size_t i = 0; i < N; ++i) out[i] = p[i] != 0;
}

template <std::size_t I>
auto& as(RtFieldValue& value) noexcept {
  return *std::get_if<I>(&value);
}

}  // namespace

std::unique_ptr<RtRecipe> makeRtRecipe(const std::set<std::string>& requested, unsigned axisCount) {
  const RtFieldTable& table = rtStateFieldsFor(axisCount);
  auto recipe = std::make_unique<RtRecipe>();
  recipe->order.reserve(requested.size() + 2);
  recipe->order.emplace_back("ts");
  recipe->order.emplace_back("errors");
  recipe->order.insert(recipe->order.end(), requested.begin(), requested.end());
  recipe->slots.reserve(recipe->order.size());
  std::size_t total = 0;
  for (const std::string& name : recipe->order) {
    const auto known = table.find(name);
    if (known == table.end()) return nullptr;
    const auto slot = recipe->fields.emplace(name, known->second).first;
    recipe->slots.push_back(&slot->second);
    total += rtFieldSize(known->second);
  }
  if (total > kMaxRtPacketSize) return nullptr;
  recipe->requested = requested;
  recipe->packetSize = total;
  return recipe;
}

void decodeRtPacket(RtRecipe& recipe, const std::uint8_t* packet, std::size_t size) {
  PacketCursor in(packet, size);
  for (RtFieldValue* slot : recipe.slots) {
    RtFieldValue& value = *slot;
    // One line a field kind.
    // clang-format off
    switch (value.index()) {
      case 0: as<0>(value) = in.take(1)[0] != 0; break;
      case 1: as<1>(value) = loadDouble(in.take(8)); break;
      case 2: as<2>(value) = in.take(1)[0]; break;
      case 3: as<3>(value) = loadLe64(in.take(8)); break;
      case 4: loadDoubles(as<4>(value), in.take(40)); break;
      case 5: loadDoubles(as<5>(value), in.take(48)); break;
      case 6: loadDoubles(as<6>(value), in.take(56)); break;
      case 7: loadDoubles(as<7>(value), in.take(128)); break;
      case 8:
        loadFlags(as<8>(value), in.take(20));
        checkRealtimeMotionErrors(as<8>(value));
        break;
      case 9: loadFlags(as<9>(value), in.take(7)); break;
      default: break;
    }
    // clang-format on
  }
}

void readStreamBytes(std::istream& in, char* destination, std::streamsize count) {
  in.read(destination, count);
  if (in.gcount() != count) throwShortRead();
}

}  // namespace velmora::internal
