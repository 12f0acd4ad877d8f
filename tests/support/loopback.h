#pragma once
#include <string>

// A loopback address of its own for the running test (127.x.y.z, never 127.0.0.x), derived from
// the test's full name, so tests bound to the controller's fixed ports run in parallel.
std::string testLoopbackAddress();
