#include "velmora_sim/project_store.h"

#include <map>
#include <mutex>
#include <utility>

#include "locked_handlers.h"

namespace velmora_sim {

namespace {

using Files = std::map<std::string, std::string>;  // name with extension -> bytes

struct Project {
  std::map<std::string, Files> tasks;
  Files files;  // project-level
};

struct Transfer {
  std::string name;
  std::string function;
  bool overwrite = false;
  std::string bytes;
};

const Json::Value& memberOf(const Json::Value& value, const char* key) {
  return value.isObject() ? value[key] : Json::Value::nullSingleton();
}

Json::Value failure(const char* text) {
  Json::Value reply(Json::objectValue);
  reply["data"]["f"] = text;
  return reply;
}

Json::Value named(const char* key, const std::string& name) {
  Json::Value reply(Json::objectValue);
  reply["data"][key] = name;
  return reply;
}

bool isZip(const std::string& bytes) { return bytes.compare(0, 4, std::string("PK\x03\x04", 4)) == 0; }

}  // namespace

struct ProjectStore::State {
  mutable std::mutex mutex;
  std::map<std::string, Project> projects;
  std::optional<Transfer> lastFile;
  std::string loaded;
  bool running = false;
  double rate = 1.0;
  bool loop = false;

  // Takes the file received last; the import consumes it.
  std::optional<Transfer> takeFile() { return std::exchange(lastFile, std::nullopt); }

  Json::Value list() const {
    Json::Value reply(Json::arrayValue);
    for (const auto& [name, project] : projects) {
      Json::Value entry(Json::objectValue);
      entry["name"] = name;
      entry["tasks"] = Json::Value(Json::arrayValue);
      for (const auto& task : project.tasks) entry["tasks"].append(task.first);
      reply.append(std::move(entry));
    }
    return reply;
  }

  int load(const Json::Value& request) {
    const Json::Value& name = memberOf(request, "name");
    const Json::Value& taskNames = memberOf(request, "tasks");
    if (!name.isString() || !taskNames.isArray() || taskNames.empty()) return -1;
    const auto project = projects.find(name.asString());
    if (project == projects.end()) return -1;
    for (const Json::Value& task : taskNames) {
      if (!task.isString() || project->second.tasks.count(task.asString()) == 0) return -1;
    }
    loaded = name.asString();
    running = false;
    return 0;
  }

  int runParam(const Json::Value& request) {
    const Json::Value& override = memberOf(request, "override");
    const Json::Value& loopMode = memberOf(request, "loop_mode");
    if (!override.isDouble() && !override.isIntegral()) return -1;
    if (!loopMode.isBool() || override.asDouble() < 0.01 || override.asDouble() > 1.0) return -1;
    rate = override.asDouble();
    loop = loopMode.asBool();
    return 0;
  }

  int removeProject(const Json::Value& request) {
    const Json::Value& name = memberOf(request, "name");
    const Json::Value& all = memberOf(request, "remove_all");
    if (!name.isString() || !all.isBool()) return -1;
    if (all.asBool()) {
      projects.clear();
    } else if (projects.erase(name.asString()) == 0) {
      return -1;
    }
    if (projects.count(loaded) == 0) {
      loaded.clear();
      running = false;
    }
    return 0;
  }

  Json::Value importProject() {
    const std::optional<Transfer> file = takeFile();
    if (!file) return failure("empty_data");
    if (file->function != "import_project") return failure("function_error");
    if (!isZip(file->bytes)) return failure("false_project_zip");
    if (projects.count(file->name) != 0 && !file->overwrite) return failure("function_error");
    projects[file->name] = Project{};
    return named("project_name", file->name);
  }

  Json::Value importFile(const Json::Value& request) {
    const std::optional<Transfer> file = takeFile();
    if (!file) return failure("empty_data");
    if (file->function != "import_project_file") return failure("function_error");
    const Json::Value& projectName = memberOf(request, "project_name");
    const Json::Value& taskName = memberOf(request, "task_name");
    const Json::Value& extensionValue = memberOf(request, "extension");
    if (!projectName.isString() || !extensionValue.isString()) return failure("function_error");
    const std::string extension = extensionValue.asString();
    const bool inTask = !taskName.isNull();
    const bool fits = inTask ? extension == ".mod" : extension == ".json" || extension == ".xml" || extension == ".sys";
    if (!fits || (inTask && !taskName.isString())) return failure("wrong_file_type");
    const auto project = projects.find(projectName.asString());
    if (project == projects.end()) return failure("open_file_error");
    Files* files = &project->second.files;
    if (inTask) {
      const auto task = project->second.tasks.find(taskName.asString());
      if (task == project->second.tasks.end()) return failure("non-exist task");
      files = &task->second;
    }
    const std::string stored = file->name + extension;
    if (files->count(stored) != 0 && !file->overwrite) return failure("function_error");
    (*files)[stored] = file->bytes;
    return named("file_name", stored);
  }

