#pragma once
// The robot log's settings: the optional file "user_log_settings.json" in the working
// directory, {"_log_storage_directory_": text, "_retention_days_": integer}. Both values are
// taken together or not at all.

#include <cstdint>
#include <filesystem>
#include <string>

namespace velmora::internal {

struct LogSettings {
  /// 0 the file's values are used (or there is no file); -1..-8 a problem, defaults used.
  int code = 0;
  std::string directory = "_velmora_log_";
  /// Daily files kept: the configured days clamped to 1..65535.
  std::uint16_t retentionDays = 7;
};

/// Reads and checks the settings file `file`. A missing file (or one whose status cannot be
/// read) gives the defaults and 0. Codes: -1 not a readable file, -2/-3 a member missing, -4
/// the directory not a text, -5 the days not an integer of 32 bits, -6 an empty directory, -7
/// "<directory>/<idComponent>" cannot be created, -8 days not above 0 (over any other code).
/// Throws Json::RuntimeError when the file's text is not JSON (an empty file included).
LogSettings readLogSettings(const std::filesystem::path& file, const std::string& idComponent);

/// The message logged for a code of `readLogSettings`; "" for 0 and unknown codes.
const char* logSettingsMessage(int code) noexcept;

/// A controller id made safe as one path component: characters other than letters, digits,
/// '.', '_' and '-' become '_', and "", "." and ".." become "_". The id comes from the network
/// and must never lead the log outside its directory.
std::string logPathComponent(const std::string& id);

}  // namespace velmora::internal
