#pragma once
// The one small codec of the flat C interface: records of variable size cross as little-endian
// blobs. Layout: integers and doubles in little-endian order at their natural width, flags as
// one byte, a text as an int32 byte count and its UTF-8 bytes, a list as an int32 element count
// and its elements. The managed side (velmora.clr's BlobReader/BlobWriter) mirrors it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace velmora::internal {

class BlobWriter {
 public:
  void u8(std::uint8_t value);
  void flag(bool value) { u8(value ? 1 : 0); }
  void u16(std::uint16_t value);
  void i32(std::int32_t value);
  void u32(std::uint32_t value);
  void f64(double value);
  /// An element count; a size beyond int32 is refused with std::length_error.
  void count(std::size_t n);
  void text(std::string_view value);
  void raw(const void* data, std::size_t size);

  const std::string& bytes() const noexcept { return out_; }
  std::string take() noexcept { return std::move(out_); }

 private:
  std::string out_;
};

/// Reads a blob from the managed side. Reading past its end, a negative count or a count that
/// the remaining bytes cannot hold throws std::invalid_argument ("malformed record"), so a
/// faulty blob never reads out of bounds or allocates without limit.
class BlobReader {
 public:
  BlobReader(const std::uint8_t* data, std::int64_t size);

  std::uint8_t u8();
  bool flag() { return u8() != 0; }
  std::uint16_t u16();
  std::int32_t i32();
  std::uint32_t u32();
  double f64();
  /// An element count whose elements take at least `minElementSize` bytes each.
  std::size_t count(std::size_t minElementSize);
  std::string text();
  void raw(void* out, std::size_t size);

  std::size_t remaining() const noexcept { return size_ - pos_; }
  /// Refuses bytes left over: a blob holds exactly one record.
  void finish() const;

 private:
  const std::uint8_t* take(std::size_t n);

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace velmora::internal
