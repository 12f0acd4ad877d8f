#include "velmora_sim/request_log.h"

namespace velmora_sim {

void RequestLog::setEnabled(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  enabled_ = on;
}

bool RequestLog::enabled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return enabled_;
}

void RequestLog::add(Request request) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!enabled_) return;
    records_.push_back(std::move(request));
  }
  changed_.notify_all();
}

void RequestLog::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
}

std::vector<Request> RequestLog::all() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

std::vector<Request> RequestLog::withKey(const std::string& key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Request> out;
  for (const auto& r : records_) {
    if (r.key == key) out.push_back(r);
  }
  return out;
}

std::size_t RequestLog::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_.size();
}

std::size_t RequestLog::count(const std::string& key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t n = 0;
  for (const auto& r : records_) n += r.key == key ? 1 : 0;
  return n;
}

std::optional<Request> RequestLog::waitFor(const Predicate& match, std::chrono::milliseconds timeout,
                                           std::size_t nth) const {
  std::unique_lock<std::mutex> lock(mutex_);
  std::optional<Request> found;
  changed_.wait_for(lock, timeout, [&] {
    std::size_t seen = 0;
    for (const auto& r : records_) {
      if (match(r) && ++seen == nth) {
        found = r;
        return true;
      }
    }
    return false;
  });
  return found;
}

std::optional<Request> RequestLog::waitFor(const std::string& key, std::chrono::milliseconds timeout,
                                           std::size_t nth) const {
  return waitFor([&key](const Request& r) { return r.key == key; }, timeout, nth);
}

bool RequestLog::waitForSize(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return records_.size() >= n; });
}

}  // namespace velmora_sim
