// What the managed event and motion tests need of the simulator beyond replies: pushed
// notifications, dropped links, requests sent later by the library's own threads, and the finish
// of queued motion.

#include <json/value.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "native/abi_core.h"
#include "testsim/testsim_sim.h"
#include "testsim/velmora_testsim.h"
#include "velmora_sim/motion_responder.h"
#include "velmora_sim/wire.h"

using namespace velmora::internal;

extern "C" {

int32_t vts_sim_publish(vts_sim* sim, const char* topics, int32_t* delivered) noexcept {
  return abiCall([&] {
    Json::Value value;
    if (!velmora_sim::parseJson(textArg(topics), value) || !value.isObject()) {
      throw std::invalid_argument("topics are not a JSON object: " + textArg(topics));
    }
    const int n = simOf(sim).command().publish(value);
    if (delivered != nullptr) *delivered = n;
  });
}

int32_t vts_sim_drop_connections(vts_sim* sim) noexcept {
  return abiCall([&] { simOf(sim).command().dropConnections(); });
}

int32_t vts_sim_wait_request(vts_sim* sim, const char* key, int32_t nth, int32_t timeout_ms,
                             vel_buf** payload) noexcept {
  return abiCall([&] {
    required(payload, "payload");
    const auto found = simOf(sim).command().log().waitFor(textArg(key), std::chrono::milliseconds(timeout_ms),
                                                          static_cast<std::size_t>(nth < 1 ? 1 : nth));
    std::string text;
    if (found) {
      text = velmora_sim::frame(found->payload);
      text.pop_back();
    }
    putBuffer(payload, std::move(text));
  });
}

int32_t vts_sim_clear_log(vts_sim* sim) noexcept {
  return abiCall([&] { simOf(sim).command().log().clear(); });
}

int32_t vts_sim_finish_motion(vts_sim* sim, int32_t* finished) noexcept {
  return abiCall([&] {
    const int n = simOf(sim).motion().finishPending();
    if (finished != nullptr) *finished = n;
  });
}

}  // extern "C"
