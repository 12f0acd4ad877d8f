#include "velmora_sim/command_service.h"

#include <fmt/format.h>
#include <json/writer.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "tcp_server.h"

namespace velmora_sim {

namespace {

constexpr std::size_t kMaxMessage = 16 * 1024 * 1024;  // beyond it the peer is not a client
constexpr int kAnyForm = -1;

std::string compact(const Json::Value& value) {
  std::string text = frame(value);
  text.pop_back();
  return text;
}

}  // namespace

Exchange::Exchange(const Request& request, std::shared_ptr<Connection> connection)
    : request_(request), connection_(std::move(connection)) {}

void Exchange::reply(Json::Value value) {
  kind_ = Kind::value;
  value_ = std::move(value);
  decided_ = true;
}

void Exchange::replyMessage(Json::Value message) {
  if (message.isObject() && !message.isMember("id")) message["id"] = request_.id;
  kind_ = Kind::message;
  value_ = std::move(message);
  decided_ = true;
}

void Exchange::silent() {
  kind_ = Kind::silent;
  decided_ = true;
}

void Exchange::drop() {
  kind_ = Kind::drop;
  decided_ = true;
}

void Exchange::reset() {
  kind_ = Kind::reset;
  decided_ = true;
}

void Exchange::delay(std::chrono::milliseconds delay) { delay_ = delay; }

Behaviour Behaviour::reply(Json::Value value) {
  Behaviour b;
  b.what_ = "reply " + compact(value);
  b.handler_ = [value = std::move(value)](Exchange& x) { x.reply(value); };
  return b;
}

Behaviour Behaviour::message(Json::Value message) {
  Behaviour b;
  b.what_ = "message " + compact(message);
  b.handler_ = [message = std::move(message)](Exchange& x) { x.replyMessage(message); };
  return b;
}

Behaviour Behaviour::wrongKind() {
  Behaviour b;
  b.what_ = "wrong kind";
  b.handler_ = [](Exchange& x) {
    Json::Value message(Json::objectValue);
    message[formMember(x.request().form)] = "wrong kind";
    x.replyMessage(std::move(message));
  };
  return b;
}

Behaviour Behaviour::silent() {
  Behaviour b;
  b.what_ = "silent";
  b.handler_ = [](Exchange& x) { x.silent(); };
  return b;
}

Behaviour Behaviour::drop() {
  Behaviour b;
  b.what_ = "drop";
  b.handler_ = [](Exchange& x) { x.drop(); };
  return b;
}

Behaviour Behaviour::reset() {
  Behaviour b;
  b.what_ = "reset";
  b.handler_ = [](Exchange& x) { x.reset(); };
  return b;
}

Behaviour Behaviour::handle(Handler handler) {
  Behaviour b;
  b.what_ = "handler";
  b.handler_ = std::move(handler);
  return b;
}

Behaviour Behaviour::after(std::chrono::milliseconds delay) const {
  Behaviour b = *this;
  b.delay_ = delay;
  return b;
}

Behaviour Behaviour::times(int n) const {
  Behaviour b = *this;
  b.remaining_ = std::max(n, 0);
  return b;
}

void Behaviour::apply(Exchange& exchange) const {
  if (handler_) handler_(exchange);
  if (delay_.count() > 0) exchange.delay(delay_);
}

void Behaviour::consume() noexcept {
  if (remaining_ > 0) --remaining_;
}

std::string Behaviour::describe() const {
  std::string text = what_;
  if (delay_.count() > 0) text += fmt::format(" after {} ms", delay_.count());
  if (remaining_ >= 0) text += fmt::format(" x{}", remaining_);
  return text;
}

struct CommandService::Impl {
  using Slot = std::pair<int, std::string>;  // form (or kAnyForm) and key

  Impl(asio::io_context& io, const std::string& address, std::uint16_t port)
      : core(io, address, port, [this](const std::shared_ptr<detail::Peer>& peer) { return starter(peer); }) {
    defaults[static_cast<int>(Form::command)] = [](Exchange& x) { x.reply(0); };
    defaults[static_cast<int>(Form::set)] = [](Exchange& x) { x.reply(0); };
    defaults[static_cast<int>(Form::get)] = [](Exchange& x) { x.reply(Json::Value()); };
    defaults[static_cast<int>(Form::watch)] = [](Exchange& x) { x.reply(x.request().payload); };
  }

  detail::Peer::BytesHandler starter(const std::shared_ptr<detail::Peer>&) {
    auto buffer = std::make_shared<std::string>();
    return [this, buffer](detail::Peer& peer, const char* data, std::size_t n) { onBytes(peer, *buffer, data, n); };
  }

