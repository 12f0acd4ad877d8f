#pragma once
// The controller's RL projects and their files, and the imports that fill them from files sent
// on the file service. Served keys (a test's scripts and handlers for a key still come first):
//
//   "project.list"        g  [{"name", "tasks": [...]}], projects by name
//   "project.load"        c  {"name", "tasks": [...]} -> 0 when the project has every task
//                            named (at least one), else -1
//   "project.start"       c  0 with a project loaded (it runs), else -1
//   "project.stop"        c  0 with a project loaded (it stops), else -1
//   "project.pp.main"     c  0 with a project loaded, else -1
//   "project.run_param"   s  {"override": 0.01..1, "loop_mode": flag} -> 0, else -1
//   "ix.sdk.remove_project"
//                         c  {"name", "remove_all"} -> 0 (remove_all: every project), -1 for a
//                            name not there or another shape
//   "ix.sdk.import_project"
//                         c  takes the file received last: {"data": {"project_name": name}}
//                            (an empty project of the announced name), or {"data": {"f": t}}
//                            with t "empty_data" (no file), "function_error" (a file sent for
//                            another function, or the project exists and no overwrite),
//                            "false_project_zip" (not a zip archive)
//   "eci.file_transfer.import_project_file"
//                         c  {"project_name", ["task_name",] "extension"}: takes the file
//                            received last and stores it as <name><extension> in the task, or
//                            in the project without a task: {"data": {"file_name": stored}},
//                            or {"data": {"f": t}} with t "empty_data", "function_error"
//                            (another function; the file exists and no overwrite),
//                            "wrong_file_type" (".mod" in a task, ".json", ".xml", ".sys"
//                            outside one), "open_file_error" (no such project), "non-exist task"
//   "project.remove_files"
//                         c  {"list": [{"project", "task"[, "file"]}]} -> 0 when every entry is
//                            there (a task without "file" goes whole), else -1 and nothing goes
//
// Each import takes the file received last, whatever it was sent for, as the controller does:
// a second transfer before the import command replaces the first. Accessors may be called from
// any thread.

#include <json/value.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

class ProjectStore {
 public:
  ProjectStore();
  ~ProjectStore();
  ProjectStore(const ProjectStore&) = delete;
  ProjectStore& operator=(const ProjectStore&) = delete;

  /// Serves the keys above on `service`.
  void install(CommandService& service);

  /// A transfer whose bytes arrived whole under a digest that matched: `announcement` as
  /// "ix.sdk.transferInit" carried it. The next import command takes it.
  void fileArrived(const Json::Value& announcement, std::string bytes);

  /// Adds (or empties) a project with these tasks.
  void addProject(const std::string& name, const std::vector<std::string>& tasks);
  /// Project names, sorted.
  std::vector<std::string> projects() const;
  /// Task names of a project, sorted; empty for none.
  std::vector<std::string> tasks(const std::string& project) const;
  /// The bytes of a stored file ("a.mod" in a task, or "a.json" with an empty task), if any.
  std::optional<std::string> file(const std::string& project, const std::string& task, const std::string& name) const;
  /// The loaded project's name ("" for none) and whether it runs.
  std::string loadedProject() const;
  bool running() const;
  /// The last accepted running options.
  double rate() const;
  bool loop() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
