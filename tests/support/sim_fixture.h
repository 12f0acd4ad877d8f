#pragma once
// A test with a controller simulator of its own on the test's loopback address, on the
// controller's ports. A scripted step given a count that the test never used fails the test.

#include <gtest/gtest.h>
#include <json/value.h>

#include <chrono>
#include <functional>
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

  /// A controller restart: the simulator stops (every connection drops, its stream ends) and,
  /// `down` later, a new one serves on the same address and ports with the same identity and
  /// nothing else of the old one (scripts, stream, watches). `prepare` scripts the new one
  /// before anything can reach it.
  void restartSim(std::chrono::milliseconds down = std::chrono::milliseconds(0),
                  const std::function<void(velmora_sim::Simulator&)>& prepare = nullptr);

 private:
  std::unique_ptr<velmora_sim::Simulator> sim_;
};
