#pragma once
// Resources of the test process, to show that nothing is left behind.

#include <chrono>
#include <functional>

/// Open file descriptors (entries of /proc/self/fd).
int openFdCount();
/// Of those, the sockets.
int openSocketCount();
/// Threads of the process (entries of /proc/self/task).
int threadCount();
/// Resident memory of the process in KiB (VmRSS), -1 when it cannot be read.
long residentKiB();

/// Polls `condition` every millisecond until it holds or `timeout` passes.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
