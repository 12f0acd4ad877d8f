#include "common/md5.h"

#include <cstring>

namespace velmora::internal {

namespace {

constexpr std::uint32_t kInit[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};

inline std::uint32_t rotl(std::uint32_t x, int s) noexcept { return (x << s) | (x >> (32 - s)); }

inline std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept { return z ^ (x & (y ^ z)); }
inline std::uint32_t g(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept { return y ^ (z & (x ^ y)); }
inline std::uint32_t h(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept { return x ^ y ^ z; }
inline std::uint32_t i(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept { return y ^ (x | ~z); }

template <std::uint32_t (*Fn)(std::uint32_t, std::uint32_t, std::uint32_t)>
inline void step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, std::uint32_t t,
                 int s) noexcept {
  a = b + rotl(a + Fn(b, c, d) + x + t, s);
}

// Words are assembled from single bytes so the input needs no alignment and the digest does
// not depend on the host's byte order.
inline std::uint32_t load32(const std::uint8_t* p) noexcept {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

inline void store32(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}

// Writes the padding block(s) for `count` bytes with `buffered` = count % 64 bytes already in
// `buffer`, and compresses them into `state`.
void pad(std::uint32_t state[4], std::uint8_t buffer[64], std::uint64_t count) noexcept {
  std::size_t used = std::size_t(count % 64);
  buffer[used++] = 0x80;
  if (used > 56) {
    std::memset(buffer + used, 0, 64 - used);
    md5Compress(state, buffer, 1);
    used = 0;
  }
  std::memset(buffer + used, 0, 56 - used);
  const std::uint64_t bits = count << 3;  // the length is taken modulo 2^64 bits
  store32(buffer + 56, std::uint32_t(bits));
  store32(buffer + 60, std::uint32_t(bits >> 32));
  md5Compress(state, buffer, 1);
}

// Buffers and compresses `size` bytes after `count` bytes already fed.
void feed(std::uint32_t state[4], std::uint8_t buffer[64], std::uint64_t& count, const std::uint8_t* in,
          std::size_t size) noexcept {
  std::size_t used = std::size_t(count % 64);
  count += size;
  if (used != 0) {
    const std::size_t take = size < 64 - used ? size : 64 - used;
    std::memcpy(buffer + used, in, take);
    in += take;
    size -= take;
    used += take;
    if (used < 64) return;
    md5Compress(state, buffer, 1);
  }
  md5Compress(state, in, size / 64);
  if (size % 64 != 0) std::memcpy(buffer, in + size / 64 * 64, size % 64);
}

}  // namespace

void md5Compress(std::uint32_t state[4], const std::uint8_t* data, std::size_t blocks) noexcept {
  for (; blocks != 0; --blocks, data += 64) {
    std::uint32_t x[16];
    for (int k = 0; k < 16; ++k) x[k] = load32(data + 4 * k);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    // Four rounds of sixteen steps, two a line.
    // clang-format off
    step<f>(a, b, c, d, x[0], 0xd76aa478u, 7);   step<f>(d, a, b, c, x[1], 0xe8c7b756u, 12);
    step<f>(c, d, a, b, x[2], 0x242070dbu, 17);  step<f>(b, c, d, a, x[3], 0xc1bdceeeu, 22);
    step<f>(a, b, c, d, x[4], 0xf57c0fafu, 7);   step<f>(d, a, b, c, x[5], 0x4787c62au, 12);
    step<f>(c, d, a, b, x[6], 0xa8304613u, 17);  step<f>(b, c, d, a, x[7], 0xfd469501u, 22);
    step<f>(a, b, c, d, x[8], 0x698098d8u, 7);   step<f>(d, a, b, c, x[9], 0x8b44f7afu, 12);
    step<f>(c, d, a, b, x[10], 0xffff5bb1u, 17); step<f>(b, c, d, a, x[11], 0x895cd7beu, 22);
    step<f>(a, b, c, d, x[12], 0x6b901122u, 7);  step<f>(d, a, b, c, x[13], 0xfd987193u, 12);
    step<f>(c, d, a, b, x[14], 0xa679438eu, 17); step<f>(b, c, d, a, x[15], 0x49b40821u, 22);

    step<g>(a, b, c, d, x[1], 0xf61e2562u, 5);   step<g>(d, a, b, c, x[6], 0xc040b340u, 9);
    step<g>(c, d, a, b, x[11], 0x265e5a51u, 14); step<g>(b, c, d, a, x[0], 0xe9b6c7aau, 20);
    step<g>(a, b, c, d, x[5], 0xd62f105du, 5);   step<g>(d, a, b, c, x[10], 0x02441453u, 9);
    step<g>(c, d, a, b, x[15], 0xd8a1e681u, 14); step<g>(b, c, d, a, x[4], 0xe7d3fbc8u, 20);
    step<g>(a, b, c, d, x[9], 0x21e1cde6u, 5);   step<g>(d, a, b, c, x[14], 0xc33707d6u, 9);
    step<g>(c, d, a, b, x[3], 0xf4d50d87u, 14);  step<g>(b, c, d, a, x[8], 0x455a14edu, 20);
    step<g>(a, b, c, d, x[13], 0xa9e3e905u, 5);  step<g>(d, a, b, c, x[2], 0xfcefa3f8u, 9);
    step<g>(c, d, a, b, x[7], 0x676f02d9u, 14);  step<g>(b, c, d, a, x[12], 0x8d2a4c8au, 20);

    step<h>(a, b, c, d, x[5], 0xfffa3942u, 4);   step<h>(d, a, b, c, x[8], 0x8771f681u, 11);
    step<h>(c, d, a, b, x[11], 0x6d9d6122u, 16); step<h>(b, c, d, a, x[14], 0xfde5380cu, 23);
    step<h>(a, b, c, d, x[1], 0xa4beea44u, 4);   step<h>(d, a, b, c, x[4], 0x4bdecfa9u, 11);
    step<h>(c, d, a, b, x[7], 0xf6bb4b60u, 16);  step<h>(b, c, d, a, x[10], 0xbebfbc70u, 23);
    step<h>(a, b, c, d, x[13], 0x289b7ec6u, 4);  step<h>(d, a, b, c, x[0], 0xeaa127fau, 11);
    step<h>(c, d, a, b, x[3], 0xd4ef3085u, 16);  step<h>(b, c, d, a, x[6], 0x04881d05u, 23);
    step<h>(a, b, c, d, x[9], 0xd9d4d039u, 4);   step<h>(d, a, b, c, x[12], 0xe6db99e5u, 11);
    step<h>(c, d, a, b, x[15], 0x1fa27cf8u, 16); step<h>(b, c, d, a, x[2], 0xc4ac5665u, 23);

    step<i>(a, b, c, d, x[0], 0xf4292244u, 6);   step<i>(d, a, b, c, x[7], 0x432aff97u, 10);
    step<i>(c, d, a, b, x[14], 0xab9423a7u, 15); step<i>(b, c, d, a, x[5], 0xfc93a039u, 21);
    step<i>(a, b, c, d, x[12], 0x655b59c3u, 6);  step<i>(d, a, b, c, x[3], 0x8f0ccc92u, 10);
    step<i>(c, d, a, b, x[10], 0xffeff47du, 15); step<i>(b, c, d, a, x[1], 0x85845dd1u, 21);
    step<i>(a, b, c, d, x[8], 0x6fa87e4fu, 6);   step<i>(d, a, b, c, x[15], 0xfe2ce6e0u, 10);
    step<i>(c, d, a, b, x[6], 0xa3014314u, 15);  step<i>(b, c, d, a, x[13], 0x4e0811a1u, 21);
    step<i>(a, b, c, d, x[4], 0xf7537e82u, 6);   step<i>(d, a, b, c, x[11], 0xbd3af235u, 10);
    step<i>(c, d, a, b, x[2], 0x2ad7d2bbu, 15);  step<i>(b, c, d, a, x[9], 0xeb86d391u, 21);
    // clang-format on

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
  }
}

void Md5::init(Md5& ctx) noexcept {
  ctx.count = 0;
  ctx.a = kInit[0];
  ctx.b = kInit[1];
  ctx.c = kInit[2];
  ctx.d = kInit[3];
}

void Md5::update(Md5& ctx, const void* data, std::size_t size) noexcept {
  std::uint32_t state[4] = {ctx.a, ctx.b, ctx.c, ctx.d};
  feed(state, ctx.buffer, ctx.count, static_cast<const std::uint8_t*>(data), size);
  ctx.a = state[0];
  ctx.b = state[1];
  ctx.c = state[2];
  ctx.d = state[3];
}

const std::uint8_t* Md5::transform(Md5& ctx, const std::uint8_t* data, std::size_t size) noexcept {
  std::uint32_t state[4] = {ctx.a, ctx.b, ctx.c, ctx.d};
  md5Compress(state, data, size / 64);
  ctx.a = state[0];
  ctx.b = state[1];
  ctx.c = state[2];
  ctx.d = state[3];
  return data + size / 64 * 64;
}

void Md5::final(std::uint8_t result[16], Md5& ctx) noexcept {
  std::uint32_t state[4] = {ctx.a, ctx.b, ctx.c, ctx.d};
  pad(state, ctx.buffer, ctx.count);
  for (int k = 0; k < 4; ++k) store32(result + 4 * k, state[k]);
  std::memset(&ctx, 0, sizeof ctx);
}

std::string Md5::hexDigest(Md5& ctx, bool uppercase) {
  std::uint8_t digest[16];
  final(digest, ctx);
  const char* digits = uppercase ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text(32, '0');
  for (int k = 0; k < 16; ++k) {
    text[2 * k] = digits[digest[k] >> 4];
    text[2 * k + 1] = digits[digest[k] & 0x0f];
  }
  return text;
}

Md5Hash::Md5Hash(const std::string& data) : state_{kInit[0], kInit[1], kInit[2], kInit[3]} {
  update(data.data(), data.size());
}

void Md5Hash::update(const void* data, std::uint64_t length) noexcept {
  feed(state_, buffer_, count_, static_cast<const std::uint8_t*>(data), std::size_t(length));
}

void Md5Hash::transform(const std::uint8_t block[64]) noexcept { md5Compress(state_, block, 1); }

const std::uint8_t* Md5Hash::digest() noexcept {
  // Padding a copy leaves the running hash as it was, so more data may still be fed.
  std::uint32_t state[4] = {state_[0], state_[1], state_[2], state_[3]};
  std::uint8_t buffer[64];
  std::memcpy(buffer, buffer_, sizeof buffer);
  pad(state, buffer, count_);
  for (int k = 0; k < 4; ++k) store32(digest_ + 4 * k, state[k]);
  return digest_;
}

}  // namespace velmora::internal
