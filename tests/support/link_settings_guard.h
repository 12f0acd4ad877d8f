#pragma once
// Shortens a link setting for one test and restores it afterwards.

#include <atomic>
#include <chrono>

#include "network/xservice/link_settings.h"

template <std::atomic<std::chrono::milliseconds> velmora::internal::LinkSettings::*Setting>
class LinkWaitGuard {
 public:
  explicit LinkWaitGuard(std::chrono::milliseconds wait) : saved_((velmora::internal::linkSettings().*Setting).load()) {
    (velmora::internal::linkSettings().*Setting) = wait;
  }
  ~LinkWaitGuard() { (velmora::internal::linkSettings().*Setting) = saved_; }
  LinkWaitGuard(const LinkWaitGuard&) = delete;
  LinkWaitGuard& operator=(const LinkWaitGuard&) = delete;

 private:
  std::chrono::milliseconds saved_;
};

/// The file link's wait for the controller's verdict.
using VerdictTimeoutGuard = LinkWaitGuard<&velmora::internal::LinkSettings::fileVerdictTimeout>;
/// The default wait of the get, set and announcement forms.
using RequestWaitGuard = LinkWaitGuard<&velmora::internal::LinkSettings::defaultRequestWait>;
