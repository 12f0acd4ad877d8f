// The framing step sees whatever the network delivers, cut at arbitrary read boundaries: every
// byte must come out once, in order, in messages that end at a carriage return and respect the
// cap; anything longer must be reported, never buffered without bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "network/tcp/framer.h"

namespace {

struct Collect final : velmora::internal::MessageSink {
  std::string joined;
  std::size_t cap = 0;
  bool onMessage(std::string_view message) override {
    if (message.empty() || message.back() != '\r' || message.size() > cap) std::abort();
    if (message.substr(0, message.size() - 1).find('\r') != std::string_view::npos) std::abort();
    joined.append(message);
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte picks a small cap, the second the read size, so both limits are reached.
  const std::size_t cap = 1 + data[0] % 64;
  const std::size_t chunk = 1 + data[1] % 97;
  const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
  velmora::internal::DelimiterFramer framer('\r', cap);
  Collect sink;
  sink.cap = cap;
  std::size_t offset = 0;
  auto status = velmora::internal::FrameStatus::ok;
  while (offset < input.size() && status == velmora::internal::FrameStatus::ok) {
    const auto piece = input.substr(offset, chunk);
    offset += piece.size();
    status = framer.feed(piece, sink);
    if (framer.pending() > cap + chunk) std::abort();
  }
  if (input.substr(0, sink.joined.size()) != sink.joined) std::abort();
  if (status == velmora::internal::FrameStatus::ok && sink.joined.size() + framer.pending() != input.size())
    std::abort();
  return 0;
}
