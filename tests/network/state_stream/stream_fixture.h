#pragma once
// A state receiver and a simulated publisher on the test's own loopback address.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "network/state_stream/data_receiver.h"
#include "support/loopback.h"
#include "velmora_sim/state_publisher.h"

class StreamTest : public ::testing::Test {
 protected:
  static constexpr unsigned kPort = 1338;

  void SetUp() override {
    receiver.setEndpoint(kPort, address, address);
    ASSERT_TRUE(publisher.setTarget(address, kPort));
  }

  /// Subscribes both sides to `fields` and opens the receiver on its configured port.
  void subscribe(const std::set<std::string>& fields, unsigned axes) {
    ASSERT_EQ(receiver.setRecipe(fields, static_cast<std::uint16_t>(axes)), 0);
    ASSERT_TRUE(publisher.setFields(axes, std::vector<std::string>(fields.begin(), fields.end())));
    std::error_code ec;
    receiver.open(ec, false);
    ASSERT_FALSE(ec) << ec.message();
    ASSERT_TRUE(receiver.isOpen());
  }

  template <typename T>
  T field(const std::string& name) {
    T value{};
    EXPECT_TRUE(receiver.readField(name, value)) << name;
    return value;
  }

  std::string address = testLoopbackAddress();
  velmora::internal::DataReceiver receiver;
  // Sends from the controller's address, as a controller does.
  velmora::sim::StatePublisher publisher{address};
};
