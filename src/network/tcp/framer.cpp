#include "network/tcp/framer.h"

#include <algorithm>
#include <cstring>

namespace velmora::internal {

DelimiterFramer::DelimiterFramer(char delimiter, std::size_t cap)
    : delimiter_(delimiter), cap_(cap == 0 ? 1 : cap), buffer_(kInitialBuffer) {}

std::pair<char*, std::size_t> DelimiterFramer::prepare() {
  if (begin_ > 0) {
    // Move the partial message to the front so the buffer never grows past one message plus
    // one read.
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    scanned_ -= begin_;
    begin_ = 0;
  }
  if (buffer_.size() - end_ < kInitialBuffer / 2) {
    buffer_.resize(std::max(buffer_.size() * 2, end_ + kInitialBuffer));
  }
  return {buffer_.data() + end_, buffer_.size() - end_};
}

FrameStatus DelimiterFramer::commit(std::size_t count, MessageSink& sink) {
  end_ += std::min(count, buffer_.size() - end_);
  const char* base = buffer_.data();
  while (scanned_ < end_) {
    const void* hit = std::memchr(base + scanned_, delimiter_, end_ - scanned_);
    if (hit == nullptr) break;
    const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(hit) - base) + 1;
    if (stop - begin_ > cap_) return FrameStatus::overflow;
    const std::string_view message(base + begin_, stop - begin_);
    begin_ = scanned_ = stop;
    if (!sink.onMessage(message)) return FrameStatus::stopped;
  }
  scanned_ = end_;
  // A partial message of `cap` bytes can only end beyond the cap.
  if (end_ - begin_ >= cap_) return FrameStatus::overflow;
  if (begin_ == end_) begin_ = scanned_ = end_ = 0;
  return FrameStatus::ok;
}

void DelimiterFramer::reset() noexcept {
  begin_ = scanned_ = end_ = 0;
  if (buffer_.size() > 64 * kInitialBuffer) {
    // Give back what one huge message took.
    try {
      std::vector<char>(kInitialBuffer).swap(buffer_);
    } catch (...) {
      // Keeping the large buffer is harmless.
    }
  }
}

FrameStatus DelimiterFramer::feed(std::string_view bytes, MessageSink& sink) {
  FrameStatus status = FrameStatus::ok;
  while (!bytes.empty()) {
    auto [room, size] = prepare();
    const std::size_t n = std::min(size, bytes.size());
    std::memcpy(room, bytes.data(), n);
    bytes.remove_prefix(n);
    status = commit(n, sink);
    if (status != FrameStatus::ok) return status;
  }
  return status;
}

RecordFramer::RecordFramer() : buffer_(kBuffer) {}

std::pair<char*, std::size_t> RecordFramer::prepare() { return {buffer_.data(), buffer_.size()}; }

FrameStatus RecordFramer::commit(std::size_t count, MessageSink& sink) {
  count = std::min(count, buffer_.size());
  char* base = buffer_.data();
  // Body bytes move down over the headers in place, so one read costs one pass and no copy.
  std::size_t out = 0;
  std::size_t in = 0;
  while (in < count) {
    if (remaining_ == 0) {
      const unsigned byte = static_cast<unsigned char>(base[in++]);
      if (headerBytes_ == 0) {
        headerHigh_ = byte;
        headerBytes_ = 1;
      } else {
        remaining_ = (headerHigh_ << 8) | byte;
        headerBytes_ = 0;
      }
      continue;
    }
    const std::size_t n = std::min(remaining_, count - in);
    if (out != in) std::memmove(base + out, base + in, n);
    out += n;
    in += n;
    remaining_ -= n;
  }
  if (out > 0 && !sink.onMessage(std::string_view(base, out))) return FrameStatus::stopped;
  return FrameStatus::ok;
}

void RecordFramer::reset() noexcept { remaining_ = headerBytes_ = headerHigh_ = 0; }

FrameStatus RecordFramer::feed(std::string_view bytes, MessageSink& sink) {
  while (!bytes.empty()) {
    auto [room, size] = prepare();
    const std::size_t n = std::min(size, bytes.size());
    std::memcpy(room, bytes.data(), n);
    bytes.remove_prefix(n);
    const FrameStatus status = commit(n, sink);
    if (status != FrameStatus::ok) return status;
  }
  return FrameStatus::ok;
}

}  // namespace velmora::internal
