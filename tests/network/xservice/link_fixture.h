#pragma once
// A command link started against the test's own simulator, and a recorder of what the link
// hands to its callbacks.

#include <gtest/gtest.h>
#include <json/value.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "network/xservice/xservice.h"
#include "support/sim_fixture.h"

class LinkTest : public SimTest {
 protected:
  void SetUp() override { start(link, 1); }

  /// Starts `which` against the simulator, which then holds `connections` command connections.
  void start(velmora::internal::XService& which, std::size_t connections) {
    which.connect(address(), 6666);
    std::error_code ec;
    which.start(ec);
    ASSERT_FALSE(ec);
    ASSERT_TRUE(command().waitForOpenConnections(connections, std::chrono::seconds(2)));
  }

  // Stopped before the test's locals and members go: its callbacks may refer to them.
  void TearDown() override {
    link.stop();
    SimTest::TearDown();
  }

  velmora::internal::XService link;
};

/// Messages handed to one callback, in order.
class Recorder {
 public:
  void operator()(const Json::Value& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
    changed_.notify_all();
  }
  /// Waits until `n` messages are in; false when they are not within `timeout`.
  bool waitFor(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= n; });
  }
  std::vector<Json::Value> messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::size_t size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Json::Value> messages_;
};