  int removeFiles(const Json::Value& request) {
    const Json::Value& list = memberOf(request, "list");
    if (!list.isArray() || list.empty()) return -1;
    // Every entry is checked before anything goes.
    for (const Json::Value& entry : list) {
      const Json::Value& project = memberOf(entry, "project");
      const Json::Value& task = memberOf(entry, "task");
      const Json::Value& file = memberOf(entry, "file");
      if (!project.isString() || !task.isString() || !(file.isNull() || file.isString())) return -1;
      const auto p = projects.find(project.asString());
      if (p == projects.end()) return -1;
      const auto t = p->second.tasks.find(task.asString());
      if (t == p->second.tasks.end()) return -1;
      if (file.isString() && t->second.count(file.asString()) == 0) return -1;
    }
    for (const Json::Value& entry : list) {
      auto& tasks = projects[entry["project"].asString()].tasks;
      const auto t = tasks.find(entry["task"].asString());
      if (t == tasks.end()) continue;  // the same task named twice
      if (entry["file"].isString()) {
        t->second.erase(entry["file"].asString());
      } else {
        tasks.erase(t);
      }
    }
    return 0;
  }
};

ProjectStore::ProjectStore() : state_(std::make_shared<State>()) {}
ProjectStore::~ProjectStore() = default;

void ProjectStore::install(CommandService& service) {
  const std::shared_ptr<State> s = state_;
  auto locked = detail::lockedHandlers(s);
  using P = const Json::Value&;
  service.serve(Form::get, "project.list", locked([](State& st, P) { return st.list(); }));
  service.serve(Form::command, "project.load", locked([](State& st, P p) { return Json::Value(st.load(p)); }));
  service.serve(Form::command, "project.start", locked([](State& st, P) {
                  if (st.loaded.empty()) return Json::Value(-1);
                  st.running = true;
                  return Json::Value(0);
                }));
  service.serve(Form::command, "project.stop", locked([](State& st, P) {
                  if (st.loaded.empty()) return Json::Value(-1);
                  st.running = false;
                  return Json::Value(0);
                }));
  service.serve(Form::command, "project.pp.main",
                locked([](State& st, P) { return Json::Value(st.loaded.empty() ? -1 : 0); }));
  service.serve(Form::set, "project.run_param", locked([](State& st, P p) { return Json::Value(st.runParam(p)); }));
  service.serve(Form::command, "ix.sdk.remove_project",
                locked([](State& st, P p) { return Json::Value(st.removeProject(p)); }));
  service.serve(Form::command, "ix.sdk.import_project", locked([](State& st, P) { return st.importProject(); }));
  service.serve(Form::command, "eci.file_transfer.import_project_file",
                locked([](State& st, P p) { return st.importFile(p); }));
  service.serve(Form::command, "project.remove_files",
                locked([](State& st, P p) { return Json::Value(st.removeFiles(p)); }));
}

void ProjectStore::fileArrived(const Json::Value& announcement, std::string bytes) {
  Transfer transfer;
  const Json::Value& name = memberOf(announcement, "name");
  const Json::Value& function = memberOf(announcement, "function");
  const Json::Value& overwrite = memberOf(announcement, "overwrite");
  transfer.name = name.isString() ? name.asString() : std::string();
  transfer.function = function.isString() ? function.asString() : std::string();
  transfer.overwrite = overwrite.isBool() && overwrite.asBool();
  transfer.bytes = std::move(bytes);
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->lastFile = std::move(transfer);
}

void ProjectStore::addProject(const std::string& name, const std::vector<std::string>& tasks) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  Project& project = state_->projects[name] = Project{};
  for (const auto& task : tasks) project.tasks[task];
}

std::vector<std::string> ProjectStore::projects() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  std::vector<std::string> names;
  for (const auto& entry : state_->projects) names.push_back(entry.first);
  return names;
}

std::vector<std::string> ProjectStore::tasks(const std::string& project) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  std::vector<std::string> names;
  const auto p = state_->projects.find(project);
  if (p == state_->projects.end()) return names;
  for (const auto& entry : p->second.tasks) names.push_back(entry.first);
  return names;
}

std::optional<std::string> ProjectStore::file(const std::string& project, const std::string& task,
                                              const std::string& name) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto p = state_->projects.find(project);
  if (p == state_->projects.end()) return std::nullopt;
  const Files* files = &p->second.files;
  if (!task.empty()) {
    const auto t = p->second.tasks.find(task);
    if (t == p->second.tasks.end()) return std::nullopt;
    files = &t->second;
  }
  const auto f = files->find(name);
  if (f == files->end()) return std::nullopt;
  return f->second;
}

std::string ProjectStore::loadedProject() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->loaded;
}

bool ProjectStore::running() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->running;
}

double ProjectStore::rate() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->rate;
}

bool ProjectStore::loop() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->loop;
}

}  // namespace velmora_sim
