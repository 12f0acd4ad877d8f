// `BaseRobot`'s reads of one field of an external axis or a mechanical unit. The name and the
// field are checked against the controller's vocabulary before anything is sent; the field's
// JSON kind must be the one the caller's type needs.

#include "robot/ext_axis_operations.h"

#include <velmora/base_robot.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/json_read.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

constexpr std::array<std::string_view, 6> kExtAxisNames = {"axis1", "axis2", "axis3", "axis4", "axis5", "axis6"};
constexpr std::array<std::string_view, 18> kExtAxisParams = {"ext_data_number",
                                                             "ext_axis_number",
                                                             "is_servo_gun",
                                                             "max_acc",
                                                             "max_jerk",
                                                             "max_motor_speed",
                                                             "max_speed",
                                                             "soft_limit_lower",
                                                             "soft_limit_upper",
                                                             "zero_value",
                                                             "motor_overload_coefficient",
                                                             "motor_torque_limiting",
                                                             "reduction_ratio",
                                                             "rated_torque_of_motor",
                                                             "resolution_ratio",
                                                             "joint_orient",
                                                             "coordinate_calibrated",
                                                             "driver_name"};
constexpr std::array<std::string_view, 6> kMechUnitNames = {"u1", "u2", "u3", "u4", "u5", "u6"};
constexpr std::array<std::string_view, 7> kMechUnitParams = {"activation",     "axes_info", "enable",   "fixed_name",
                                                             "mech_link_type", "order",     "unit_name"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& names, const std::string& name) noexcept {
  return std::find(names.begin(), names.end(), std::string_view(name)) != names.end();
}

// Reads `field` into `value` when its kind fits the type; false and `value` untouched
// otherwise.
bool readField(const Json::Value& field, int& value) {
  // An integral real within int counts (2.0); 2.5 or 3e9 do not.
  if (!field.isInt()) return false;
  value = field.asInt();
  return true;
}

bool readField(const Json::Value& field, double& value) {
  if (!field.isNumeric()) return false;
  value = field.asDouble();
  return true;
}

bool readField(const Json::Value& field, bool& value) {
  if (!field.isBool()) return false;
  value = field.asBool();
  return true;
}

bool readField(const Json::Value& field, std::string& value) {
  if (!field.isString()) return false;
  value = field.asString();
  return true;
}

// Every element as text, appended to what `value` holds; an element that has no text form
// (an object or an array) refuses the whole list.
bool readField(const Json::Value& field, std::vector<std::string>& value) {
  if (!field.isArray()) return false;
  std::vector<std::string> texts;
  texts.reserve(field.size());
  for (const Json::Value& item : field) {
    if (item.isObject() || item.isArray()) return false;
    texts.push_back(item.asString());
  }
  value.insert(value.end(), texts.begin(), texts.end());
  return true;
}

// {"data": {name: {info: field}}}: the field into `value`, or 259.
template <typename T>
void takeField(const Json::Value& reply, const std::string& name, const std::string& info, T& value,
               std::error_code& ec) {
  const Json::Value& entry = internal::member(internal::member(reply, "data"), name);
  if (entry.isNull() || !readField(internal::member(entry, info), value)) {
    ec = makeErrorCode(internal::kArgumentInvalidCode);
  }
}

}  // namespace

void internal::checkExtAxisParam(const std::string& axis, const std::string& param, std::error_code& ec) noexcept {
  ec = makeErrorCode(listed(kExtAxisNames, axis) && listed(kExtAxisParams, param) ? 0 : kArgumentInvalidCode);
}

void internal::checkMechUnitParam(const std::string& unit, const std::string& param, std::error_code& ec) noexcept {
  ec = makeErrorCode(listed(kMechUnitNames, unit) && listed(kMechUnitParams, param) ? 0 : kArgumentInvalidCode);
}

void BaseRobot::Impl::queryExtAxisInfo(Json::Value& reply, std::error_code& ec) {
  internal::command(*service, "ext_axis.get_axis_info", Json::Value(), reply, ec);
}

void BaseRobot::Impl::queryMechUnit(Json::Value& reply, std::error_code& ec) {
  internal::command(*service, "ext_axis.get_mechanical_unit_info", Json::Value(), reply, ec);
}

template <typename T>
void BaseRobot::getExtAxisInfo(const std::string& name, const std::string& info, T& value,
                               std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    internal::checkExtAxisParam(name, info, ec);
    if (ec) return;
    Json::Value reply;
    impl_->queryExtAxisInfo(reply, ec);
    if (!ec) takeField(reply, name, info, value, ec);
  });
}

template <typename T>
void BaseRobot::getMechUnit(const std::string& name, const std::string& info, T& value, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    internal::checkMechUnitParam(name, info, ec);
    if (ec) return;
    Json::Value reply;
    impl_->queryMechUnit(reply, ec);
    if (!ec) takeField(reply, name, info, value, ec);
  });
}

#define VELMORA_INSTANTIATE(T) \
  template void BaseRobot::getExtAxisInfo<T>(const std::string&, const std::string&, T&, std::error_code&) noexcept;
VELMORA_INSTANTIATE(int)
VELMORA_INSTANTIATE(double)
VELMORA_INSTANTIATE(bool)
VELMORA_INSTANTIATE(std::string)
VELMORA_INSTANTIATE(std::vector<std::string>)
#undef VELMORA_INSTANTIATE

#define VELMORA_INSTANTIATE(T) \
  template void BaseRobot::getMechUnit<T>(const std::string&, const std::string&, T&, std::error_code&) noexcept;
VELMORA_INSTANTIATE(int)
VELMORA_INSTANTIATE(bool)
VELMORA_INSTANTIATE(std::vector<std::string>)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