  void onBytes(detail::Peer& peer, std::string& buffer, const char* data, std::size_t n) {
    buffer.append(data, n);
    std::size_t begin = 0;
    for (;;) {
      const auto cr = buffer.find('\r', begin);
      if (cr == std::string::npos) break;
      onMessage(peer, std::string_view(buffer).substr(begin, cr + 1 - begin));
      begin = cr + 1;
      if (!peer.isOpen()) return;
    }
    buffer.erase(0, begin);
    if (buffer.size() > kMaxMessage) peer.closeNow();
  }

  void onMessage(detail::Peer& peer, std::string_view raw) {
    const auto now = std::chrono::steady_clock::now();
    Json::Value message;
    const bool parsed = parseJson(raw.substr(0, raw.size() - 1), message) && message.isObject();
    Form form = Form::other;
    const Json::Value* body = nullptr;
    Json::Value id;
    if (parsed) {
      id = message.get("id", Json::Value());
      for (const char* member : {"c", "g", "s", "w"}) {
        if (message.isMember(member)) {
          form = formOf(member);
          body = &message[member];
          break;
        }
      }
    }
    std::vector<Request> requests;
    auto record = [&](std::string key, Json::Value payload) {
      Request r;
      r.form = form;
      r.key = std::move(key);
      r.payload = std::move(payload);
      r.id = id;
      r.raw = std::string(raw);
      r.connection = peer.number();
      r.time = now;
      requests.push_back(std::move(r));
    };
    const bool answerable = body != nullptr && body->isObject() && !body->empty();
    if (answerable) {
      for (const auto& key : body->getMemberNames()) record(key, (*body)[key]);
    } else {
      record("", body != nullptr ? *body : message);
    }
    // In force before the request shows in the log: a test that saw the watch may publish.
    if (answerable && form == Form::watch) noteWatches(peer.number(), requests);
    {
      std::function<void(const Request&)> tap;
      {
        std::lock_guard<std::mutex> lock(mutex);
        tap = observer;
      }
      if (tap) {
        for (const auto& r : requests) tap(r);
      }
    }
    if (log.enabled()) {
      for (const auto& r : requests) log.add(r);
    }
    if (answerable) answer(peer, form, id, requests);
  }

  // A connection's watches last as long as the connection: a new one starts with none.
  void noteWatches(int connection, const std::vector<Request>& requests) {
    std::lock_guard<std::mutex> lock(mutex);
    auto& topics = watched[connection];
    for (const auto& r : requests) {
      if (r.payload.isBool() && r.payload.asBool()) {
        topics.insert(r.key);
      } else {
        topics.erase(r.key);
      }
    }
  }

  int publish(const Json::Value& topics) {
    int sent = 0;
    detail::runOnIo(core.io(), [&] {
      for (const auto& peer : core.peers()) {
        if (!peer->isOpen()) continue;
        Json::Value members(Json::objectValue);
        {
          std::lock_guard<std::mutex> lock(mutex);
          const auto it = watched.find(peer->number());
          if (it == watched.end()) continue;
          for (const auto& topic : topics.getMemberNames()) {
            if (it->second.count(topic) != 0) members[topic] = topics[topic];
          }
        }
        if (members.empty()) continue;
        Json::Value message(Json::objectValue);
        message["id"] = Json::UInt64(++notificationId);
        message["n"] = std::move(members);
        peer->write(frame(message));
        ++sent;
      }
    });
    return sent;
  }

  void answer(detail::Peer& peer, Form form, const Json::Value& id, const std::vector<Request>& requests) {
    auto self = peer.shared_from_this();
    Json::Value values(Json::objectValue);
    std::vector<Json::Value> messages;
    bool drop = false;
    bool reset = false;
    bool silent = false;
    std::chrono::milliseconds delay{0};
    for (const auto& request : requests) {
      Exchange exchange(request, self);
      decide(exchange);
      delay = std::max(delay, exchange.delayed());
      switch (exchange.kind()) {
        case Exchange::Kind::value:
          values[request.key] = exchange.value();
          break;
        case Exchange::Kind::message:
          messages.push_back(exchange.value());
          break;
        case Exchange::Kind::silent:
          silent = true;
          break;
        case Exchange::Kind::drop:
          drop = true;
          break;
        case Exchange::Kind::reset:
          reset = true;
          break;
      }
    }
    if (reset) {
      peer.resetNow();
      return;
    }
    if (drop) {
      peer.closeNow();
      return;
    }
    if (messages.empty() && silent) return;
    std::string bytes;
    if (messages.empty()) {
      Json::Value reply(Json::objectValue);
      reply[formMember(form)] = std::move(values);
      reply["id"] = id;
      bytes = frame(reply);
    } else {
      for (const auto& m : messages) bytes += frame(m);
    }
    peer.later(delay, [bytes = std::move(bytes)](detail::Peer& p) mutable { p.write(std::move(bytes)); });
  }

