#include "common/rotation.h"

#include <Eigen/Geometry>

namespace velmora::internal {

std::array<double, 4> eulerToQuaternion(const std::array<double, 3>& rpy) noexcept {
  const Eigen::Quaterniond zy =
      Eigen::AngleAxisd(rpy[2], Eigen::Vector3d::UnitZ()) * Eigen::AngleAxisd(rpy[1], Eigen::Vector3d::UnitY());
  const Eigen::Quaterniond q = zy * Eigen::Quaterniond(Eigen::AngleAxisd(rpy[0], Eigen::Vector3d::UnitX()));
  return {q.w(), q.x(), q.y(), q.z()};
}

}  // namespace velmora::internal
