// `BaseRobot`'s RL project operations: load, run, pause, program pointer, running options,
// the project list and project removal.

#include <velmora/base_robot.h>

#include <string_view>

#include "common/json_convert.h"
#include "common/json_read.h"
#include "robot/controller_paths.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr int kProjectNotFoundCode = -60005;

// Project control shared by run, pause and program pointer: the RL-task check, then the key's
// code. A refusal writes its own line and no end line.
using ModeLine = fmt::format_string<const internal::LogUid&, std::string_view, const std::error_code&>;

bool projectCommand(BaseRobot::Impl& impl, const char* key, ModeLine modeLine, std::error_code& ec) noexcept {
  bool sent = false;
  internal::runOperation(ec, [&] {
    if (!internal::requireRlTaskControl(impl, ec, modeLine)) return;
    sent = true;
    internal::commandForCode(*impl.service, key, Json::Value(), ec);
  });
  return sent;
}

}  // namespace

void BaseRobot::loadProject(const std::string& name, const std::vector<std::string>& tasks,
                            std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | loadProject {}, {}", logUid, name, internal::textList(tasks));
  bool sent = false;
  internal::runOperation(ec, [&] {
    if (!internal::requireRlTaskControl(*impl_, ec, "uid: {} | loadProject control mode error {} ({})")) return;
    if (name.empty() || tasks.empty()) {
      internal::refuse(*impl_, ec, internal::kArgumentInvalidCode,
                       "uid: {} | loadProject name or task list is empty ({})", logUid, ec);
      return;
    }
    // The project and its tasks are folders on the controller.
    if (!internal::isPlainName(name) || !internal::allPlainNames(tasks)) {
      internal::refuse(*impl_, ec, internal::kArgumentInvalidCode, "uid: {} | loadProject name or task invalid ({})",
                       logUid, ec);
      return;
    }
    Json::Value value(Json::objectValue);
    value["name"] = name;
    Json::Value& list = value["tasks"] = Json::Value(Json::arrayValue);
    for (const auto& task : tasks) list.append(task);
    sent = true;
    internal::commandForCode(*impl_->service, "project.load", value, ec);
  });
  if (sent) {
    internal::logEnd(*impl_, "uid: {} | loadProject end, name: {}, tasks: {} ({})", logUid, name,
                     internal::textList(tasks), ec);
  }
}

void BaseRobot::runProject(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | runProject", logUid);
  if (projectCommand(*impl_, "project.start", "uid: {} | runProject control mode error {} ({})", ec)) {
    internal::logEnd(*impl_, "uid: {} | runProject end ({})", logUid, ec);
  }
}

void BaseRobot::pauseProject(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | pauseProject", logUid);
  if (projectCommand(*impl_, "project.stop", "uid: {} | pauseProject control mode error {} ({})", ec)) {
    internal::logEnd(*impl_, "uid: {} | pauseProject end ({})", logUid, ec);
  }
}

void BaseRobot::ppToMain(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | ppToMain", logUid);
  if (projectCommand(*impl_, "project.pp.main", "uid: {} | ppToMain control mode error {} ({})", ec)) {
    internal::logEnd(*impl_, "uid: {} | ppToMain end ({})", logUid, ec);
  }
}

void BaseRobot::setProjectRunningOpt(double rate, bool loop, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setProjectRunningOpt {}, {}", logUid, rate, loop);
  bool sent = false;
  internal::runOperation(ec, [&] {
    // Written so that NaN fails too: it would go out as null.
    if (!(rate >= 0.01 && rate <= 1.0)) {
      internal::refuse(*impl_, ec, internal::kParameterExceedCode, "uid: {} | setProjectRunningOpt {} over-range ({})",
                       logUid, rate, ec);
      return;
    }
    Json::Value value(Json::objectValue);
    value["override"] = rate;
    value["loop_mode"] = loop;
    sent = true;
    internal::set(*impl_->service, "project.run_param", value, ec);
  });
  if (sent) {
    internal::logEnd(*impl_, "uid: {} | setProjectRunningOpt end, rate: {}, loop: {} ({})", logUid, rate * 100, loop,
                     ec);
  }
}

std::vector<RLProjectInfo> BaseRobot::projectsInfo(std::error_code& ec) noexcept {
  std::vector<RLProjectInfo> projects;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, "project.list", Json::Value(), reply, ec);
    if (ec) return;
    if (!reply.isArray()) {
      ec = makeErrorCode(internal::kReplyExceptionCode);
      return;
    }
    // Elements and task names that cannot be names are skipped, as nameless elements are.
    for (const Json::Value& element : reply) {
      std::string name;
      if (!element.isObject() || !internal::readString(internal::member(element, "name"), name) || name.empty()) {
        continue;
      }
      RLProjectInfo project(std::move(name));
      const Json::Value& tasks = internal::member(element, "tasks");
      if (tasks.isArray()) {
        for (const Json::Value& task : tasks) {
          std::string taskName;
          if (internal::readString(task, taskName)) project.taskList.push_back(std::move(taskName));
        }
      }
      projects.push_back(std::move(project));
    }
  });
  if (ec) projects.clear();
  return projects;
}

void BaseRobot::removeProject(const std::string& project_name, std::error_code& ec, bool remove_all) noexcept {
  internal::runOperation(ec, [&] {
    // The name becomes a directory on the controller: "..", "." or a name with separators
    // would remove another one. With remove_all the name is not needed.
    if (!internal::isPlainName(project_name) && !(remove_all && project_name.empty())) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    Json::Value value(Json::objectValue);
    value["name"] = project_name;
    value["remove_all"] = remove_all;
    Json::Value reply;
    internal::command(*impl_->service, "ix.sdk.remove_project", value, reply, ec);
    std::string text;
    internal::parseErrorReply(reply, ec, text);
    if (ec.value() == -1) ec = makeErrorCode(kProjectNotFoundCode);
  });
  internal::logRobotOnly(*impl_, spdlog::level::info, "removeProject {}, all {} ({})", project_name, remove_all, ec);
}

}  // namespace velmora
