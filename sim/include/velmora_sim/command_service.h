#pragma once
// The simulated command service (TCP 6666): mirrored replies by key and form, scripted
// behaviour per key, pushed notifications and a log of every request.

#include <json/value.h>

#include <asio/io_context.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "velmora_sim/connection.h"
#include "velmora_sim/request_log.h"
#include "velmora_sim/wire.h"

namespace velmora_sim {

/// The answer to one key of one request, decided by a handler. Without a decision the reply
/// mirrors the request with the form's default value.
class Exchange {
 public:
  Exchange(const Request& request, std::shared_ptr<Connection> connection);

  const Request& request() const noexcept { return request_; }
  /// The connection the request came on; keep it to send reports later.
  const std::shared_ptr<Connection>& connection() const noexcept { return connection_; }

  /// Reply with `value` under the key: {form:{key:value},"id":id}.
  void reply(Json::Value value);
  /// Send this whole message instead of the mirrored reply; the request's id is put in unless
  /// the message has an "id" member already.
  void replyMessage(Json::Value message);
  /// Send nothing.
  void silent();
  /// Close the connection instead of replying.
  void drop();
  /// Reset the connection (the client reads an error, not an end) instead of replying.
  void reset();
  /// Send the reply after `delay`.
  void delay(std::chrono::milliseconds delay);

  // The decision, read by the service.
  enum class Kind { value, message, silent, drop, reset };
  Kind kind() const noexcept { return kind_; }
  const Json::Value& value() const noexcept { return value_; }
  bool decided() const noexcept { return decided_; }
  std::chrono::milliseconds delayed() const noexcept { return delay_; }

 private:
  const Request& request_;
  std::shared_ptr<Connection> connection_;
  Kind kind_ = Kind::value;
  Json::Value value_;
  bool decided_ = false;
  std::chrono::milliseconds delay_{0};
};

using Handler = std::function<void(Exchange&)>;

/// One scripted step for a key: what to answer, how late and how many times.
class Behaviour {
 public:
  static Behaviour reply(Json::Value value);
  /// A whole message instead of the mirrored reply (its "id" filled in unless present).
  static Behaviour message(Json::Value message);
  /// The form member holds a text instead of an object: {form:"wrong kind","id":id}.
  static Behaviour wrongKind();
  static Behaviour silent();
  static Behaviour drop();
  static Behaviour reset();
  static Behaviour handle(Handler handler);

  /// Answer `delay` later.
  Behaviour after(std::chrono::milliseconds delay) const;
  /// Apply to the next `n` requests of the key only (the test fails when they never come, see
  /// `CommandService::unusedSteps`); without it the step applies for ever.
  Behaviour times(int n) const;

  void apply(Exchange& exchange) const;
  int remaining() const noexcept { return remaining_; }
  void consume() noexcept;
  std::string describe() const;

 private:
  Handler handler_;
  std::string what_;
  std::chrono::milliseconds delay_{0};
  int remaining_ = -1;  // -1: for ever
};

class CommandService {
 public:
  CommandService(asio::io_context& io, const std::string& address, std::uint16_t port);
  ~CommandService();
  CommandService(const CommandService&) = delete;
  CommandService& operator=(const CommandService&) = delete;

  std::uint16_t port() const noexcept;

  // Behaviour. Lookup order per key of a request: scripted steps of (form, key), steps of the
  // key for any form, the handler of (form, key), the handler of the key, the controller's own
  // answer for (form, key) (`serve`), the form's default.
  void script(const std::string& key, Behaviour step);
  void script(Form form, const std::string& key, Behaviour step);
  void handle(const std::string& key, Handler handler);
  void handle(Form form, const std::string& key, Handler handler);
  /// Replaces a form's default: command and set reply 0, get replies null, watch echoes its
  /// flag.
  void setDefault(Form form, Handler handler);
  /// The controller's own answer for a key in one form; a test's scripts and handlers for the
  /// key come first, and `clearScripts` keeps it.
  void serve(Form form, const std::string& key, Handler handler);
  /// Forgets every script and handler (defaults and served keys stay).
  void clearScripts();
  /// Steps given a count that requests have not used up, described ("s eci.ip: reply -1 x1").
  std::vector<std::string> unusedSteps() const;

  // What arrived.
  RequestLog& log() noexcept;
  /// Called on the simulator's thread for every record before it is answered, also while the
  /// log is off. Null removes it.
  void observe(std::function<void(const Request&)> observer);

  // Pushing.
  /// Sends {"id":<n>,"n":topics} to every open connection; returns how many got it.
  int notify(const Json::Value& topics);
  /// As a controller publishes: each open connection gets {"id":<n>,"n":{...}} with the
  /// members of `topics` it watches ("w" with true, until "w" with false), none when it watches
  /// none of them; returns how many connections got a message.
  int publish(const Json::Value& topics);
  /// Sends a message, or raw bytes, to every open connection; returns how many got it.
  int broadcast(const Json::Value& message);
  int broadcastRaw(const std::string& bytes);

  // The connection.
  /// Closes every open connection.
  void dropConnections();
  /// Refused: the listener is closed and connection attempts fail; false opens it again.
  void refuse(bool refused);
  int acceptCount() const noexcept;
  int openConnections() const noexcept;
  bool waitForOpenConnections(int n, std::chrono::milliseconds timeout) const;
  /// The newest open connection, or null.
  std::shared_ptr<Connection> latestConnection() const;

  /// Closes the listener and every connection (the simulator's shutdown).
  void closeAll();

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace velmora_sim
