#pragma once
// A motion control on a link to the test's own simulator, whose motion responder answers the
// queued requests; and helpers to watch what the controller saw and what the callback heard.

#include <velmora/error.h>

#include <gtest/gtest.h>

#include <any>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "motion_control/motion_control.h"
#include "support/sim_fixture.h"
#include "velmora_sim/motion_responder.h"

namespace velmora::internal {
struct MotionControlTestAccess {
  static MotionRuntime& runtime(MotionControl<1>& mc) { return *mc.runtime_; }
};
}  // namespace velmora::internal

inline velmora::internal::MotionRuntime& runtimeOf(velmora::internal::MotionControl<1>& mc) {
  return velmora::internal::MotionControlTestAccess::runtime(mc);
}

/// The pose of the linear moves the tests queue.
inline const velmora::CartesianPosition kPose{0.3, 0.1, 0.4, 3.14, 0, 0};

inline std::vector<velmora::MoveLCommand> lines(int n) {
  return std::vector<velmora::MoveLCommand>(n, velmora::MoveLCommand(kPose, 100, 0));
}

/// One linear move appended; its id.
inline std::string appendOne(velmora::internal::MotionControl<1>& mc) {
  std::string id;
  std::error_code ec;
  mc.appendCommand(lines(1), id, ec);
  EXPECT_FALSE(ec) << ec.value();
  return id;
}

/// The execution information the callback was handed, in order. The callback shares what it
/// records, so a report that comes while a fixture's robot outlives the test body lands safely.
class Heard {
 public:
  velmora::EventCallback callback() {
    return [state = state_](const velmora::EventInfo& info) { state->add(info); };
  }
  void add(const velmora::EventInfo& info) { state_->add(info); }
  bool waitFor(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] { return state_->infos.size() >= n; });
  }
  std::vector<velmora::EventInfo> all() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->infos;
  }
  std::size_t size() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->infos.size();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<velmora::EventInfo> infos;
    void add(const velmora::EventInfo& info) {
      std::lock_guard<std::mutex> lock(mutex);
      infos.push_back(info);
      changed.notify_all();
    }
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

template <typename T>
T entry(const velmora::EventInfo& info, const std::string& key) {
  const auto it = info.find(key);
  if (it == info.end()) return T{};
  const T* value = std::any_cast<T>(&it->second);
  return value ? *value : T{};
}

/// Ends the test program when an iteration runs over its limit: a hang would otherwise only
/// show as the whole test timing out, without saying where.
class Watchdog {
 public:
  Watchdog(std::chrono::milliseconds limit, std::string what) : limit_(limit), what_(std::move(what)) {
    thread_ = std::thread([this] { watch(); });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  void kick(int iteration) {
    std::lock_guard<std::mutex> lock(mutex_);
    iteration_ = iteration;
    ++kicks_;
    changed_.notify_all();
  }

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_) {
      const auto seen = kicks_;
      if (!changed_.wait_for(lock, limit_, [&] { return done_ || kicks_ != seen; })) {
        std::fprintf(stderr, "watchdog: %s stuck in iteration %d for over %lld ms\n", what_.c_str(), iteration_,
                     static_cast<long long>(limit_.count()));
        std::abort();
      }
    }
  }

  std::chrono::milliseconds limit_;
  std::string what_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  int iteration_ = -1;
  unsigned long kicks_ = 0;
  std::thread thread_;
};

class MotionTest : public SimTest {
 protected:
  MotionTest() : responder(sim()) {}

  /// A link to the simulator, connected.
  std::shared_ptr<velmora::internal::XService> connectLink(const velmora::internal::LinkOptions& options = {}) {
    auto link = std::make_shared<velmora::internal::XService>(options);
    link->connect(address(), 6666);
    std::error_code ec;
    link->start(ec);
    EXPECT_FALSE(ec) << ec.value();
    return link;
  }

  /// Text ids of the requests under `key` as the controller received them.
  std::vector<std::string> wireIds(const std::string& key) {
    std::vector<std::string> ids;
    for (const auto& r : command().log().withKey(key)) {
      if (r.id.isString()) ids.push_back(r.id.asString());
    }
    return ids;
  }

  velmora_sim::MotionResponder responder;
};
