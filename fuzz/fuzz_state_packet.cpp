// The state packet decoder under any subscription and any bytes: it must decode, raise the
// motion error or refuse the subscription, and never read outside the packet.

#include <velmora/exception.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "network/state_stream/data_receiver.h"
#include "network/state_stream/rt_field.h"

namespace {

// Every state name, the two leading ones again (they may be requested twice), names that no
// state table holds, and a bad spelling.
const std::vector<std::string>& candidateNames() {
  static const std::vector<std::string> names = [] {
    std::set<std::string> all;
    for (const auto& entry : velmora::internal::rtStateFields7()) all.insert(entry.first);
    std::vector<std::string> list(all.begin(), all.end());
    for (const char* extra : {"psi_valid", "control_byte", "Q_M", ""}) list.emplace_back(extra);
    return list;
  }();
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Header: axis count, then one bit per candidate name.
  const std::vector<std::string>& names = candidateNames();
  const std::size_t maskBytes = (names.size() + 7) / 8;
  if (size < 1 + maskBytes) return 0;
  const auto axes = static_cast<std::uint16_t>(data[0] % 9);
  std::set<std::string> requested;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (data[1 + i / 8] & (1u << (i % 8))) requested.insert(names[i]);
  }
  data += 1 + maskBytes;
  size -= 1 + maskBytes;

  static velmora::internal::DataReceiver receiver;
  if (receiver.setRecipe(requested, axes) != 0) return 0;
  // Straight decode of the whole input, and the bare decoder on every cut of it.
  try {
    receiver.decode(data, size);
  } catch (const velmora::RealtimeControlException&) {
  }
  auto recipe = velmora::internal::makeRtRecipe(requested, axes);
  if (!recipe || recipe->packetSize != receiver.packetSize()) __builtin_trap();
  try {
    velmora::internal::decodeRtPacket(*recipe, data, size);
  } catch (const velmora::RealtimeControlException&) {
  } catch (const std::runtime_error&) {
    if (size >= recipe->packetSize) __builtin_trap();
  }
  return 0;
}
