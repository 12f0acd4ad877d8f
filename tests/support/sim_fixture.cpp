#include "support/sim_fixture.h"

#include <gmock/gmock.h>

#include "support/loopback.h"
#include "support/process_stats.h"

SimTest::SimTest() {
  velmora_sim::SimulatorOptions options;
  options.address = testLoopbackAddress();
  sim_ = std::make_unique<velmora_sim::Simulator>(options);
}

SimTest::~SimTest() = default;

Json::Value SimTest::lastPayload(const std::string& key) {
  const auto requests = command().log().withKey(key);
  return requests.empty() ? Json::Value("nothing sent") : requests.back().payload;
}

void SimTest::TearDown() {
  // A request shows in the log just before its scripted step is taken: a test that saw it there
  // may end first.
  waitUntil([this] { return sim_->command().unusedSteps().empty(); }, std::chrono::seconds(1));
  EXPECT_THAT(sim_->command().unusedSteps(), ::testing::IsEmpty()) << "scripted steps never used";
}
