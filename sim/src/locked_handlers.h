// Command handlers that answer from a piece of simulator state under its lock.
#pragma once

#include <json/value.h>

#include <memory>
#include <mutex>

#include "velmora_sim/command_service.h"

namespace velmora_sim::detail {

/// `locked(answer)` makes a handler that replies `answer(*state, payload)` with `state->mutex`
/// held for the whole answer. The handlers hold the state, not its owner: the service may
/// outlive the owner.
template <class State>
auto lockedHandlers(std::shared_ptr<State> state) {
  return [state](auto answer) {
    return [state, answer](Exchange& x) {
      std::lock_guard<std::mutex> lock(state->mutex);
      x.reply(Json::Value(answer(*state, x.request().payload)));
    };
  };
}

}  // namespace velmora_sim::detail
