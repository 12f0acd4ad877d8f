#include "network/xservice/link_settings.h"

namespace velmora::internal {

LinkSettings& linkSettings() noexcept {
  static LinkSettings settings;
  return settings;
}

}  // namespace velmora::internal
