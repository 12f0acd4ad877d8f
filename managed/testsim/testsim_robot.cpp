// What the managed robot tests script beyond replies: the controller's identity and log, and
// robots whose links wait for replies other than the controller's default.

#include <json/value.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "native/abi_core.h"
#include "native/robot_handle.h"
#include "network/xservice/link_options.h"
#include "robot_impl/robot_assembly.h"
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

int32_t vts_robot_create(int32_t kind, int32_t wait_ms, vel_robot** robot, int64_t* id) noexcept {
  return abiCall([&] {
    if (wait_ms <= 0) throw std::invalid_argument("request wait must be positive");
    vel_robot*& out = required(robot, "robot");
    int64_t& idOut = required(id, "id");
    LinkOptions options;
    options.requestWait = std::chrono::milliseconds(wait_ms);
    auto handle = withRobotClass(
        kind, [&](auto tag) { return robotHandle(kind, RobotAssembly::build<typename decltype(tag)::type>(options)); });
    handle->id = newRobotId();
    idOut = handle->id;
    out = handle.release();
  });
}

}  // extern "C"
