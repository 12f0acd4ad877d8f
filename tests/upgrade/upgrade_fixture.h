#pragma once
// A simulator serving the upgrade service on the test's own loopback address, waits short
// enough for tests, and a scratch folder.

#include <gtest/gtest.h>
#include <json/value.h>

#include <chrono>
#include <string>

#include "common/temp_dir.h"
#include "support/loopback.h"
#include "upgrade/upgrade_assembly.h"
#include "upgrade/upgrade_options.h"
#include "velmora_sim/simulator.h"

class UpgradeTest : public ::testing::Test {
 protected:
  UpgradeTest() : sim_(options()) {}

  /// Waits short enough for tests, the rest as the controller's.
  static velmora::internal::UpgradeOptions shortWaits() {
    velmora::internal::UpgradeOptions o;
    o.firstReplyTimeout = std::chrono::milliseconds(3000);
    o.secondReplyTimeout = std::chrono::milliseconds(1000);
    o.exportReplyTimeout = std::chrono::milliseconds(3000);
    o.backupFirstTimeout = std::chrono::milliseconds(1000);
    o.backupMoreTimeout = std::chrono::milliseconds(500);
    return o;
  }
  /// A client built with `waits`, connected to the simulator (throws as the connecting
  /// constructor does).
  velmora::BaseUpgrade connected(const velmora::internal::UpgradeOptions& waits = shortWaits()) const {
    auto client = velmora::internal::UpgradeAssembly::build(waits);
    client.connect(address());
    return client;
  }

  velmora_sim::UpgradeService& service() { return sim_.upgrade(); }
  const std::string& address() const { return sim_.address(); }
  std::string path(const std::string& name) const { return dir_ / name; }

  /// A file of `size` bytes that no two offsets of a short period could confuse.
  std::string writePackage(const std::string& name, std::size_t size) const {
    std::string bytes(size, '\0');
    std::uint32_t x = 0x9e3779b9u;
    for (auto& c : bytes) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      c = static_cast<char>(x);
    }
    std::ofstream(path(name), std::ios::binary) << bytes;
    return bytes;
  }

  static Json::Value object(const std::string& key, const Json::Value& value) {
    Json::Value v(Json::objectValue);
    v[key] = value;
    return v;
  }

 private:
  static velmora_sim::SimulatorOptions options() {
    velmora_sim::SimulatorOptions o;
    o.address = testLoopbackAddress();
    o.upgradeService = true;
    return o;
  }
  velmora_sim::Simulator sim_;
  TempDir dir_;
};
