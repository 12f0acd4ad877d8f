#pragma once
// The controller's path recording and its saved paths. Served keys (a test's scripts and
// handlers for a key still come first):
//
//   "move.record.start"       c  {"type": "time", "duration": whole seconds > 0, "signals": []}
//                                -> 0 and a recording runs; -1 while one runs or for another
//                                shape
//   "move.record.stop"        c  0: the running recording is finished and waits to be saved;
//                                -1 when none runs
//   "move.record.cancel"      c  0: a running or finished recording is dropped
//   "move.record.save"        c  {"name"[, "as"]} -> 0: the finished recording is saved under
//                                "as" when given, else under "name" (replacing a path of that
//                                name); -1 without a finished recording or a name
//   "move.record.remove"      c  the name as a text -> 0 when the path was there, else -1
//   "move.record.remove.all"  c  0: every saved path goes
//   "move.record.paths"       g  the saved names, sorted
//
// A replay ("move.replay") is a queued motion command: see motion_responder.h. Accessors may be
// called from any thread.

#include <memory>
#include <string>
#include <vector>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

class PathRecorder {
 public:
  PathRecorder();
  ~PathRecorder();
  PathRecorder(const PathRecorder&) = delete;
  PathRecorder& operator=(const PathRecorder&) = delete;

  /// Serves the keys above on `service`.
  void install(CommandService& service);

  /// Saves a path as if recorded.
  void addPath(const std::string& name);
  /// The saved names, sorted.
  std::vector<std::string> paths() const;
  bool recording() const;
  /// The duration the running or finished recording was started with (0 for none).
  int duration() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
