#pragma once
// MD5 digests (RFC 1321) in the two forms the library uses: a start/feed/finish context for
// the file transfer's hex digest and an object that the upgrade client feeds and reads the raw
// digest from. Both run over one compression function. Counts and offsets are 64-bit, so inputs
// of 4 GiB and more give the right digest.

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora::internal {

/// The compression function: runs `blocks` 64-byte blocks of `data` (any alignment) into
/// `state` (a, b, c, d).
void md5Compress(std::uint32_t state[4], const std::uint8_t* data, std::size_t blocks) noexcept;

/// A plain MD5 context: `init`, any number of `update` calls, then `final` or `hexDigest`.
struct Md5 {
  std::uint64_t count;  ///< bytes fed so far
  std::uint32_t a, b, c, d;
  std::uint8_t buffer[64];  ///< bytes of the block not yet complete

  /// State to the RFC 1321 initial values; count 0.
  static void init(Md5& ctx) noexcept;
  /// Feeds `size` bytes; may be called repeatedly.
  static void update(Md5& ctx, const void* data, std::size_t size) noexcept;
  /// Compresses `size` bytes (a positive multiple of 64) into the state; returns the pointer
  /// just past the last block.
  static const std::uint8_t* transform(Md5& ctx, const std::uint8_t* data, std::size_t size) noexcept;
  /// Pads, writes the 16 digest bytes into `result` and zeroes the whole context (start it
  /// again with `init` before reuse).
  static void final(std::uint8_t result[16], Md5& ctx) noexcept;
  /// `final`, then the digest as 32 hexadecimal digits, capitals when `uppercase`.
  static std::string hexDigest(Md5& ctx, bool uppercase);
};

/// A running MD5 hash built from a byte string; `digest` reads the digest without disturbing
/// the running hash, so more data may follow.
class Md5Hash {
 public:
  explicit Md5Hash(const std::string& data);

  /// Feeds `length` bytes.
  void update(const void* data, std::uint64_t length) noexcept;
  /// The compression of one 64-byte block into the running state.
  void transform(const std::uint8_t block[64]) noexcept;
  /// The 16 digest bytes of everything fed so far. The pointer stays valid while the object
  /// lives; it is overwritten by the next call.
  const std::uint8_t* digest() noexcept;

 private:
  std::uint32_t state_[4];
  std::uint64_t count_ = 0;  ///< bytes fed so far
  std::uint8_t buffer_[64] = {};
  std::uint8_t digest_[16] = {};
};

}  // namespace velmora::internal
