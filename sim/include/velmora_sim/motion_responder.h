#pragma once
// The controller's side of queued motion: requests with a text id under the motion keys
// ("move.j", "move.jc", "move.l", "move.c", "move.cf", "move.sp", "move.wait", "move.replay")
// are answered {"c": {key: code}, "id": "<text id>"}, and each command they carry is later
// reported finished by a last-error report
//
//   {"id": n, "n": {"move.last_error_with_setting":
//       {"error": 0, "data": {"id": "<text id>[*custom]", "point": i, "msg": "finish:0"}}}}
//
// on a timer or on demand, optionally after a "start" report of the same command, or in place
// of the finish an error report of a command chosen in advance (after which the controller
// drops every command it still holds, as one that stops does). "move.reset" (when not
// scripted) forgets every unreported command.
// Requests of these keys with a numeric id are answered 0 and never reported. Refusals are
// scripted on the command service like any other reply (a scripted request is never reported).

#include <json/value.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace velmora_sim {

class Simulator;

class MotionResponder {
 public:
  /// Answers the motion keys on `sim`'s command service from now on (a test's scripts and
  /// handlers for a key still come first). Reports are sent on demand until `finishAfter`.
  explicit MotionResponder(Simulator& sim);
  ~MotionResponder();
  MotionResponder(const MotionResponder&) = delete;
  MotionResponder& operator=(const MotionResponder&) = delete;

  /// Each command of a queued request is reported finished a uniformly random `min`..`max`
  /// after the request arrived, in order; zero for both reports right after the reply.
  void finishAfter(std::chrono::milliseconds min, std::chrono::milliseconds max);

  /// Reports every unreported command finished, oldest first; returns how many.
  int finishPending();
  /// Reports the `n` oldest unreported commands finished; returns how many.
  int finishOldest(int n);
  /// With `on`, each command is reported {"error": 0, "data": {..., "msg": "start"}} right
  /// before its finish (a report that finishes nothing).
  void reportStarts(bool on);
  /// The `n`-th command received from now on (1 for the next) is reported {"error": error,
  /// "data": {..., "msg": msg}} instead of finished, and every command still unreported is
  /// dropped with it. `n` 0 cancels.
  void failCommand(int n, int error, std::string msg = "error");

  /// Pushes one report {"error": error, "data": {"id", "point", "msg"}} to every connection.
  void report(const std::string& id, int point, const std::string& msg, int error = 0);
  /// Pushes {"move.last_error_with_setting": body} whatever `body` is.
  void reportRaw(const Json::Value& body);

  /// Commands received and not yet reported.
  std::size_t pending() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
