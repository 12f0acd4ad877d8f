// What the managed robot tests script beyond replies: the controller's identity and log, and
// the request wait of the library's links.

#include <json/value.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "native/abi_core.h"
#include "network/xservice/link_settings.h"
#include "testsim/testsim_sim.h"
#include "testsim/velmora_testsim.h"
#include "velmora_sim/wire.h"

using namespace velmora::internal;

namespace {

Json::Value parsed(const char* json) {
  Json::Value value;
  if (!velmora_sim::parseJson(textArg(json), value)) throw std::invalid_argument("not JSON: " + textArg(json));
  return value;
}

// Test input: a member of the wrong kind throws, which the export reports.
void take(const Json::Value& object, const char* name, std::string& out) {
  if (object.isMember(name)) out = object[name].asString();
}

void take(const Json::Value& object, const char* name, int& out) {
  if (object.isMember(name)) out = object[name].asInt();
}

}  // namespace

extern "C" {

int32_t vts_sim_set_info(vts_sim* sim, const char* json) noexcept {
  return abiCall([&] {
    const Json::Value fields = parsed(json);
    if (!fields.isObject()) throw std::invalid_argument("info is not an object");
    velmora_sim::ControllerInfo info;
    take(fields, "id", info.id);
    take(fields, "mac", info.mac);
    take(fields, "version", info.version);
    take(fields, "type", info.type);
    take(fields, "joint_num", info.jointCount);
    take(fields, "work_type", info.workType);
    simOf(sim).setInfo(info);
  });
}

int32_t vts_sim_set_log(vts_sim* sim, const char* json) noexcept {
  return abiCall([&] {
    const Json::Value list = parsed(json);
    if (!list.isArray()) throw std::invalid_argument("log is not a list");
    std::vector<velmora_sim::ControllerLogEntry> entries;
    for (const Json::Value& item : list) {
      velmora_sim::ControllerLogEntry entry;
      take(item, "err_code", entry.errorCode);
      take(item, "time", entry.time);
      take(item, "content", entry.content);
      take(item, "repair", entry.repair);
      take(item, "level", entry.level);
      entries.push_back(std::move(entry));
    }
    simOf(sim).system().setLog(std::move(entries));
  });
}

int32_t vts_set_request_wait(int32_t ms, int32_t* previous_ms) noexcept {
  return abiCall([&] {
    if (ms <= 0) throw std::invalid_argument("request wait must be positive");
    const auto old = linkSettings().defaultRequestWait.exchange(std::chrono::milliseconds(ms));
    if (previous_ms != nullptr) *previous_ms = static_cast<int32_t>(old.count());
  });
}

}  // extern "C"
