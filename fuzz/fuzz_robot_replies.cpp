// Replies to the shared robot requests (tool and work-object lists, registers) are untrusted:
// any JSON must go through the readers without an exception, a crash or undefined behaviour,
// and a reader that fails leaves a code and no half-read result.
#include <json/reader.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "robot/register_operations.h"
#include "robot/tool_operations.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

using fuzz::require;

void listReader(const Json::Value& reply, const std::string& kind) {
  std::error_code ec;
  std::vector<WorkToolInfo> list(1);
  const bool read = readWorkToolList(reply, kind, list, ec);
  require(read != static_cast<bool>(ec));
  require(read || list.size() == 1);
}

void registerReader(const Json::Value& reply, const std::string& key) {
  std::error_code ec;
  Json::Value values = "stale";
  const bool read = readRegisterReply(reply, key, values, ec);
  require(read ? !ec && !values.isNull() : values.isNull());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Json::Value reply;
  const char* text = reinterpret_cast<const char*>(data);
  if (!fuzz::parseJson(text, text + size, reply)) return 0;
  listReader(reply, "tool");
  listReader(reply, "wobj");
  registerReader(reply, "R");
  registerReader(reply, "R.#1");
  return 0;
}
