#include "robot/controller_paths.h"

#include <velmora/error.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <utility>

#include "common/json_read.h"
#include "common/reply_read.h"

namespace velmora::internal {

std::vector<std::string> splitControllerPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  std::vector<std::string> components;
  std::string::size_type start = 0;
  while (start < path.size()) {
    const auto slash = path.find('/', start);
    if (slash == std::string::npos) {
      components.push_back(path.substr(start));
      break;
    }
    components.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return components;
}

bool isPlainName(std::string_view name) noexcept {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos;
}

bool isPlainOrEmptyName(std::string_view name) noexcept { return name.empty() || isPlainName(name); }

bool allPlainNames(const std::vector<std::string>& components) noexcept {
  return std::all_of(components.begin(), components.end(), [](const std::string& c) { return isPlainName(c); });
}

std::string fileExtension(const std::string& name) {
  return std::filesystem::path(name).filename().extension().string();
}

std::string fileStem(const std::string& name) { return std::filesystem::path(name).filename().stem().string(); }

int importFailureCode(std::string_view text) noexcept {
  // Both imports know every text: a failure the controller names is never a success with an
  // empty name.
  static constexpr std::array<std::pair<std::string_view, int>, 6> kTexts{{
      {"function_error", -277},
      {"false_project_zip", -278},
      {"empty_data", -284},
      {"wrong_file_type", -281},
      {"non-exist task", -60005},
      {"open_file_error", -280},
  }};
  for (const auto& [name, code] : kTexts) {
    if (name == text) return code;
  }
  return 0;
}

std::string readImportReply(const Json::Value& reply, const char* nameKey, std::error_code& ec) {
  if (isIntegerReply(reply)) {
    ec = makeErrorCode(reply.asInt());
    return {};
  }
  if (reply.isNull()) return {};
  const Json::Value& data = member(reply, "data");
  if (!reply.isObject() || !(data.isObject() || data.isNull())) {
    ec = makeErrorCode(kReplyExceptionCode);
    return {};
  }
  if (hasMember(data, "f")) {
    std::string failure;
    if (!readString(member(data, "f"), failure)) {
      ec = makeErrorCode(kReplyExceptionCode);
      return {};
    }
    if (const int code = importFailureCode(failure)) {
      ec = makeErrorCode(code);
      return {};
    }
  }
  std::string name;
  if (!readString(member(data, nameKey), name)) {
    ec = makeErrorCode(kReplyExceptionCode);
    return {};
  }
  return name;
}

}  // namespace velmora::internal
