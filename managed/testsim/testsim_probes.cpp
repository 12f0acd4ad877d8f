// Probes of the library's own state for the tests. They live here, outside the shipped library,
// and reach that state because libvelmora_testsim.so and the native test programs are linked
// from the library's own object files.

#include <algorithm>
#include <chrono>

#include "native/abi_core.h"
#include "native/callback_gate.h"
#include "testsim/velmora_testsim.h"

using namespace velmora::internal;

extern "C" {

int32_t vts_live_handles(int64_t* count) noexcept {
  return abiCall([&] { required(count, "count") = LiveHandle::live(); });
}

int32_t vts_callbacks_wait_idle(int32_t timeout_ms, uint8_t* idle) noexcept {
  return abiCall([&] {
    const bool done = waitIdle(std::chrono::milliseconds(std::max(timeout_ms, 0)));
    if (idle != nullptr) *idle = done ? 1 : 0;
  });
}

}  // extern "C"
