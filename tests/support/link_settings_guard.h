#pragma once
// Shortens the file link's verdict timeout for one test and restores it afterwards.

#include <chrono>

#include "network/link_settings.h"

class VerdictTimeoutGuard {
 public:
  explicit VerdictTimeoutGuard(std::chrono::milliseconds timeout)
      : saved_(velmora::internal::linkSettings().fileVerdictTimeout.load()) {
    velmora::internal::linkSettings().fileVerdictTimeout = timeout;
  }
  ~VerdictTimeoutGuard() { velmora::internal::linkSettings().fileVerdictTimeout = saved_; }
  VerdictTimeoutGuard(const VerdictTimeoutGuard&) = delete;
  VerdictTimeoutGuard& operator=(const VerdictTimeoutGuard&) = delete;

 private:
  std::chrono::milliseconds saved_;
};
