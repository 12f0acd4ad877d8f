#pragma once
// What the simulated controller received on its command service, one record per key of each
// request, for tests to query and wait on.

#include <json/value.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "velmora_sim/wire.h"

namespace velmora_sim {

struct Request {
  Form form = Form::other;
  std::string key;      ///< "" when the form member is not an object or the message has no form
  Json::Value payload;  ///< the value under the key (or the whole form member)
  Json::Value id;       ///< as sent: a number, a text, or null when missing
  std::string raw;      ///< the message's bytes, carriage return included
  int connection = 0;   ///< accept number of the connection it came on
  std::chrono::steady_clock::time_point time;
};

class RequestLog {
 public:
  using Predicate = std::function<bool(const Request&)>;

  /// Off, nothing is recorded (benchmarks); on by default.
  void setEnabled(bool on);
  bool enabled() const;
  void add(Request request);
  void clear();

  std::vector<Request> all() const;
  std::vector<Request> withKey(const std::string& key) const;
  std::size_t size() const;
  std::size_t count(const std::string& key) const;

  /// The `nth` record (from 1) matching, waiting up to `timeout` for it to arrive.
  std::optional<Request> waitFor(const Predicate& match, std::chrono::milliseconds timeout, std::size_t nth = 1) const;
  std::optional<Request> waitFor(const std::string& key, std::chrono::milliseconds timeout, std::size_t nth = 1) const;
  /// Waits until at least `n` records are logged.
  bool waitForSize(std::size_t n, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Request> records_;
  bool enabled_ = true;
};

}  // namespace velmora_sim
