#include "support/process_stats.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

int countEntries(const char* directory) {
  int n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(directory, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    ++n;
  }
  return n;
}

}  // namespace

// The iterator's own descriptor is open while counting; it is the same in every count.
int openFdCount() { return countEntries("/proc/self/fd"); }

int openSocketCount() {
  int n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::error_code unreadable;
    if (std::filesystem::read_symlink(it->path(), unreadable).native().rfind("socket:", 0) == 0) ++n;
  }
  return n;
}

int threadCount() { return countEntries("/proc/self/task"); }

long residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
