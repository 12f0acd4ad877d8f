// `BaseRobot`'s tool and work-object tables: the lists of the current project and the write of
// one entry (project or global table), both through the implementation's shared requests.

#include <velmora/base_robot.h>

#include "robot/operation_frame.h"

namespace velmora {

std::vector<WorkToolInfo> BaseRobot::toolsInfo(std::error_code& ec) noexcept {
  std::vector<WorkToolInfo> list;
  internal::runOperation(ec, [&] { list = impl_->workToolsInfo("tool", ec); });
  if (ec) list.clear();
  return list;
}

std::vector<WorkToolInfo> BaseRobot::wobjsInfo(std::error_code& ec) noexcept {
  std::vector<WorkToolInfo> list;
  internal::runOperation(ec, [&] { list = impl_->workToolsInfo("wobj", ec); });
  if (ec) list.clear();
  return list;
}

void BaseRobot::setToolInfo(const WorkToolInfo& info, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] { impl_->setWorkToolInfo(info, "tool", ec); });
  internal::logRobotOnly(*impl_, spdlog::level::info, "setToolInfo name {} {} {} ({})", info.name,
                         info.pos, info.load, ec);
}

void BaseRobot::setWobjInfo(const WorkToolInfo& info, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] { impl_->setWorkToolInfo(info, "wobj", ec); });
  internal::logRobotOnly(*impl_, spdlog::level::info, "setWobjInfo name {} {} {} ({})", info.name,
                         info.pos, info.load, ec);
}

}  // namespace velmora
