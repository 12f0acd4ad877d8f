#include "support/sim_fixture.h"

#include <gmock/gmock.h>

#include "support/loopback.h"

SimTest::SimTest() {
  velmora_sim::SimulatorOptions options;
  options.address = testLoopbackAddress();
  sim_ = std::make_unique<velmora_sim::Simulator>(options);
}

SimTest::~SimTest() = default;

void SimTest::TearDown() {
  EXPECT_THAT(sim_->command().unusedSteps(), ::testing::IsEmpty()) << "scripted steps never used";
}
