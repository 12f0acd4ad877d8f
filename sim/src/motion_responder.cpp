#include "velmora_sim/motion_responder.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <random>

#include "velmora_sim/command_service.h"
#include "velmora_sim/simulator.h"

namespace velmora_sim {

namespace {

constexpr const char* kTopic = "move.last_error_with_setting";
constexpr const char* kQueuedKeys[] = {"move.j",  "move.jc", "move.l",    "move.c",
                                       "move.cf", "move.sp", "move.wait", "move.replay"};

Json::Value reportBody(const std::string& id, int point, const std::string& msg, int error) {
  Json::Value body;
  body["error"] = error;
  body["data"]["id"] = id;
  body["data"]["point"] = point;
  body["data"]["msg"] = msg;
  return body;
}

// The ids one request's commands are reported under: its id, with "*custom" where a command
// carries a custom text.
std::vector<std::string> commandIds(const std::string& id, const Json::Value& body) {
  std::vector<std::string> ids;
  auto add = [&](const Json::Value& command) {
    const Json::Value& custom = command.isObject() ? command["custom"] : Json::Value::nullSingleton();
    ids.push_back(custom.isString() ? id + "*" + custom.asString() : id);
  };
  if (body.isObject() && body["path"].isArray()) {
    for (const auto& command : body["path"]) add(command);
  } else {
    add(body);
  }
  return ids;
}

}  // namespace

struct MotionResponder::State : std::enable_shared_from_this<State> {
  struct Command {
    std::string id;
    int point = 0;
    std::weak_ptr<Connection> connection;
    bool fails = false;
    int error = 0;
    std::string msg;
  };

  explicit State(Simulator& sim) : io(sim.io()), service(sim.command()) {}

  void onQueued(Exchange& exchange) {
    const Request& request = exchange.request();
    if (!request.id.isString()) {
      exchange.reply(0);
      return;
    }
    const std::string id = request.id.asString();
    std::lock_guard<std::mutex> lock(mutex);
    exchange.reply(0);
    std::vector<Command> commands;
    int point = 0;
    for (auto& commandId : commandIds(id, request.payload)) {
      Command command;
      command.id = std::move(commandId);
      command.point = point++;
      command.connection = exchange.connection();
      if (failAt != 0 && ++counted == failAt) {
        command.fails = true;
        command.error = failError;
        command.msg = failMsg;
        failAt = 0;
      }
      commands.push_back(std::move(command));
    }
    if (!timed) {
      for (auto& c : commands) unreported.push_back(std::move(c));
      return;
    }
    // Scheduled after the reply has been written, so the reply comes first on the wire.
    std::uniform_int_distribution<long long> pick(minDelay.count(), maxDelay.count());
    auto when = std::max(std::chrono::steady_clock::now() + std::chrono::milliseconds(pick(random)), lastDue);
    lastDue = when;
    const std::uint64_t gen = generation;
    auto self = shared_from_this();
    asio::post(io, [self, when, gen, commands = std::move(commands)]() mutable {
      auto timer = std::make_shared<asio::steady_timer>(self->io, when);
      timer->async_wait([self, timer, gen, commands = std::move(commands)](const std::error_code& ec) {
        if (ec) return;
        for (const auto& c : commands) {
          if (!self->sendFinish(c, gen)) break;
        }
      });
    });
  }

  // False once the command failed: the controller holds nothing after it.
  bool sendFinish(const Command& command, std::uint64_t gen) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (gen != generation) return false;
      if (command.fails) dropAllLocked();
    }
    return deliver(command);
  }

  void dropAllLocked() {
    unreported.clear();
    ++generation;
  }

  bool deliver(const Command& command) {
    const auto connection = command.connection.lock();
    if (!connection) return !command.fails;
    if (starts) connection->send(notification(reportBody(command.id, command.point, "start", 0)));
    if (command.fails) {
      connection->send(notification(reportBody(command.id, command.point, command.msg, command.error)));
      return false;
    }
    connection->send(notification(reportBody(command.id, command.point, "finish:0", 0)));
    return true;
  }

  Json::Value notification(Json::Value body) {
    Json::Value message;
    message["id"] = Json::UInt64(++notificationId);
    message["n"][kTopic] = std::move(body);
    return message;
  }

  int finish(std::size_t n) {
    std::vector<Command> due;
    {
      std::lock_guard<std::mutex> lock(mutex);
      n = std::min(n, unreported.size());
      due.assign(unreported.begin(), unreported.begin() + static_cast<std::ptrdiff_t>(n));
      unreported.erase(unreported.begin(), unreported.begin() + static_cast<std::ptrdiff_t>(n));
    }
    int reported = 0;
    for (const auto& c : due) {
      ++reported;
      if (c.fails) {
        std::lock_guard<std::mutex> lock(mutex);
        dropAllLocked();
      }
      if (!deliver(c)) break;
    }
    return reported;
  }

  asio::io_context& io;
  CommandService& service;
  mutable std::mutex mutex;
  std::deque<Command> unreported;
  bool timed = false;
  std::chrono::milliseconds minDelay{0};
  std::chrono::milliseconds maxDelay{0};
  std::chrono::steady_clock::time_point lastDue{};
  std::uint64_t generation = 0;
  std::mt19937_64 random{20240611};
  std::atomic<bool> starts{false};
  std::uint64_t counted = 0;  // commands received since `failCommand`
  std::uint64_t failAt = 0;   // 0: none
  int failError = 0;
  std::string failMsg;
  std::atomic<std::uint64_t> notificationId{0};
};

MotionResponder::MotionResponder(Simulator& sim) : state_(std::make_shared<State>(sim)) {
  std::weak_ptr<State> weak = state_;
  for (const char* key : kQueuedKeys) {
    sim.command().serve(Form::command, key, [weak](Exchange& exchange) {
      if (const auto state = weak.lock()) {
        state->onQueued(exchange);
      } else {
        exchange.reply(0);
      }
    });
  }
  sim.command().serve(Form::command, "move.reset", [weak](Exchange& exchange) {
    if (const auto state = weak.lock()) {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->unreported.clear();
      ++state->generation;
    }
    exchange.reply(0);
  });
}

MotionResponder::~MotionResponder() = default;

void MotionResponder::finishAfter(std::chrono::milliseconds min, std::chrono::milliseconds max) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->timed = true;
  state_->minDelay = std::max(min, std::chrono::milliseconds(0));
  state_->maxDelay = std::max(max, state_->minDelay);
}

void MotionResponder::reportStarts(bool on) { state_->starts.store(on); }

void MotionResponder::failCommand(int n, int error, std::string msg) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->counted = 0;
  state_->failAt = n > 0 ? static_cast<std::uint64_t>(n) : 0;
  state_->failError = error;
  state_->failMsg = std::move(msg);
}

int MotionResponder::finishPending() { return state_->finish(static_cast<std::size_t>(-1)); }

int MotionResponder::finishOldest(int n) { return state_->finish(static_cast<std::size_t>(std::max(n, 0))); }

void MotionResponder::report(const std::string& id, int point, const std::string& msg, int error) {
  reportRaw(reportBody(id, point, msg, error));
}

void MotionResponder::reportRaw(const Json::Value& body) {
  Json::Value topics;
  topics[kTopic] = body;
  state_->service.notify(topics);
}

std::size_t MotionResponder::pending() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->unreported.size();
}

}  // namespace velmora_sim
