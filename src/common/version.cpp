#include <velmora/version.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "velmora_build_info.h"

namespace velmora {

VersionInfo::VersionInfo(int major_, int minor_, int patch_, int build_)
    : major(major_), minor(minor_), patch(patch_), build(build_) {}

VersionInfo::VersionInfo(const std::string& text) {
  // "%d.%d.%d.%d" read part by part, stopping at the first character that does not fit; unlike
  // sscanf, a number too large for an int is clamped instead of being undefined.
  int* parts[] = {&major, &minor, &patch, &build};
  const char* p = text.c_str();
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) {
      if (*p != '.') break;
      ++p;
    }
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(p, &end, 10);
    if (end == p) break;
    *parts[i] = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
    p = end;
  }
}

bool VersionInfo::operator<(const VersionInfo& other) const noexcept {
  // Part by part: a build number of 1000 or more must not carry into the patch.
  if (major != other.major) return major < other.major;
  if (minor != other.minor) return minor < other.minor;
  if (patch != other.patch) return patch < other.patch;
  return build < other.build;
}

std::string VersionInfo::shortString() const {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::string VersionInfo::toString() const { return shortString() + "." + std::to_string(build); }

namespace internal {

const VersionInfo& sdkVersionInfo() noexcept {
  static const VersionInfo info = [] {
    VersionInfo v(0, 7, 1, 0);
    v.buildTag = VELMORA_BUILD_TAG;
    v.buildTime = VELMORA_BUILD_TIME;
    v.buildHost = VELMORA_BUILD_HOST;
    return v;
  }();
  return info;
}

const VersionInfo& minControllerVersion() noexcept {
  static const VersionInfo min("3.1.0");
  return min;
}

}  // namespace internal
}  // namespace velmora
