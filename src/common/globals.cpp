#include "common/globals.h"

namespace velmora::internal {

LogUid logUid("default_uid");
const std::string fcCommandPrefix = "eci.fc.";
const std::string upgradePackageName = "./upgrade/orvane.zip";

}  // namespace velmora::internal
