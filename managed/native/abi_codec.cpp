#include "native/abi_codec.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace velmora::internal {

namespace {

template <class T>
void putLittle(std::string& out, T value) {
  char bytes[sizeof(T)];
  for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  out.append(bytes, sizeof(T));
}

template <class T>
T getLittle(const std::uint8_t* p) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(static_cast<T>(p[i]) << (8 * i));
  return value;
}

[[noreturn]] void malformed(const char* what) { throw std::invalid_argument(std::string("malformed record: ") + what); }

}  // namespace

void BlobWriter::u8(std::uint8_t value) { out_.push_back(static_cast<char>(value)); }
void BlobWriter::u16(std::uint16_t value) { putLittle(out_, value); }
void BlobWriter::i32(std::int32_t value) { putLittle(out_, static_cast<std::uint32_t>(value)); }
void BlobWriter::u32(std::uint32_t value) { putLittle(out_, value); }

void BlobWriter::f64(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  putLittle(out_, bits);
}

void BlobWriter::count(std::size_t n) {
  if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("record list too long for the managed layer");
  }
  i32(static_cast<std::int32_t>(n));
}

void BlobWriter::text(std::string_view value) {
  count(value.size());
  out_.append(value.data(), value.size());
}

void BlobWriter::raw(const void* data, std::size_t size) { out_.append(static_cast<const char*>(data), size); }

BlobReader::BlobReader(const std::uint8_t* data, std::int64_t size)
    : data_(data), size_(size > 0 ? static_cast<std::size_t>(size) : 0) {
  if (size < 0 || (data == nullptr && size != 0)) malformed("bad buffer");
}

const std::uint8_t* BlobReader::take(std::size_t n) {
  if (n > remaining()) malformed("too short");
  const std::uint8_t* p = data_ + pos_;
  pos_ += n;
  return p;
}

std::uint8_t BlobReader::u8() { return *take(1); }
std::uint16_t BlobReader::u16() { return getLittle<std::uint16_t>(take(2)); }
std::int32_t BlobReader::i32() { return static_cast<std::int32_t>(getLittle<std::uint32_t>(take(4))); }
std::uint32_t BlobReader::u32() { return getLittle<std::uint32_t>(take(4)); }

double BlobReader::f64() {
  const std::uint64_t bits = getLittle<std::uint64_t>(take(8));
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::size_t BlobReader::count(std::size_t minElementSize) {
  const std::int32_t n = i32();
  if (n < 0) malformed("negative count");
  const auto elements = static_cast<std::size_t>(n);
  if (minElementSize > 0 && elements > remaining() / minElementSize) malformed("count too large");
  return elements;
}

std::string BlobReader::text() {
  const std::size_t n = count(1);
  if (n == 0) return {};
  const std::uint8_t* p = take(n);
  return std::string(reinterpret_cast<const char*>(p), n);
}

void BlobReader::raw(void* out, std::size_t size) {
  if (size == 0) return;  // memcpy from a null blob is undefined even for no bytes
  std::memcpy(out, take(size), size);
}

void BlobReader::finish() const {
  if (remaining() != 0) malformed("bytes left over");
}

}  // namespace velmora::internal