  void decide(Exchange& exchange) {
    const int form = static_cast<int>(exchange.request().form);
    const std::string& key = exchange.request().key;
    std::optional<Behaviour> step;
    Handler handler;
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (int f : {form, kAnyForm}) {
        const auto it = steps.find(Slot(f, key));
        if (it == steps.end() || it->second.empty()) continue;
        step = it->second.front();
        it->second.front().consume();
        if (it->second.front().remaining() == 0) it->second.pop_front();
        break;
      }
      if (!step) {
        for (int f : {form, kAnyForm}) {
          const auto it = handlers.find(Slot(f, key));
          if (it != handlers.end()) {
            handler = it->second;
            break;
          }
        }
        if (!handler) {
          const auto it = served.find(Slot(form, key));
          if (it != served.end()) handler = it->second;
        }
        if (!handler && form >= 0 && form < static_cast<int>(defaults.size())) handler = defaults[form];
      }
    }
    try {
      if (step) {
        step->apply(exchange);
      } else if (handler) {
        handler(exchange);
      }
    } catch (const std::exception& e) {
      std::cerr << "velmora-sim: handler of " << key << " threw: " << e.what() << '\n';
      exchange.silent();
    }
  }

  int toAll(const std::string& bytes) {
    int sent = 0;
    detail::runOnIo(core.io(), [&] {
      for (const auto& peer : core.peers()) {
        if (!peer->isOpen()) continue;
        peer->write(bytes);
        ++sent;
      }
    });
    return sent;
  }

  detail::ServiceCore core;
  RequestLog log;
  mutable std::mutex mutex;
  std::map<Slot, std::deque<Behaviour>> steps;
  std::map<Slot, Handler> handlers;
  std::map<Slot, Handler> served;
  std::array<Handler, 4> defaults;
  std::function<void(const Request&)> observer;
  std::map<int, std::set<std::string>> watched;  // by connection number
  std::atomic<std::uint64_t> notificationId{0};
};

CommandService::CommandService(asio::io_context& io, const std::string& address, std::uint16_t port)
    : impl_(std::make_shared<Impl>(io, address, port)) {}

CommandService::~CommandService() = default;

std::uint16_t CommandService::port() const noexcept { return impl_->core.port(); }

void CommandService::script(const std::string& key, Behaviour step) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->steps[Impl::Slot(kAnyForm, key)].push_back(std::move(step));
}

void CommandService::script(Form form, const std::string& key, Behaviour step) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->steps[Impl::Slot(static_cast<int>(form), key)].push_back(std::move(step));
}

void CommandService::handle(const std::string& key, Handler handler) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->handlers[Impl::Slot(kAnyForm, key)] = std::move(handler);
}

void CommandService::handle(Form form, const std::string& key, Handler handler) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->handlers[Impl::Slot(static_cast<int>(form), key)] = std::move(handler);
}

void CommandService::serve(Form form, const std::string& key, Handler handler) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->served[Impl::Slot(static_cast<int>(form), key)] = std::move(handler);
}

void CommandService::setDefault(Form form, Handler handler) {
  const auto index = static_cast<std::size_t>(form);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (index < impl_->defaults.size()) impl_->defaults[index] = std::move(handler);
}

void CommandService::clearScripts() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->steps.clear();
  impl_->handlers.clear();
}

std::vector<std::string> CommandService::unusedSteps() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  std::vector<std::string> out;
  for (const auto& [slot, queue] : impl_->steps) {
    for (const auto& step : queue) {
      if (step.remaining() <= 0) continue;
      const char* form = slot.first == kAnyForm ? "*" : formMember(static_cast<Form>(slot.first));
      out.push_back(fmt::format("{} {}: {}", form, slot.second, step.describe()));
    }
  }
  return out;
}

RequestLog& CommandService::log() noexcept { return impl_->log; }

void CommandService::observe(std::function<void(const Request&)> observer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->observer = std::move(observer);
}

int CommandService::notify(const Json::Value& topics) {
  Json::Value message(Json::objectValue);
  message["id"] = Json::UInt64(++impl_->notificationId);
  message["n"] = topics;
  return impl_->toAll(frame(message));
}

int CommandService::publish(const Json::Value& topics) { return topics.isObject() ? impl_->publish(topics) : 0; }

int CommandService::broadcast(const Json::Value& message) { return impl_->toAll(frame(message)); }

int CommandService::broadcastRaw(const std::string& bytes) { return impl_->toAll(bytes); }

void CommandService::dropConnections() { impl_->core.dropConnections(); }
void CommandService::refuse(bool refused) { impl_->core.refuse(refused); }
int CommandService::acceptCount() const noexcept { return impl_->core.acceptCount(); }
int CommandService::openConnections() const noexcept { return impl_->core.openConnections(); }
bool CommandService::waitForOpenConnections(int n, std::chrono::milliseconds timeout) const {
  return impl_->core.waitForOpenConnections(n, timeout);
}
std::shared_ptr<Connection> CommandService::latestConnection() const { return impl_->core.latest(); }
void CommandService::closeAll() { impl_->core.closeAll(); }

}  // namespace velmora_sim
