#pragma once
// Links built for a test with a request wait shorter than the controller's.

#include <chrono>

#include "network/xservice/link_options.h"

inline velmora::internal::LinkOptions withRequestWait(std::chrono::milliseconds wait) {
  velmora::internal::LinkOptions options;
  options.requestWait = wait;
  return options;
}
