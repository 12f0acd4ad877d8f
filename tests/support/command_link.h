#pragma once
// A command link of the library connected to the test's simulator, as a robot holds it.

#include <memory>
#include <string>

#include "network/xservice/xservice.h"

/// A link built with `options`, started against `address`:6666; fails the test (and returns it
/// unconnected) when it does not start.
std::shared_ptr<velmora::internal::XService> connectedLink(const std::string& address,
                                                           const velmora::internal::LinkOptions& options = {});
