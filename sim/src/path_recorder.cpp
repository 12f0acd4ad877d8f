#include "velmora_sim/path_recorder.h"

#include <mutex>
#include <set>

#include "locked_handlers.h"

namespace velmora_sim {

struct PathRecorder::State {
  mutable std::mutex mutex;
  std::set<std::string> paths;
  bool recording = false;
  bool finished = false;
  int duration = 0;

  int start(const Json::Value& request) {
    if (recording || !request.isObject()) return -1;
    const Json::Value& type = request["type"];
    const Json::Value& seconds = request["duration"];
    const Json::Value& signals = request["signals"];
    if (!type.isString() || type.asString() != "time" || !seconds.isInt() || seconds.asInt() <= 0 ||
        !signals.isArray()) {
      return -1;
    }
    recording = true;
    finished = false;
    duration = seconds.asInt();
    return 0;
  }

  int save(const Json::Value& request) {
    if (!finished || !request.isObject()) return -1;
    const Json::Value& name = request["name"];
    const Json::Value& as = request["as"];
    if (!name.isString() || !(as.isNull() || as.isString())) return -1;
    const std::string stored = as.isString() ? as.asString() : name.asString();
    if (stored.empty()) return -1;
    paths.insert(stored);
    finished = false;
    duration = 0;
    return 0;
  }
};

PathRecorder::PathRecorder() : state_(std::make_shared<State>()) {}
PathRecorder::~PathRecorder() = default;

void PathRecorder::install(CommandService& service) {
  const std::shared_ptr<State> s = state_;
  auto locked = detail::lockedHandlers(s);
  using P = const Json::Value&;
  service.serve(Form::command, "move.record.start", locked([](State& st, P p) { return st.start(p); }));
  service.serve(Form::command, "move.record.stop", locked([](State& st, P) {
                  if (!st.recording) return -1;
                  st.recording = false;
                  st.finished = true;
                  return 0;
                }));
  service.serve(Form::command, "move.record.cancel", locked([](State& st, P) {
                  st.recording = false;
                  st.finished = false;
                  st.duration = 0;
                  return 0;
                }));
  service.serve(Form::command, "move.record.save", locked([](State& st, P p) { return st.save(p); }));
  service.serve(Form::command, "move.record.remove",
                locked([](State& st, P p) { return p.isString() && st.paths.erase(p.asString()) != 0 ? 0 : -1; }));
  service.serve(Form::command, "move.record.remove.all", locked([](State& st, P) {
                  st.paths.clear();
                  return 0;
                }));
  service.serve(Form::get, "move.record.paths", [s](Exchange& x) {
    std::lock_guard<std::mutex> lock(s->mutex);
    Json::Value names(Json::arrayValue);
    for (const auto& name : s->paths) names.append(name);
    x.reply(std::move(names));
  });
}

void PathRecorder::addPath(const std::string& name) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->paths.insert(name);
}

std::vector<std::string> PathRecorder::paths() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return {state_->paths.begin(), state_->paths.end()};
}

bool PathRecorder::recording() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->recording;
}

int PathRecorder::duration() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->duration;
}

}  // namespace velmora_sim
