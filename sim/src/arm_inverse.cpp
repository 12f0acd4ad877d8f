// The inverse of an arm chain: damped least squares (Levenberg-Marquardt) on the rows of the
// arm's pose space, tried from a few starts in turn.
#include <Eigen/Cholesky>

#include <algorithm>
#include <cmath>

#include "velmora_sim/arm_chain.h"

namespace velmora_sim::arm {

namespace {

// A start far off is given up soon; one close by goes on, for near a singularity the last
// stretch of the way is a slow crawl along the valley.
constexpr int kIterations = 100;
constexpr int kCrawlIterations = 1000;
constexpr double kCrawling = 1e-3;
constexpr int kSpreadStarts = 40;
constexpr double kConverged = 1e-12;  // metres, radians: far below what anyone reads back
constexpr double kLargestStep = 1.0;  // radians per iteration, so that a step never jumps a branch

using Rows = Eigen::Matrix<double, Eigen::Dynamic, 1, 0, 6, 1>;
using TaskJacobian = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, 6, 7>;

Eigen::Matrix3d skew(const Eigen::Vector3d& v) {
  Eigen::Matrix3d m;
  m << 0, -v.z(), v.y(), v.z(), 0, -v.x(), -v.y(), v.x(), 0;
  return m;
}

double heading(const Eigen::Matrix3d& r) { return std::atan2(r(1, 0), r(0, 0)); }

double wrapped(double angle) { return std::remainder(angle, 2 * 3.141592653589793); }

// The rows of the pose space: what is left to go, and how each joint moves it.
void taskRows(PoseSpace space, const Transform& goal, const Transform& now, const Jacobian& j, Rows& error,
              TaskJacobian& rows) {
  const Eigen::Index n = j.cols();
  const Eigen::Vector3d place = goal.translation() - now.translation();
  switch (space) {
    case PoseSpace::full: {
      const Eigen::AngleAxisd turn(goal.linear() * now.linear().transpose());
      error.resize(6);
      error << place, turn.angle() * turn.axis();
      rows = j;
      break;
    }
    case PoseSpace::toolAxis: {
      const Eigen::Vector3d axis = now.linear().col(2);
      error.resize(6);
      error << place, goal.linear().col(2) - axis;
      rows.resize(6, n);
      rows.topRows(3) = j.topRows(3);
      rows.bottomRows(3) = -skew(axis) * j.bottomRows(3);
      break;
    }
    case PoseSpace::heading:
      error.resize(4);
      error << place, wrapped(heading(goal.linear()) - heading(now.linear()));
      rows.resize(4, n);
      rows.topRows(3) = j.topRows(3);
      rows.row(3) = j.row(5);
      break;
    case PoseSpace::position:
      error = place;
      rows = j.topRows(3);
      break;
  }
}

}  // namespace

int ArmChain::inverse(const Pose& pose, const Joints& seed, Joints& out) const {
  return inverseIn(pose, seed, {}, out);
}

int ArmChain::inverseIn(const Pose& pose, const Joints& seed, const Conf& conf, Joints& out) const {
  const std::size_t n = model_.joints();
  const Transform goal = transformOf(pose);
  const int elbow = model_.elbowJoint;
  constexpr double kQuarter = 3.141592653589793 / 2;

  // Where each joint is searched: within its limits, and within its quarter of a configuration.
  Joints low = model_.lower;
  Joints high = model_.upper;
  for (std::size_t i = 0; i < n && i < conf.size(); ++i) {
    low[i] = conf[i] * kQuarter;
    high[i] = (conf[i] + 1) * kQuarter;
  }
  // The starts: the seed, the home, then joints spread over the limits; for a configuration the
  // seed only where it stands in it, the middle of its quarters, and the spread within them.
  std::vector<Joints> starts;
  Joints given(n, 0.0);
  for (std::size_t i = 0; i < n && i < seed.size(); ++i) given[i] = std::isfinite(seed[i]) ? seed[i] : 0.0;
  if (conf.empty() || inConf(given, conf)) starts.push_back(given);
  if (conf.empty()) {
    starts.push_back(model_.home);
  } else {
    for (std::size_t i = 0; i < n && i < conf.size(); ++i) given[i] = (low[i] + high[i]) / 2;
    starts.push_back(given);
  }
  for (int k = 1; k <= kSpreadStarts; ++k) {
    Joints spread(n);
    for (std::size_t i = 0; i < n; ++i) {
      // Golden-ratio steps, a different irrational per joint: the starts fill the space evenly.
      const double fraction = std::fmod(k * (0.6180339887 + 0.1 * std::sqrt(double(i + 2))), 1.0);
      spread[i] = low[i] + fraction * (high[i] - low[i]);
    }
    starts.push_back(std::move(spread));
  }

  bool overLimit = false;
  bool otherConf = false;  // solutions only in other configurations
  Jacobian j;
  Rows error;
  TaskJacobian rows;
  for (Joints q : starts) {
    if (elbow >= 0) q[static_cast<std::size_t>(elbow)] = pose[6];
    Transform now = flange(q, &j);
    taskRows(model_.space, goal, now, j, error, rows);
    double cost = error.squaredNorm();
    double damping = 1e-3;
    bool converged = false;
    for (int iteration = 0; iteration < kCrawlIterations && !converged; ++iteration) {
      if (iteration >= kIterations && error.lpNorm<Eigen::Infinity>() > kCrawling) break;
      if (error.lpNorm<Eigen::Infinity>() < kConverged) {
        converged = true;
        break;
      }
      if (elbow >= 0) rows.col(elbow).setZero();
      const Eigen::Index m = rows.rows();
      const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, 6, 6> normal =
          rows * rows.transpose() + damping * Eigen::MatrixXd::Identity(m, m);
      const Rows toward = normal.ldlt().solve(error);
      Eigen::Matrix<double, Eigen::Dynamic, 1, 0, 7, 1> step =
          Eigen::Matrix<double, Eigen::Dynamic, 1, 0, 7, 1>::Zero(n);
      step.noalias() += rows.transpose() * toward;
      const double largest = step.lpNorm<Eigen::Infinity>();
      if (largest > kLargestStep) step *= kLargestStep / largest;
      Joints next = q;
      for (std::size_t i = 0; i < n; ++i) next[i] += step(static_cast<Eigen::Index>(i));
      Jacobian nextJ;
      const Transform nextNow = flange(next, &nextJ);
      Rows nextError;
      TaskJacobian nextRows;
      taskRows(model_.space, goal, nextNow, nextJ, nextError, nextRows);
      const double nextCost = nextError.squaredNorm();
      if (nextCost < cost) {
        q = std::move(next);
        error = nextError;
        rows = nextRows;
        cost = nextCost;
        damping = std::max(damping * 0.2, 1e-15);
      } else {
        damping *= 10;
        if (damping > 1e6) break;
      }
    }
    if (!converged && error.lpNorm<Eigen::Infinity>() >= kConverged) continue;
    unwind(q, given);
    if (!inConf(q, conf)) {
      otherConf = true;
      continue;
    }
    if (!within(q)) {
      overLimit = true;
      continue;
    }
    out = std::move(q);
    return 0;
  }
  if (overLimit) return kOverLimit;
  if (otherConf) return kConfUnresolved;
  return model_.space == PoseSpace::toolAxis ? kFiveAxisUnreachable : kTargetUnreachable;
}

}  // namespace velmora_sim::arm
