// RL projects and controller files, and the path recording of collaborative arms.

#include <string>
#include <vector>

#include "native/abi_records.h"
#include "native/operation_calls.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

// A recording runs this long, in seconds; the managed operation takes no duration.
constexpr int kRecordDurationSeconds = 30;

}  // namespace

extern "C" {

int32_t vel_robot_projects_info(vel_robot* robot, vel_buf** projects, vel_err* ec) noexcept {
  return baseCall(robot, ec, [&](BaseRobot& r, std::error_code& code) {
    required(projects, "projects");
    putBuffer(projects, encoded(r.projectsInfo(code)));
  });
}

int32_t vel_robot_load_project(vel_robot* robot, const char* name, const uint8_t* tasks, int64_t tasks_length,
                               vel_err* ec) noexcept {
  return abiCall([&] {
    const std::vector<std::string> taskList = textsArg(tasks, tasks_length);
    reportCode(ec, [&](std::error_code& code) { baseRobot(robot).loadProject(textArg(name), taskList, code); });
  });
}

int32_t vel_robot_pp_to_main(vel_robot* robot, vel_err* ec) noexcept {
  return baseCall(robot, ec, [](BaseRobot& r, std::error_code& code) { r.ppToMain(code); });
}

int32_t vel_robot_run_project(vel_robot* robot, vel_err* ec) noexcept {
  return baseCall(robot, ec, [](BaseRobot& r, std::error_code& code) { r.runProject(code); });
}

int32_t vel_robot_pause_project(vel_robot* robot, vel_err* ec) noexcept {
  return baseCall(robot, ec, [](BaseRobot& r, std::error_code& code) { r.pauseProject(code); });
}

int32_t vel_robot_set_project_running_opt(vel_robot* robot, double rate, uint8_t loop, vel_err* ec) noexcept {
  return baseCall(robot, ec,
                  [&](BaseRobot& r, std::error_code& code) { r.setProjectRunningOpt(rate, loop != 0, code); });
}

int32_t vel_robot_import_project(vel_robot* robot, const char* file_path, uint8_t overwrite, vel_buf** name,
                                 vel_err* ec) noexcept {
  return baseCall(robot, ec, [&](BaseRobot& r, std::error_code& code) {
    required(name, "name");
    putBuffer(name, r.importProject(textArg(file_path), overwrite != 0, code));
  });
}

int32_t vel_robot_remove_project(vel_robot* robot, const char* project_name, uint8_t remove_all, vel_err* ec) noexcept {
  return baseCall(robot, ec, [&](BaseRobot& r, std::error_code& code) {
    r.removeProject(textArg(project_name), code, remove_all != 0);
  });
}

int32_t vel_robot_import_file(vel_robot* robot, const char* src_file_path, const char* dest, uint8_t overwrite,
                              vel_buf** name, vel_err* ec) noexcept {
  return baseCall(robot, ec, [&](BaseRobot& r, std::error_code& code) {
    required(name, "name");
    putBuffer(name, r.importFile(textArg(src_file_path), textArg(dest), overwrite != 0, code));
  });
}

int32_t vel_robot_remove_files(vel_robot* robot, const uint8_t* paths, int64_t paths_length, vel_err* ec) noexcept {
  return abiCall([&] {
    std::vector<std::string> list = textsArg(paths, paths_length);
    reportCode(ec, [&](std::error_code& code) { baseRobot(robot).removeFiles(std::move(list), code); });
  });
}

int32_t vel_cobot_start_record_path(vel_robot* robot, vel_err* ec) noexcept {
  return cobotCall(robot, ec,
                   [](BaseCobot& c, std::error_code& code) { c.startRecordPath(kRecordDurationSeconds, code); });
}

int32_t vel_cobot_stop_record_path(vel_robot* robot, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [](BaseCobot& c, std::error_code& code) { c.stopRecordPath(code); });
}

int32_t vel_cobot_cancel_record_path(vel_robot* robot, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [](BaseCobot& c, std::error_code& code) { c.cancelRecordPath(code); });
}

int32_t vel_cobot_save_record_path(vel_robot* robot, const char* name, const char* save_as, vel_err* ec) noexcept {
  return cobotCall(
      robot, ec, [&](BaseCobot& c, std::error_code& code) { c.saveRecordPath(textArg(name), code, textArg(save_as)); });
}

int32_t vel_cobot_replay_path(vel_robot* robot, const char* name, double rate, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [&](BaseCobot& c, std::error_code& code) { c.replayPath(textArg(name), rate, code); });
}

int32_t vel_cobot_remove_path(vel_robot* robot, const char* name, uint8_t remove_all, vel_err* ec) noexcept {
  return cobotCall(robot, ec,
                   [&](BaseCobot& c, std::error_code& code) { c.removePath(textArg(name), code, remove_all != 0); });
}

int32_t vel_cobot_query_path_lists(vel_robot* robot, vel_buf** names, vel_err* ec) noexcept {
  return cobotCall(robot, ec, [&](BaseCobot& c, std::error_code& code) {
    required(names, "names");
    putBuffer(names, encoded(c.queryPathLists(code)));
  });
}

}  // extern "C"
