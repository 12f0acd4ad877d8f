// `BaseRobot`'s reads of one field of an external axis or a mechanical unit. The name and the
// field are checked against the controller's vocabulary before anything is sent; the field's
// JSON kind must be the one the caller's type needs.

#include <velmora/base_robot.h>

#include <string>
#include <vector>

#include "common/json_read.h"
#include "robot/operation_frame.h"
#include "robot_impl/robot_requests.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

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
void BaseRobot::getMechUnit(const std::string& name, const std::string& info, T& value,
                            std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    internal::checkMechUnitParam(name, info, ec);
    if (ec) return;
    Json::Value reply;
    impl_->queryMechUnit(reply, ec);
    if (!ec) takeField(reply, name, info, value, ec);
  });
}

#define VELMORA_INSTANTIATE(T)                                                           \
  template void BaseRobot::getExtAxisInfo<T>(const std::string&, const std::string&, T&, \
                                             std::error_code&) noexcept;
VELMORA_INSTANTIATE(int)
VELMORA_INSTANTIATE(double)
VELMORA_INSTANTIATE(bool)
VELMORA_INSTANTIATE(std::string)
VELMORA_INSTANTIATE(std::vector<std::string>)
#undef VELMORA_INSTANTIATE

#define VELMORA_INSTANTIATE(T)                                                        \
  template void BaseRobot::getMechUnit<T>(const std::string&, const std::string&, T&, \
                                          std::error_code&) noexcept;
VELMORA_INSTANTIATE(int)
VELMORA_INSTANTIATE(bool)
VELMORA_INSTANTIATE(std::vector<std::string>)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
