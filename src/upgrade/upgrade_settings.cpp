#include "upgrade/upgrade_settings.h"

namespace velmora::internal {

UpgradeSettings& upgradeSettings() noexcept {
  static UpgradeSettings settings;
  return settings;
}

}  // namespace velmora::internal
