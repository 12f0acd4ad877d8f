// `BaseRobot`'s controller files: project and file imports over the file channel, and file
// removal. Their lines carry no uid and go to the robot log only.

#include <velmora/base_robot.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "robot/controller_paths.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

constexpr int kNoSuchFileCode = -279;
constexpr int kWrongFileTypeCode = -281;

// Whether a local file is there; a path that cannot be examined counts as missing.
bool localFileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// The transfer and then its import command, under the robot's import lock: the controller
// imports the file it received last, so no other import of this robot may transfer between
// the two. True when the import command was sent (`reply` then holds its answer).
bool transferAndImport(BaseRobot::Impl& impl, const std::string& source, const Json::Value& options,
                       const char* importKey, const Json::Value& importValue, Json::Value& reply, std::error_code& ec) {
  std::lock_guard<std::mutex> lock(impl.importMutex);
  impl.service->sendFile(source, internal::XService::kMaxFileLength, options, ec);
  if (ec) return false;
  internal::command(*impl.service, importKey, importValue, reply, ec);
  return true;
}

}  // namespace

std::string BaseRobot::importProject(const std::string& file_path, bool overwrite, std::error_code& ec) noexcept {
  std::string project;
  bool imported = false;
  internal::runOperation(ec, [&] {
    if (!localFileExists(file_path)) {
      ec = makeErrorCode(kNoSuchFileCode);
      internal::logRobotOnly(*impl_, spdlog::level::err, "importProject {} not exist", file_path);
      return;
    }
    const std::string fileName = std::filesystem::path(file_path).filename().string();
    const auto zip = fileName.find(".zip");
    if (zip == std::string::npos) {
      ec = makeErrorCode(kWrongFileTypeCode);
      internal::logRobotOnly(*impl_, spdlog::level::err, "importProject {} not zip", file_path);
      return;
    }
    // ".zip" or "...zip" would announce the project "" or "..".
    const std::string name = fileName.substr(0, zip);
    if (!internal::isPlainName(name)) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      internal::logRobotOnly(*impl_, spdlog::level::err, "importProject {} invalid name", file_path);
      return;
    }
    Json::Value options(Json::objectValue);
    options["file_name"] = name;
    options["overwrite"] = overwrite;
    options["function"] = "import_project";
    Json::Value reply;
    imported = transferAndImport(*impl_, file_path, options, "ix.sdk.import_project", Json::Value(), reply, ec);
    if (!imported) {
      internal::logRobotOnly(*impl_, spdlog::level::err, "importProject {} send file error ({})", file_path, ec);
      return;
    }
    if (!ec) project = internal::readImportReply(reply, "project_name", ec);
  });
  if (imported) {
    internal::logRobotOnly(*impl_, spdlog::level::info, "importProject {} {} ({})", file_path, overwrite, ec);
  }
  if (ec) project.clear();
  return project;
}

