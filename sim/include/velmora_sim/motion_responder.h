#pragma once
// The controller's side of queued motion: requests with a text id under the motion keys
// ("move.j", "move.jc", "move.l", "move.c", "move.cf", "move.sp", "move.wait", "move.replay")
// are answered {"c": {key: code}, "id": "<text id>"}, and each command they carry is later
// reported finished by a last-error report
//
//   {"id": n, "n": {"move.last_error_with_setting":
//       {"error": 0, "data": {"id": "<text id>[*custom]", "point": i, "msg": "finish:0"}}}}
//
// on demand, on a timer, or when the simulated arm has moved it there (`followArm`), optionally
// after a "start" report of the same command, or in place of the finish an error report of a
// command chosen in advance (after which the controller drops every command it still holds, as
// one that stops does). "move.reset" (when not scripted) forgets every unreported command and
// clears the arm's queue.
// Requests of these keys with a numeric id are answered 0 and never reported; while following
// the arm they move it all the same. Refusals are scripted on the command service like any other
// reply (a scripted request is never reported). While following the arm, a request that would
// take the arm past the commands it holds (ArmState::kMaxQueued) is answered -1.

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
  /// From now on motion moves the simulator's arm (ArmState::enableMotion) and each queued
  /// command is reported when the arm's motion of it ends; a "start" report (`reportStarts`)
  /// when it begins, an error report (`failCommand`) when its turn comes.
  void followArm();

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

  /// Commands received and not yet reported (also those the arm has yet to finish).
  std::size_t pending() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
