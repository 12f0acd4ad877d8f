#pragma once
// A simulator serving the upgrade service on the test's own loopback address, waits short
// enough for tests, and a scratch folder.

#include <gtest/gtest.h>
#include <json/value.h>

#include <chrono>
#include <string>

#include "common/temp_dir.h"
#include "support/loopback.h"
#include "upgrade/upgrade_settings.h"
#include "velmora_sim/simulator.h"

class UpgradeTest : public ::testing::Test {
 protected:
  UpgradeTest() : sim_(options()), saved_(snapshot()) {
    auto& s = velmora::internal::upgradeSettings();
    s.firstReplyTimeout = std::chrono::milliseconds(3000);
    s.secondReplyTimeout = std::chrono::milliseconds(1000);
    s.exportReplyTimeout = std::chrono::milliseconds(3000);
    s.backupFirstTimeout = std::chrono::milliseconds(1000);
    s.backupMoreTimeout = std::chrono::milliseconds(500);
  }
  ~UpgradeTest() override {
    auto& s = velmora::internal::upgradeSettings();
    s.firstReplyTimeout = saved_.first;
    s.secondReplyTimeout = saved_.second;
    s.exportReplyTimeout = saved_.exportReply;
    s.backupFirstTimeout = saved_.backupFirst;
    s.backupMoreTimeout = saved_.backupMore;
    s.backupCap = saved_.cap;
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
  struct Saved {
    std::chrono::milliseconds first, second, exportReply, backupFirst, backupMore;
    std::uint64_t cap;
  };
  static velmora_sim::SimulatorOptions options() {
    velmora_sim::SimulatorOptions o;
    o.address = testLoopbackAddress();
    o.upgradeService = true;
    return o;
  }
  static Saved snapshot() {
    const auto& s = velmora::internal::upgradeSettings();
    return {s.firstReplyTimeout,  s.secondReplyTimeout, s.exportReplyTimeout,
            s.backupFirstTimeout, s.backupMoreTimeout,  s.backupCap};
  }

  velmora_sim::Simulator sim_;
  Saved saved_;
  TempDir dir_;
};
