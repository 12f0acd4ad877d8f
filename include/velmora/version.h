#pragma once
// Version numbers of the library and of controllers.

#include <string>

#include <velmora/export.h>

namespace velmora {

/// A four-part version number with the library's build information.
struct VELMORA_API VersionInfo {
  int major = 0;          ///< first part
  int minor = 0;          ///< second part
  int patch = 0;          ///< third part
  int build = 0;          ///< fourth part
  std::string buildTag;   ///< short source revision of the build (library record only)
  std::string buildTime;  ///< "Mon DD YYYY HH:MM:SS" of the build (library record only)
  std::string buildHost;  ///< machine that built the library (library record only)

  /// 0.0.0.0.
  VersionInfo() = default;
  /// The four parts; the build texts stay empty.
  VersionInfo(int major, int minor, int patch, int build);
  /// Parses "a.b.c.d": parts are read in order until a character does not fit; the parts not
  /// read stay 0; values beyond the int range are clamped. Never fails.
  explicit VersionInfo(const std::string& text);

  /// Compares the four parts in order.
  bool operator<(const VersionInfo& other) const noexcept;
  /// "major.minor.patch", e.g. "0.7.1".
  std::string shortString() const;
  /// "major.minor.patch.build", e.g. "3.1.0.0".
  std::string toString() const;
};

namespace internal {
/// The library's own version, 0.7.1.0.
VELMORA_API const VersionInfo& sdkVersionInfo() noexcept;
/// The lowest controller version the library works with, 3.1.0.0.
VELMORA_API const VersionInfo& minControllerVersion() noexcept;
}  // namespace internal

}  // namespace velmora
