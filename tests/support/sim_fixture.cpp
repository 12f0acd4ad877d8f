#include "support/sim_fixture.h"

#include <gmock/gmock.h>

#include <thread>

#include "support/loopback.h"
#include "support/process_stats.h"

SimTest::SimTest() {
  velmora_sim::SimulatorOptions options;
  options.address = testLoopbackAddress();
  sim_ = std::make_unique<velmora_sim::Simulator>(options);
}

SimTest::~SimTest() = default;

void SimTest::restartSim(std::chrono::milliseconds down, const std::function<void(velmora_sim::Simulator&)>& prepare) {
  const velmora_sim::ControllerInfo info = sim_->info();
  EXPECT_THAT(sim_->command().unusedSteps(), ::testing::IsEmpty()) << "scripted steps never used before the restart";
  sim_.reset();
  std::this_thread::sleep_for(down);
  velmora_sim::SimulatorOptions options;
  options.address = testLoopbackAddress();
  // Refused until prepared: a client reconnecting meanwhile must meet the prepared controller.
  sim_ = std::make_unique<velmora_sim::Simulator>(options);
  sim_->command().refuse(true);
  sim_->setInfo(info);
  if (prepare) prepare(*sim_);
  sim_->command().refuse(false);
}

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
