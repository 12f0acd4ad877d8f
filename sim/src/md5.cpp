#include "velmora_sim/md5.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace velmora_sim {

namespace {

// The per-step additive constants are the integer parts of 2^32 * |sin(i + 1)|, computed here
// rather than copied as a table.
const std::array<std::uint32_t, 64>& sineTable() {
  static const std::array<std::uint32_t, 64> table = [] {
    std::array<std::uint32_t, 64> t{};
    for (int i = 0; i < 64; ++i)
      t[i] = static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
    return t;
  }();
  return table;
}

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void block(std::uint32_t h[4], const unsigned char* p) {
  std::uint32_t m[16];
  for (int i = 0; i < 16; ++i) {
    m[i] = 0;
    for (int b = 3; b >= 0; --b) m[i] = (m[i] << 8) | p[4 * i + b];
  }
  const auto& k = sineTable();
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
  for (int i = 0; i < 64; ++i) {
    const int round = i / 16;
    std::uint32_t mix;
    int word;
    switch (round) {
      case 0:
        mix = (b & c) | (~b & d);
        word = i;
        break;
      case 1:
        mix = (d & b) | (~d & c);
        word = (5 * i + 1) % 16;
        break;
      case 2:
        mix = b ^ c ^ d;
        word = (3 * i + 5) % 16;
        break;
      default:
        mix = c ^ (b | ~d);
        word = (7 * i) % 16;
        break;
    }
    const std::uint32_t sum = a + mix + k[i] + m[word];
    const int s = kShift[round][i % 4];
    a = d;
    d = c;
    c = b;
    b = b + ((sum << s) | (sum >> (32 - s)));
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
}

}  // namespace

std::string md5Hex(std::string_view bytes) {
  std::uint32_t h[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t whole = bytes.size() / 64 * 64;
  for (std::size_t offset = 0; offset < whole; offset += 64) block(h, data + offset);
  // The tail, the 0x80 marker, zeros and the bit length fill one or two last blocks.
  unsigned char tail[128] = {};
  const std::size_t rest = bytes.size() - whole;
  for (std::size_t i = 0; i < rest; ++i) tail[i] = data[whole + i];
  tail[rest] = 0x80;
  const std::size_t tailLength = rest < 56 ? 64 : 128;
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
  for (int i = 0; i < 8; ++i) tail[tailLength - 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
  for (std::size_t offset = 0; offset < tailLength; offset += 64) block(h, tail + offset);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::uint32_t word : h) {
    for (int b = 0; b < 4; ++b) {
      const unsigned byte = (word >> (8 * b)) & 0xFF;
      text.push_back(kHex[byte >> 4]);
      text.push_back(kHex[byte & 0xF]);
    }
  }
  return text;
}

}  // namespace velmora_sim
