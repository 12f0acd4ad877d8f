// The robot implementation's shared controller requests, on its command link.

#include "robot_impl/robot_impl.h"
#include "robot_impl/robot_requests.h"

namespace velmora {

std::vector<WorkToolInfo> BaseRobot::Impl::workToolsInfo(const std::string& kind,
                                                         std::error_code& ec) noexcept {
  return internal::workToolsInfo(*service, kind, ec);
}

void BaseRobot::Impl::setWorkToolInfo(const WorkToolInfo& toolInfo, const std::string& kind,
                                      std::error_code& ec) noexcept {
  internal::setWorkToolInfo(*service, toolInfo, kind, ec);
}

void BaseRobot::Impl::queryRegisterValues(Json::Value& values, const std::string& key,
                                          std::error_code& ec) noexcept {
  internal::queryRegisterValues(*service, values, key, ec);
}

void BaseRobot::Impl::rebootOrShutdown(int option, std::error_code& ec) noexcept {
  internal::rebootOrShutdown(*service, option, ec);
}

int BaseRobot::Impl::setOperateMode(OperateMode mode, std::error_code& ec) noexcept {
  return internal::setOperateMode(*service, mode, ec);
}

int BaseRobot::Impl::GetFlangeBoxType() noexcept {
  bool known = false;
  const int type = internal::queryFlangeBoxType(*service, known);
  if (known) {
    // Another board operation may see the flag at once: the type must be there before it.
    flangeBoxType = type;
    flangeBoxTypeKnown = true;
  }
  return type;
}

void BaseRobot::Impl::queryExtAxisInfo(Json::Value& reply, std::error_code& ec) noexcept {
  internal::queryExtAxisInfo(*service, reply, ec);
}

void BaseRobot::Impl::queryMechUnit(Json::Value& reply, std::error_code& ec) noexcept {
  internal::queryMechUnit(*service, reply, ec);
}

void BaseRobot::Impl::queryRailParameter(Json::Value& value, std::error_code& ec) noexcept {
  internal::queryRailParameter(*service, value, ec);
}

void BaseRobot::Impl::writeRailParameter(const Json::Value& value, std::error_code& ec) noexcept {
  internal::writeRailParameter(*service, value, ec);
}

}  // namespace velmora
