// Two queued moves of every kind that meet at a corner, on the test's own clock: run with a zone
// (the move's own or the default one) the arm rounds the corner without stopping, off the two
// ways only within the zone of the corner; with a zone of 0 it goes through the corner. The
// same two moves run without a zone give the ways the zoned run is held to.
#include <gtest/gtest.h>

#include <json/value.h>

#include <Eigen/Dense>
#include <algorithm>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "arm_test_poses.h"
#include "velmora_sim/arm_chain.h"
#include "velmora_sim/arm_timeline.h"

namespace {

using namespace std::chrono_literals;
using velmora_sim::ArmTimeline;
using velmora_sim::arm::ArmChain;
using velmora_sim::arm::ArmModel;
using velmora_sim::arm::Joints;
using velmora_sim::arm::Pose;
using velmora_sim::arm::PoseSpace;
using velmora_sim::arm::poseJson;

enum class Way { line, arc, jointPose, joints };
enum class Zone { own, byDefault, fine };  // fine: its own zone 0 while a default is set

struct Case {
  const ArmModel* arm;
  Way first;
  Way second;
  Zone zone;
};

const char* wayName(Way way) {
  switch (way) {
    case Way::line:
      return "line";
    case Way::arc:
      return "arc";
    case Way::jointPose:
      return "jointPose";
    default:
      return "joints";
  }
}

std::string caseName(const Case& c) {
  const char* zone = c.zone == Zone::own ? "own" : c.zone == Zone::byDefault ? "default" : "fine";
  return std::string(c.arm->robotClass) + "_" + wayName(c.first) + "_" + wayName(c.second) + "_" + zone;
}

void PrintTo(const Case& c, std::ostream* out) { *out << caseName(c); }

std::vector<Case> cases() {
  std::vector<Case> all;
  for (const ArmModel& arm : velmora_sim::arm::arms()) {
    all.push_back({&arm, Way::joints, Way::joints, Zone::own});
    all.push_back({&arm, Way::joints, Way::joints, Zone::byDefault});
    if (arm.space != PoseSpace::full) continue;
    const std::pair<Way, Way> pairs[] = {{Way::line, Way::arc},       {Way::arc, Way::line},
                                         {Way::arc, Way::arc},        {Way::line, Way::jointPose},
                                         {Way::jointPose, Way::line}, {Way::jointPose, Way::jointPose}};
    for (const auto& [first, second] : pairs) all.push_back({&arm, first, second, Zone::own});
    all.push_back({&arm, Way::line, Way::line, Zone::byDefault});
    all.push_back({&arm, Way::line, Way::line, Zone::fine});
    all.push_back({&arm, Way::arc, Way::jointPose, Zone::fine});
  }
  return all;
}

constexpr double kSpeed = 0.1;  // m/s, or rad/s of the joint moves
constexpr double kZone = 0.02;  // m

Eigen::Vector3d placeOf(const Pose& pose) { return {pose[0], pose[1], pose[2]}; }

Pose moved(Pose pose, double dx, double dy, double dz) {
  pose[0] += dx;
  pose[1] += dy;
  pose[2] += dz;
  return pose;
}

// One move to `to` (or to `joints` for a joint move) as the wire carries it; an arc bulges
// 12 mm towards the base axis. A negative zone leaves it out.
std::pair<std::string, Json::Value> command(Way way, const Pose& from, const Pose& to, const Joints& joints,
                                            double zone) {
  Json::Value body(Json::objectValue);
  body["traj"]["speed"] = kSpeed;
  if (zone >= 0) body["traj"]["zone"] = zone;
  if (way == Way::joints) {
    for (const double q : joints) body["point"].append(q);
    return {"move.j", body};
  }
  body["point"] = poseJson(to);
  if (way == Way::arc) {
    Pose aux = from;
    for (int i = 0; i < 3; ++i) aux[i] = (from[i] + to[i]) / 2;
    aux[0] -= 0.012;
    body["aux"] = poseJson(aux);
    return {"move.c", body};
  }
  return {way == Way::line ? "move.l" : "move.jc", body};
}

struct Trace {
  Eigen::Vector3d corner;  // where the first move ends
  std::vector<Eigen::Vector3d> places;
  std::vector<double> jointRates;  // the largest joint velocity the arm reports, each step
  std::vector<int> finished;
};

Trace trace(const Case& c, double zone, double defaultZone) {
  auto chain = std::make_shared<ArmChain>(*c.arm);
  ArmTimeline arm(c.arm->home);
  arm.setKinematics(chain);
  arm.setDefaultZone(defaultZone);
  const ArmTimeline::Clock::time_point t0{};
  arm.setTimeScale(1, t0);

  // Joint targets a few degrees from home; poses 6 cm along y, then 6 cm up.
  Joints corner = c.arm->home;
  Joints end = c.arm->home;
  for (std::size_t i = 0; i < corner.size(); ++i) {
    const double scale = c.arm->rows[i].sliding ? 0.2 : 1;  // a quill's stroke is short
    corner[i] += scale * (i % 2 == 0 ? 0.12 : -0.08);
    end[i] = corner[i] + scale * (i % 3 == 0 ? -0.1 : 0.12);
  }
  const Pose home = chain->forward(c.arm->home);
  const Pose at = moved(home, 0, 0.06, 0);
  const Pose beyond = moved(at, 0, 0, 0.06);
  const auto first = command(c.first, home, at, corner, zone);
  const auto second = command(c.second, at, beyond, end, zone);
  Trace out;
  out.corner = placeOf(c.first == Way::joints ? chain->forward(corner) : at);
  int index = 0;
  for (const auto& [key, body] : {first, second}) {
    ArmTimeline::Motion motion;
    motion.path = velmora_sim::arm::Path::command(key, body);
    motion.finished = [&out, i = ++index] { out.finished.push_back(i); };
    arm.append(std::move(motion), t0);
  }
  arm.run(t0);
  auto now = t0;
  for (int k = 0; k < 20000 && arm.moving(); ++k) {
    now += 1ms;
    for (auto& call : arm.advance(now)) call();
    const ArmTimeline::View view = arm.view(now);
    out.places.push_back(placeOf(chain->forward(view.q)));
    double rate = 0;
    for (const double dq : view.dq) rate = std::max(rate, std::abs(dq));
    if (arm.moving()) out.jointRates.push_back(rate);
  }
  return out;
}

double fromPath(const Eigen::Vector3d& p, const std::vector<Eigen::Vector3d>& path) {
  double nearest = 1e9;
  for (const Eigen::Vector3d& q : path) nearest = std::min(nearest, (p - q).norm());
  return nearest;
}

class ArmCorner : public ::testing::TestWithParam<Case> {};

TEST_P(ArmCorner, RoundsTheCornerWithinItsZoneWithoutStopping) {
  const Case c = GetParam();
  const Trace fine = trace(c, 0, 0);
  ASSERT_EQ(fine.finished, (std::vector<int>{1, 2}));
  const Trace zoned = c.zone == Zone::own ? trace(c, kZone, 0) : trace(c, c.zone == Zone::fine ? 0 : -1, kZone);
  ASSERT_EQ(zoned.finished, (std::vector<int>{1, 2}));
  ASSERT_FALSE(zoned.places.empty());
  EXPECT_LT((zoned.places.back() - fine.places.back()).norm(), 1e-6) << "both end at the second target";

  const Eigen::Vector3d corner = fine.corner;
  const double cornerGap = fromPath(corner, zoned.places);
  double offWay = 0;  // farthest from the corner of the samples off the fine run's ways
  for (const Eigen::Vector3d& p : zoned.places) {
    if (fromPath(p, fine.places) > 0.3e-3) offWay = std::max(offWay, (p - corner).norm());
  }
  std::vector<double> rates = zoned.jointRates;
  std::sort(rates.begin(), rates.end());
  ASSERT_FALSE(rates.empty());
  const double median = rates[rates.size() / 2];
  if (c.zone == Zone::fine) {
    EXPECT_LT(cornerGap, 0.3e-3) << "through the corner";
    EXPECT_EQ(offWay, 0.0) << "on the ways";
    return;
  }
  EXPECT_GT(cornerGap, 1e-3) << "the corner is rounded";
  // Mixed joints leave the tool a little off the straight mix of the ways: a tenth of the zone.
  const bool mixesJoints =
      c.first == Way::joints || c.first == Way::jointPose || c.second == Way::joints || c.second == Way::jointPose;
  EXPECT_LT(offWay, kZone * (mixesJoints ? 1.1 : 1.0) + 1e-4) << "within the zone of the corner";
  EXPECT_GT(rates.front(), 0.2 * median) << "the arm keeps moving through the corner";
}

INSTANTIATE_TEST_SUITE_P(Arms, ArmCorner, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return caseName(info.param); });

}  // namespace
