// What the managed extension tests need of the simulator: its kinematics, force controller and
// EtherCAT bus, the connections it holds, and an upgrade service of its own.

#include <json/value.h>

#include <memory>
#include <string>

#include "native/abi_core.h"
#include "testsim/testsim_sim.h"
#include "testsim/velmora_testsim.h"
#include "velmora_sim/ethercat_bus.h"
#include "velmora_sim/force_control_model.h"
#include "velmora_sim/model_identity.h"
#include "velmora_sim/wire.h"

using namespace velmora::internal;

struct vts_upgrade_sim final : LiveHandle {
  std::unique_ptr<velmora_sim::Simulator> sim;
};

extern "C" {

int32_t vts_sim_install_extensions(vts_sim* sim, int32_t axes, const uint8_t* slave_addrs, int32_t slaves) noexcept {
  return abiCall([&] {
    auto& s = simOf(sim);
    velmora_sim::IdentityModel(axes).install(s.command());
    if (axes >= 5) velmora_sim::ForceControlModel(axes).install(s.command());
    velmora_sim::EthercatBus bus;
    for (int32_t i = 0; slave_addrs != nullptr && i < slaves; ++i) {
      velmora_sim::SimSlave slave;
      slave.addr = slave_addrs[i];
      slave.slaveId = 100u + slave_addrs[i];
      slave.vendorId = 0x1234u;
      slave.productCode = 0x10000u + slave_addrs[i];
      slave.reversionNumber = 7;
      slave.name = "从站-" + std::to_string(slave_addrs[i]);
      bus.addSlave(std::move(slave));
    }
    bus.install(s.command());
  });
}

int32_t vts_sim_open_connections(vts_sim* sim, int32_t* count) noexcept {
  return abiCall([&] { required(count, "count") = simOf(sim).command().openConnections(); });
}

int32_t vts_upgrade_sim_start(const char* address, vts_upgrade_sim** sim) noexcept {
  return abiCall([&] {
    auto& out = required(sim, "sim");
    auto handle = std::make_unique<vts_upgrade_sim>();
    velmora_sim::SimulatorOptions options;
    options.address = textArg(address);
    options.commandPort = 0;
    options.filePort = 0;
    options.rtPort = 0;
    options.upgradeService = true;
    handle->sim = std::make_unique<velmora_sim::Simulator>(options);
    out = handle.release();
  });
}

int32_t vts_upgrade_sim_stop(vts_upgrade_sim* sim) noexcept {
  return abiCall([&] { delete sim; });
}

int32_t vts_upgrade_sim_set_backup(vts_upgrade_sim* sim, const char* file) noexcept {
  return abiCall([&] { required(sim, "sim").sim->upgrade().setBackupFile(textArg(file)); });
}

int32_t vts_upgrade_sim_frames(vts_upgrade_sim* sim, vel_buf** json) noexcept {
  return abiCall([&] {
    required(json, "json");
    Json::Value list(Json::arrayValue);
    for (const auto& frame : required(sim, "sim").sim->upgrade().received()) {
      Json::Value item;
      item["type"] = static_cast<int>(frame.type);
      item["json"] = frame.json;
      item["name"] = frame.name;
      item["digest_matches"] = frame.digestMatches;
      item["file"] = std::string(frame.type == 1 ? frame.file() : std::string_view());
      list.append(item);
    }
    std::string text = velmora_sim::frame(list);
    text.pop_back();
    putBuffer(json, std::move(text));
  });
}

}  // extern "C"
