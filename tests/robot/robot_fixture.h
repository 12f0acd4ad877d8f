#pragma once
// A robot of the public API connected to the test's own simulator (a 7-axis collaborative
// controller), in a scratch working directory for its robot log.

#include <velmora/robots.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "robot_impl/robot_assembly.h"
#include "robot_impl/robot_fixture.h"
#include "support/json_match.h"
#include "support/link_options.h"

/// An operation's result reduced to text, so one table holds operations of every result type.
using ResultCall = std::function<std::string(velmora::OstraMaxRobot&, std::error_code&)>;

/// An operation that gives only its code, as a `ResultCall` with an empty result.
inline ResultCall withoutResult(std::function<void(velmora::OstraMaxRobot&, std::error_code&)> op) {
  return [op](velmora::OstraMaxRobot& r, std::error_code& ec) {
    op(r, ec);
    return std::string();
  };
}

/// A simulated controller with `joints` axes of the given work type.
inline velmora_sim::ControllerInfo arm(int joints, const char* workType) {
  velmora_sim::ControllerInfo info;
  info.jointCount = joints;
  info.workType = workType;
  return info;
}

/// A scripted reply of `key` and what the operation makes of it.
struct ReplyCase {
  const char* key;
  velmora_sim::Form form;
  const char* reply;  // JSON text
  ResultCall call;
  std::string result;
  int code;
};

/// The test's simulator and scratch folder, with a look at what the simulator received.
class RobotSimTest : public RobotTest {
 protected:
  /// The last request of `key` the simulator received; a record with an empty key when none.
  velmora_sim::Request last(const std::string& key) {
    const auto records = command().log().withKey(key);
    return records.empty() ? velmora_sim::Request{} : records.back();
  }
};

/// A connected robot on top.
class RobotOpsTest : public RobotSimTest {
 protected:
  void SetUp() override {
    robot_ = std::make_unique<velmora::OstraMaxRobot>(address(), address());
    command().log().clear();
  }
  void TearDown() override {
    robot_.reset();
    RobotSimTest::TearDown();
  }

  velmora::OstraMaxRobot& robot() { return *robot_; }

  /// Replaces the robot with one connected the same way whose links wait `wait` for a reply.
  void useRequestWait(std::chrono::milliseconds wait) {
    robot_.reset();
    robot_ = velmora::internal::RobotAssembly::build<velmora::OstraMaxRobot>(withRequestWait(wait));
    robot_->connectToRobot(address(), address());
    command().log().clear();
  }

  /// An operation and the one request it must send.
  struct RequestCase {
    const char* name;
    std::function<void(velmora::OstraMaxRobot&, std::error_code&)> call;
    velmora_sim::Form form;
    const char* key;
    const char* payload;  // JSON text
  };

  /// Each case succeeds and sends exactly its one request.
  template <std::size_t N>
  void expectEachSendsItsRequest(const RequestCase (&cases)[N]) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      command().log().clear();
      std::error_code ec;
      c.call(robot(), ec);
      EXPECT_FALSE(ec) << ec.value();
      const auto records = command().log().all();
      ASSERT_EQ(records.size(), 1u);
      EXPECT_EQ(records[0].form, c.form);
      EXPECT_EQ(records[0].key, c.key);
      EXPECT_THAT(records[0].payload, JsonIs(std::string(c.payload)));
    }
  }

  /// Each case, answered once with its reply, gives its result and code.
  template <std::size_t N>
  void expectEachReadsItsReply(const ReplyCase (&cases)[N]) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.key) + " <- " + c.reply);
      command().script(c.form, c.key, velmora_sim::Behaviour::reply(parseJson(c.reply)).times(1));
      std::error_code ec;
      EXPECT_EQ(c.call(robot(), ec), c.result);
      EXPECT_EQ(ec.value(), c.code);
    }
  }

  std::unique_ptr<velmora::OstraMaxRobot> robot_;
};
