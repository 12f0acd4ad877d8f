#include "support/process_stats.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

// Entries of `directory`, or only those `keep` accepts.
int countEntries(const char* directory, bool (*keep)(const std::filesystem::path&) = nullptr) {
  int n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(directory, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    if (keep == nullptr || keep(it->path())) ++n;
  }
  return n;
}

bool isSocket(const std::filesystem::path& fd) {
  std::error_code unreadable;
  return std::filesystem::read_symlink(fd, unreadable).native().rfind("socket:", 0) == 0;
}

}  // namespace

// The iterator's own descriptor is open while counting; it is the same in every count.
int openFdCount() { return countEntries("/proc/self/fd"); }

int openSocketCount() { return countEntries("/proc/self/fd", isSocket); }

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
