#pragma once
// The simulator handle of the test-only C interface, shared by its files.

#include <memory>

#include "native/abi_core.h"
#include "velmora_sim/simulator.h"

struct vts_sim final : velmora::internal::LiveHandle {
  std::unique_ptr<velmora_sim::Simulator> sim;
};

/// The simulator behind a handle; a null handle is refused.
inline velmora_sim::Simulator& simOf(vts_sim* handle) { return *velmora::internal::required(handle, "sim").sim; }
