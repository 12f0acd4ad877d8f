// Whatever the controller sends as a motion message goes through motion control's processing
// exactly as on its notification worker: replies to queued requests and last-error reports of
// any shape. Nothing may escape or crash, the in-flight count stays within what was sent (here
// nothing), and the execution information keeps its six entries of their fixed types.
#include <velmora/error.h>

#include <json/reader.h>

#include <any>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "common/logging.h"
#include "fuzz_support.h"
#include "motion_control/motion_report.h"
#include "motion_control/motion_runtime.h"

namespace {

using velmora::internal::MotionRuntime;

MotionRuntime& runtime() {
  static MotionRuntime* rt = [] {
    // One "Notified" line per report would only fill the disk.
    velmora::internal::globalLogger()->set_level(spdlog::level::warn);
    auto* r = new MotionRuntime(std::make_shared<velmora::internal::XService>());  // never connected
    r->setExecutionInfoCallback([](const velmora::EventInfo& info) {
      if (info.size() != 6) std::abort();
    });
    return r;
  }();
  return *rt;
}

template <typename T>
void expectType(const velmora::EventInfo& info, const char* key) {
  const auto it = info.find(key);
  if (it == info.end() || std::any_cast<T>(&it->second) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MotionRuntime& rt = runtime();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  while (!input.empty()) {
    const auto cr = input.find('\r');
    const std::string_view text = input.substr(0, cr);
    input = cr == std::string_view::npos ? std::string_view() : input.substr(cr + 1);
    Json::Value message;
    if (!fuzz::parseJson(text.data(), text.data() + text.size(), message)) continue;
    velmora::internal::interpretMotionMessage(message);
    rt.processMessage(message);
  }
  if (rt.inFlight.load() != 0 || rt.queuedCommands() != 0) std::abort();
  const velmora::EventInfo info = rt.executionInfoCopy();
  if (info.size() != 6) std::abort();
  expectType<std::string>(info, "cmdID");
  expectType<bool>(info, "reachTarget");
  expectType<int>(info, "wayPointIndex");
  expectType<std::error_code>(info, "error");
  expectType<std::string>(info, "remark");
  expectType<std::string>(info, "customInfo");
  return 0;
}
