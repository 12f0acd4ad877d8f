#include "robot_impl/log_settings.h"

#include <json/reader.h>
#include <json/value.h>

#include <algorithm>
#include <fstream>

#include "common/json_read.h"

namespace velmora::internal {

namespace {

constexpr const char* kDirectoryMember = "_log_storage_directory_";
constexpr const char* kDaysMember = "_retention_days_";

bool safeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
}

}  // namespace

LogSettings readLogSettings(const std::filesystem::path& file, const std::string& idComponent) {
  LogSettings settings;
  std::error_code fsError;
  const auto status = std::filesystem::status(file, fsError);
  if (fsError || !std::filesystem::exists(status)) return settings;
  std::ifstream in;
  if (std::filesystem::is_regular_file(status)) in.open(file, std::ios::binary);
  // A file that cannot be read keeps the defaults; its text is never parsed, since a parse of
  // nothing would fail the connection over a permission.
  if (!in.is_open() || !in) {
    settings.code = -1;
    return settings;
  }

  Json::CharReaderBuilder builder;
  Json::Value root;
  std::string errors;
  if (!Json::parseFromStream(builder, in, &root, &errors)) {
    throw Json::RuntimeError("user_log_settings.json is not JSON: " + errors);
  }

  int code = 0;
  if (!hasMember(root, kDirectoryMember)) code = -2;
  if (!hasMember(root, kDaysMember)) code = -3;
  std::string directory;
  const Json::Value& directoryValue = member(root, kDirectoryMember);
  if (directoryValue.isString()) {
    directory = directoryValue.asString();
  } else {
    code = -4;
  }
  int days = 7;
  const Json::Value& daysValue = member(root, kDaysMember);
  // isInt also takes a real with an integral value, 7.0; a flag or a text is refused.
  if (daysValue.isInt()) {
    days = daysValue.asInt();
  } else {
    code = -5;
  }
  if (directory.empty()) code = -6;
  if (code == 0 && days > 0) {
    // The folder the log will be written to, not another one; a failure keeps the defaults.
    std::filesystem::create_directories(std::filesystem::path(directory) / idComponent, fsError);
    if (fsError) code = -7;
  }
  if (days <= 0) code = -8;

  settings.code = code;
  if (code == 0) {
    settings.directory = directory;
    // A count beyond 16 bits would wrap, 65536 to 0, which keeps every file.
    settings.retentionDays = static_cast<std::uint16_t>(std::min(days, 65535));
  }
  return settings;
}

const char* logSettingsMessage(int code) noexcept {
  switch (code) {
    case -1:
      return "Failed to open user_log_settings.json";
    case -2:
      return "user_log_settings.json does not contain _log_storage_directory_";
    case -3:
      return "user_log_settings.json does not contain _retention_days_";
    case -4:
      return "_log_storage_directory_ is not a string";
    case -5:
      return "_retention_days_ is not an integer";
    case -6:
      return "_log_storage_directory_ is empty";
    case -7:
      return "Failed to create log storage directory";
    case -8:
      return "_retention_days_ is less than or equal to 0";
    default:
      return "";
  }
}

std::string logPathComponent(const std::string& id) {
  std::string component = id;
  std::replace_if(
      component.begin(), component.end(), [](char c) { return !safeCharacter(c); }, '_');
  if (component.empty() || component == "." || component == "..") return "_";
  return component;
}

}  // namespace velmora::internal
