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

// The bodies of one request's commands: the elements of "path", else the body itself.
std::vector<const Json::Value*> commandBodies(const Json::Value& body) {
  std::vector<const Json::Value*> bodies;
  if (body.isObject() && body["path"].isArray()) {
    for (const auto& command : body["path"]) bodies.push_back(&command);
  } else {
    bodies.push_back(&body);
  }
  return bodies;
}

// The id a command is reported under: its request's id, with "*custom" where the command
// carries a custom text.
std::string commandId(const std::string& id, const Json::Value& command) {
  const Json::Value& custom = command.isObject() ? command["custom"] : Json::Value::nullSingleton();
  return custom.isString() ? id + "*" + custom.asString() : id;
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

  explicit State(Simulator& sim) : io(sim.io()), service(sim.command()), arm(sim.arm()) {}

  void onQueued(Exchange& exchange) {
    const Request& request = exchange.request();
    const auto bodies = commandBodies(request.payload);
    if (following.load()) {
      // An arm refuses what it cannot do when the request comes, and queues nothing of it.
      for (const Json::Value* body : bodies) {
        if (const int refusal = arm.admit(request.key, *body); refusal != 0) return exchange.reply(refusal);
      }
    }
    if (!request.id.isString()) {
      // Immediate commands move the arm and are never reported.
      bool taken = true;
      if (following.load()) {
        std::vector<ArmState::Command> moves;
        for (const Json::Value* body : bodies) moves.push_back({request.key, *body, {}, {}, false, {}});
        taken = arm.enqueue(std::move(moves));
      }
      exchange.reply(taken ? 0 : -1);
      return;
    }
    const std::string id = request.id.asString();
    std::lock_guard<std::mutex> lock(mutex);
    exchange.reply(0);
    std::vector<Command> commands;
    int point = 0;
    for (const Json::Value* body : bodies) {
      Command command;
      command.id = commandId(id, *body);
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
    if (following.load()) {
      followArm(exchange, bodies, std::move(commands));
      return;
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

  // Hands the commands to the arm, which reports them as its motion begins and ends.
  void followArm(Exchange& exchange, const std::vector<const Json::Value*>& bodies, std::vector<Command> commands) {
    std::vector<ArmState::Command> moves;
    const std::weak_ptr<State> weak = shared_from_this();
    const std::uint64_t gen = generation;
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const Command& c = commands[i];
      moves.push_back({exchange.request().key, *bodies[i],
                       [weak, c, gen] {
                         if (const auto self = weak.lock()) self->armStarted(c, gen);
                       },
                       [weak, c, gen] {
                         if (const auto self = weak.lock()) self->armFinished(c, gen);
                       },
                       c.fails,
                       [weak, c, gen](int code) {
                         if (const auto self = weak.lock()) self->armFailed(c, gen, code);
                       }});
    }
    if (!arm.enqueue(std::move(moves))) {
      exchange.reply(-1);
      return;
    }
    followed += commands.size();
  }

  void armStarted(const Command& command, std::uint64_t gen) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (gen != generation) return;
      if (command.fails) dropAllLocked();
    }
    if (command.fails) {
      send(command, command.msg, command.error);
    } else if (starts) {
      send(command, "start", 0);
    }
  }

  // The arm refused the command's way as it began, or stopped under it: the controller reports
  // the error and holds nothing after it.
  void armFailed(const Command& command, std::uint64_t gen, int code) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (gen != generation) return;
      dropAllLocked();
    }
    send(command, "error", code);
  }

  void armFinished(const Command& command, std::uint64_t gen) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (gen != generation) return;
      if (followed > 0) --followed;
    }
    send(command, "finish:0", 0);
  }

  void send(const Command& command, const std::string& msg, int error) {
    if (const auto connection = command.connection.lock()) {
      connection->send(notification(reportBody(command.id, command.point, msg, error)));
    }
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
    followed = 0;
    ++generation;
  }

  bool deliver(const Command& command) {
    if (starts) send(command, "start", 0);
    if (command.fails) {
      send(command, command.msg, command.error);
      return false;
    }
    send(command, "finish:0", 0);
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
  ArmState& arm;
  mutable std::mutex mutex;
  std::deque<Command> unreported;
  std::atomic<bool> following{false};
  std::size_t followed = 0;  // handed to the arm, not yet reported
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
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->dropAllLocked();
      }
      state->arm.clear();
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

void MotionResponder::followArm() {
  state_->arm.enableMotion();
  state_->following.store(true);
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
  return state_->unreported.size() + state_->followed;
}

}  // namespace velmora_sim
