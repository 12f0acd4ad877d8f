#pragma once
// A robot implementation against the test's own simulator, run in a scratch working directory
// (the robot log and its settings file live below the working directory, and test cases run as
// parallel processes).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/log_registry.h"
#include "common/temp_dir.h"
#include "robot_impl/event_delivery.h"
#include "robot_impl/robot_impl.h"
#include "support/process_stats.h"
#include "support/sim_fixture.h"

using Impl = velmora::BaseRobot::Impl;

/// Scratch working directory for the scope of a test.
class ScratchCwd {
 protected:
  TempDir dir_;
  ScopedCwd cwd_{dir_.path()};
};

class RobotTest : public ScratchCwd, public SimTest {
 protected:
  void TearDown() override {
    // Delivery threads are detached: none may outlive what its callback captured.
    EXPECT_TRUE(waitUntil([] { return velmora::internal::runningEventDeliveries() == 0; }, std::chrono::seconds(5)));
    // Robot logs are kept by controller id for the process; the next test has another folder.
    for (const auto* id : {"VELSIM0000000001", "../../x", "OTHERCONTROLLER1"}) {
      velmora::internal::LogRegistry::instance().drop(id);
    }
    SimTest::TearDown();
  }

  /// A collaborative 7-axis robot connected to the simulator from the test's address, its links
  /// built with `options`.
  std::unique_ptr<Impl> connected(const velmora::internal::LinkOptions& options = {}) {
    auto impl = std::make_unique<Impl>(options);
    impl->reconnect(address(), address(), 1, 7);
    return impl;
  }

  /// Makes the robot's state receiver receive, as a started stream does.
  void startStream(Impl& impl) {
    ASSERT_EQ(impl.receiver->setRecipe({}, 7), 0);
    ASSERT_TRUE(sim().state().setFields(7, {}));
    std::error_code ec;
    impl.receiver->open(ec, true);
    ASSERT_FALSE(ec) << ec.message();
    ASSERT_TRUE(sim().state().setTarget(address(), static_cast<unsigned short>(impl.receiver->port())));
    ASSERT_TRUE(sim().state().sendNow());
    impl.receiver->receiveFirst();
    ASSERT_TRUE(impl.receiver->isReceiving());
  }

  /// Records of `key` the simulator received so far.
  std::size_t received(const std::string& key) { return command().log().count(key); }
};

/// Collects what the event callbacks of a test receive, from any thread.
struct Deliveries {
  std::mutex mutex;
  std::vector<velmora::EventInfo> infos;
  std::atomic<int> count{0};

  // Delivery threads are detached: let the last one finish before the callbacks' target goes.
  ~Deliveries() {
    waitUntil([] { return velmora::internal::runningEventDeliveries() == 0; }, std::chrono::seconds(5));
  }

  velmora::EventCallback callback() {
    return [this](const velmora::EventInfo& info) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        infos.push_back(info);
      }
      ++count;
    };
  }
  bool waitFor(int n) {
    return waitUntil([&] { return count.load() >= n; }, std::chrono::seconds(5));
  }
};
