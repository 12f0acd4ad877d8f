#pragma once
// A test with a controller simulator of its own on the test's loopback address, on the
// controller's ports. A scripted step given a count that the test never used fails the test.

#include <gtest/gtest.h>
#include <json/value.h>

#include <memory>
#include <string>

#include "velmora_sim/simulator.h"

class SimTest : public ::testing::Test {
 protected:
  SimTest();
  ~SimTest() override;
  void TearDown() override;

  velmora_sim::Simulator& sim() { return *sim_; }
  velmora_sim::CommandService& command() { return sim_->command(); }
  velmora_sim::FileService& files() { return sim_->file(); }
  const std::string& address() const { return sim_->address(); }

  /// The payload of the newest request under `key`, "nothing sent" when none came.
  Json::Value lastPayload(const std::string& key);

 private:
  std::unique_ptr<velmora_sim::Simulator> sim_;
};
