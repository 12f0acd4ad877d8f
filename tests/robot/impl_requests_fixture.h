#pragma once
// A robot implementation whose command link is connected to the test's simulator, with the
// simulator's configuration tables, for the implementation's shared controller requests.

#include <gmock/gmock.h>
#include <json/value.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include "network/xservice/xservice.h"
#include "robot_impl/robot_impl.h"
#include "support/command_link.h"
#include "support/json_match.h"
#include "support/link_options.h"
#include "support/sim_fixture.h"
#include "velmora_sim/robot_config.h"

class RobotRequestsTest : public SimTest {
 protected:
  /// Connected on first use, so a test can set up what must exist before. Only the command
  /// link is connected: nothing else of a robot's connection goes to the simulator.
  velmora::BaseRobot::Impl& robot() {
    if (!impl_) {
      impl_ = std::make_unique<velmora::BaseRobot::Impl>(options_);
      impl_->service = connectedLink(address(), options_);
    }
    return *impl_;
  }
  /// The robot's next use connects a new one whose link waits `wait` for a reply.
  void useRequestWait(std::chrono::milliseconds wait) {
    impl_.reset();
    options_ = withRequestWait(wait);
  }
  velmora::internal::XService& link() { return *robot().service; }
  velmora_sim::RobotConfig& config() { return sim().robotConfig(); }

  /// The payload of the `nth` request of `key`; null when it did not come within a second.
  Json::Value sent(const std::string& key, std::size_t nth = 1) {
    const auto request = command().log().waitFor(key, std::chrono::seconds(1), nth);
    return request ? request->payload : Json::Value();
  }
  std::size_t count(const std::string& key) { return command().log().count(key); }

 private:
  velmora::internal::LinkOptions options_;
  std::unique_ptr<velmora::BaseRobot::Impl> impl_;
};

/// Like `jsonEquivalent`, with numbers equal within `tolerance`; flags and integers still must
/// match in kind, so an integer zero the controller expects is not taken for a real one.
inline bool jsonNear(const Json::Value& a, const Json::Value& b, double tolerance) {
  if (a.isNumeric() && b.isNumeric()) {
    const auto integer = [](const Json::Value& v) { return v.type() != Json::realValue; };
    if (integer(a) != integer(b)) return false;
    return std::fabs(a.asDouble() - b.asDouble()) <= tolerance;
  }
  if (a.type() != b.type()) return false;
  if (a.isArray() || a.isObject()) {
    if (a.size() != b.size()) return false;
    if (a.isArray()) {
      for (Json::ArrayIndex i = 0; i < a.size(); ++i) {
        if (!jsonNear(a[i], b[i], tolerance)) return false;
      }
      return true;
    }
    if (a.getMemberNames() != b.getMemberNames()) return false;
    for (const std::string& name : a.getMemberNames()) {
      if (!jsonNear(a[name], b[name], tolerance)) return false;
    }
    return true;
  }
  return a == b;
}

MATCHER_P2(JsonNear, text, tolerance, std::string("is JSON near ") + text) {
  *result_listener << "which is " << compactJson(arg);
  return jsonNear(arg, parseJson(text), tolerance);
}
