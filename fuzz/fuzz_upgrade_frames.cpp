// The upgrade link's receive path sees whatever the service sends, cut at arbitrary reads:
// records are unwrapped into one stream, whose frames are rebuilt under the caller's rules.
// Every record body must come out once and in order; every frame handed out must be the
// stream's own bytes at that place and obey its rule; a refused header must stop the reading,
// never allocate for it or read past a buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "network/tcp/framer.h"
#include "upgrade/upgrade_frames.h"

namespace {

using velmora::internal::FrameReader;
using velmora::internal::FrameRule;
using velmora::internal::FrameState;

struct Join final : velmora::internal::MessageSink {
  std::string joined;
  bool onMessage(std::string_view message) override {
    if (message.empty()) std::abort();
    joined.append(message);
    return true;
  }
};

// The bodies of the records in `wire`, by the plain reading of the format.
std::string bodies(std::string_view wire) {
  std::string out;
  while (wire.size() >= 2) {
    const std::size_t n =
        static_cast<std::size_t>(static_cast<unsigned char>(wire[0])) << 8 | static_cast<unsigned char>(wire[1]);
    wire.remove_prefix(2);
    out.append(wire.substr(0, n));
    wire.remove_prefix(std::min(n, wire.size()));
  }
  return out;
}

bool typeAllowed(const FrameRule& rule, char type) {
  return !rule.type || static_cast<unsigned char>(type) == *rule.type;
}

std::uint64_t lengthAt(std::string_view s) {
  std::uint64_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(s[i]);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::size_t chunk = 1 + data[0] % 97;
  const unsigned ruleBits = data[1];
  const std::size_t cap = 16 + data[2] * 8u;
  const std::string_view wire(reinterpret_cast<const char*>(data) + 3, size - 3);

  velmora::internal::RecordFramer framer;
  Join sink;
  for (std::size_t offset = 0; offset < wire.size(); offset += chunk) {
    if (framer.feed(wire.substr(offset, chunk), sink) != velmora::internal::FrameStatus::ok) std::abort();
  }
  const std::string stream = bodies(wire);
  if (sink.joined != stream) std::abort();

  // Frames of alternating rules, read in chunks of another size.
  const std::size_t part = 1 + (chunk * 31) % 53;
  FrameReader reader;
  unsigned frameIndex = 0;
  const auto ruleFor = [&](unsigned i) {
    // The backup file's rule and the replies' rule, which takes any type byte.
    return (ruleBits >> (i % 8)) & 1 ? FrameRule{1, 21, cap} : FrameRule{std::nullopt, 0, cap};
  };
  FrameRule rule = ruleFor(frameIndex);
  FrameState state = reader.expect(rule);
  std::size_t frameStart = 0;
  std::size_t offset = 0;
  for (;;) {
    if (state == FrameState::complete) {
      const std::string_view frame = std::string_view(stream).substr(frameStart);
      const std::uint64_t p = lengthAt(frame);
      if (!typeAllowed(rule, frame[4]) || p < rule.minPayload || p > rule.maxPayload) std::abort();
      if (reader.payload() != frame.substr(6, p)) std::abort();
      velmora::internal::BackupFile file;
      if (velmora::internal::splitBackupPayload(reader.payload(), file) && file.name.size() > 256) std::abort();
      velmora::internal::parseReplyPayload(reader.payload());
      frameStart += 6 + static_cast<std::size_t>(p);
      rule = ruleFor(++frameIndex);
      state = reader.expect(rule);
      continue;
    }
    if (state != FrameState::waiting) {
      // Refused: the header at frameStart must break the rule.
      const std::string_view frame = std::string_view(stream).substr(frameStart);
      const std::uint64_t p = lengthAt(frame);
      const bool typeOk = typeAllowed(rule, frame[4]);
      if (typeOk == (state == FrameState::wrongType)) std::abort();
      if (typeOk && p >= rule.minPayload && p <= rule.maxPayload) std::abort();
      break;
    }
    if (offset >= stream.size()) break;
    const std::size_t n = std::min(part, stream.size() - offset);
    state = reader.feed(stream.data() + offset, n);
    offset += n;
  }
  return 0;
}
