#pragma once
// Upgrade clients built with other waits and limits than the controller's defaults, which every
// public constructor uses. Inside the library only.

#include <velmora/upgrade.h>

#include <memory>

#include "upgrade/upgrade_impl.h"
#include "upgrade/upgrade_options.h"

namespace velmora::internal {

struct UpgradeAssembly {
  /// An unconnected client that takes `options`.
  static BaseUpgrade build(const UpgradeOptions& options) {
    BaseUpgrade client;
    client.impl_ = std::make_unique<BaseUpgrade::Impl>(std::string(), options);
    return client;
  }
};

}  // namespace velmora::internal