std::string BaseRobot::importFile(std::string src_file_path, std::string dest, bool overwrite,
                                  std::error_code& ec) noexcept {
  std::string stored;
  bool imported = false;
  internal::runOperation(ec, [&] {
    if (!localFileExists(src_file_path)) {
      ec = makeErrorCode(kNoSuchFileCode);
      internal::logRobotOnly(*impl_, spdlog::level::err, "importFile {} doesn't exist", src_file_path);
      return;
    }
    std::replace(dest.begin(), dest.end(), '\\', '/');
    std::vector<std::string> parts = internal::splitControllerPath(dest);
    // A project-level file (third component with an extension) has no fourth component.
    const bool validDest = parts.size() >= 2 && parts.size() <= 4 && parts[0] == "project" &&
                           internal::allPlainNames(parts) &&
                           !(parts.size() == 4 && !internal::fileExtension(parts[2]).empty());
    if (!validDest) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      internal::logRobotOnly(*impl_, spdlog::level::err, "importFile {} invalid dest", dest);
      return;
    }
    parts.resize(4);
    const std::string& third = parts[2];
    const std::string& fourth = parts[3];
    const std::string extension = internal::fileExtension(src_file_path);
    Json::Value value(Json::objectValue);
    value["project_name"] = parts[1];
    std::string name;
    if (third.empty() || !internal::fileExtension(third).empty()) {
      const std::string thirdExtension = internal::fileExtension(third);
      const bool known = extension == ".json" || extension == ".xml" || extension == ".sys";
      if (!known || (!thirdExtension.empty() && thirdExtension != extension)) {
        ec = makeErrorCode(kWrongFileTypeCode);
        internal::logRobotOnly(*impl_, spdlog::level::err, "importFile {}, {} json/xml file extension error",
                               src_file_path, dest);
        return;
      }
      name = internal::fileStem(third.empty() ? src_file_path : third);
    } else {
      const std::string fourthExtension = internal::fileExtension(fourth);
      if (extension != ".mod" || (!fourthExtension.empty() && fourthExtension != ".mod")) {
        ec = makeErrorCode(kWrongFileTypeCode);
        internal::logRobotOnly(*impl_, spdlog::level::err, "importFile {}, {} mod file extension error", src_file_path,
                               dest);
        return;
      }
      name = internal::fileStem(fourthExtension.empty() ? src_file_path : fourth);
      value["task_name"] = third;
    }
    value["extension"] = extension;
    // The stored name comes from the local file when the dest names none: "..mod" or a name
    // holding a backslash would not be one plain name on the controller.
    if (!internal::isPlainName(name)) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      internal::logRobotOnly(*impl_, spdlog::level::err, "importFile {}, {} invalid name", src_file_path, dest);
      return;
    }
    Json::Value options(Json::objectValue);
    options["file_name"] = name;
    options["function"] = "import_project_file";
    options["overwrite"] = overwrite;
    Json::Value reply;
    imported =
        transferAndImport(*impl_, src_file_path, options, "eci.file_transfer.import_project_file", value, reply, ec);
    if (!imported) {
      internal::logRobotOnly(*impl_, spdlog::level::err, "importFile {}, {} ({})", src_file_path, dest, ec);
      return;
    }
    if (!ec) stored = internal::readImportReply(reply, "file_name", ec);
  });
  if (imported) internal::logRobotOnly(*impl_, spdlog::level::info, "importFile {} {} ({})", src_file_path, dest, ec);
  if (ec) stored.clear();
  return stored;
}

void BaseRobot::removeFiles(std::vector<std::string> file_path_list, std::error_code& ec) noexcept {
  bool sent = false;
  internal::runOperation(ec, [&] {
    if (file_path_list.empty()) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      internal::logRobotOnly(*impl_, spdlog::level::err, "removeFiles empty list");
      return;
    }
    Json::Value entries(Json::arrayValue);
    for (auto& path : file_path_list) {
      std::replace(path.begin(), path.end(), '\\', '/');
      const std::vector<std::string> parts = internal::splitControllerPath(path);
      // A task named ".." would remove the project's parent.
      if (parts.size() < 3 || parts.size() > 4 || parts[0] != "project" || !internal::allPlainNames(parts)) {
        ec = makeErrorCode(internal::kArgumentInvalidCode);
        internal::logRobotOnly(*impl_, spdlog::level::err, "removeFiles {} : invalid list",
                               internal::textList(file_path_list));
        return;
      }
      Json::Value entry(Json::objectValue);
      entry["project"] = parts[1];
      entry["task"] = parts[2];
      if (parts.size() == 4) {
        if (internal::fileExtension(parts[3]) != ".mod") {
          ec = makeErrorCode(kWrongFileTypeCode);
          internal::logRobotOnly(*impl_, spdlog::level::err, "removeFiles {} file type wrong",
                                 internal::textList(file_path_list));
          return;
        }
        entry["file"] = parts[3];
      }
      entries.append(std::move(entry));
    }
    Json::Value value(Json::objectValue);
    value["list"] = std::move(entries);
    Json::Value reply;
    sent = true;
    internal::command(*impl_->service, "project.remove_files", value, reply, ec);
    if (!ec && internal::isIntegerReply(reply)) ec = makeErrorCode(reply.asInt());
  });
  if (sent) {
    internal::logRobotOnly(*impl_, spdlog::level::info, "removeFiles {} ({})", internal::textList(file_path_list), ec);
  }
}

}  // namespace velmora
