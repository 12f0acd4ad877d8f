// `BaseRobot`'s register reads and writes. A register holds integers, floats or flags; one
// element is read under "<name>.#<index>" and written with "bias": index, a whole register is
// read under its bare name and written as an array. Every read goes through the one register
// query ("register.values") and its reply reader.

#include <velmora/base_robot.h>

#include <fmt/ranges.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include "common/json_read.h"
#include "robot/operation_frame.h"
#include "robot/register_operations.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr int kReadRegisterFailedCode = -17001;
constexpr int kWriteRegisterFailedCode = -17002;

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};

// How one element of a register reads. Anything else is refused rather than converted: 2.5 is
// no integer, and a text or an array is no value of any register.
bool readElement(const Json::Value& value, int& out) {
  if (!value.isInt()) return false;
  out = value.asInt();
  return true;
}

bool readElement(const Json::Value& value, float& out) {
  if (!value.isNumeric()) return false;
  const double wide = value.asDouble();
  // Narrowing a double beyond the float range is undefined; such a value is no float register's.
  if (!(std::fabs(wide) <= static_cast<double>(FLT_MAX))) return false;
  out = static_cast<float>(wide);
  return true;
}

bool readElement(const Json::Value& value, bool& out) {
  if (!value.isBool() && !value.isNumeric()) return false;
  return internal::readBool(value, out);
}

// The register query ("register.values") gives -17001 for the controller's -1, any other
// integer as it is (0 included, with no values) and -260 for a reply without the values.
template <typename T>
void readScalar(BaseRobot::Impl& impl, const std::string& name, unsigned index, T& value, std::error_code& ec) {
  Json::Value values;
  impl.queryRegisterValues(values, name + ".#" + std::to_string(index), ec);
  if (ec) return;
  T read{};
  if (!readElement(values, read)) {
    ec = makeErrorCode(internal::kArgumentInvalidCode);
    return;
  }
  value = read;
}

// The whole register; the index names no part of it. Every element is checked, so a mixed array
// is refused instead of read up to its first odd element or truncated.
template <typename T>
void readArray(BaseRobot::Impl& impl, const std::string& name, std::vector<T>& values, std::error_code& ec) {
  Json::Value reply;
  impl.queryRegisterValues(reply, name, ec);
  if (ec) return;
  values.clear();
  if (!reply.isArray() || reply.empty()) {
    ec = makeErrorCode(internal::kArgumentInvalidCode);
    return;
  }
  values.reserve(reply.size());
  for (const Json::Value& element : reply) {
    T read{};
    if (!readElement(element, read)) {
      values.clear();
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    values.push_back(read);
  }
}

Json::Value elementJson(int value) { return Json::Value(value); }
Json::Value elementJson(float value) { return Json::Value(static_cast<double>(value)); }
Json::Value elementJson(bool value) { return Json::Value(value); }

bool finiteElement(int) { return true; }
bool finiteElement(bool) { return true; }
bool finiteElement(float value) { return std::isfinite(value); }

template <typename T>
bool finiteValue(const T& value) {
  if constexpr (IsVector<T>::value) {
    for (const auto element : value) {
      if (!finiteElement(static_cast<typename T::value_type>(element))) return false;
    }
    return true;
  } else {
    return finiteElement(value);
  }
}

// "c" "register.write": an integer reply is the code; -1 stays -1 for one element, as the
// controller gives it, and names the array write's failure for a whole register.
template <typename T>
void writeValues(const BaseRobot::Impl& impl, const std::string& name, unsigned index, const T& value,
                 std::error_code& ec) {
  Json::Value request(Json::objectValue);
  request["name"] = name;
  if constexpr (IsVector<T>::value) {
    Json::Value array(Json::arrayValue);
    for (const auto element : value) array.append(elementJson(static_cast<typename T::value_type>(element)));
    request["value"] = std::move(array);
    request["type"] = "array";
  } else {
    request["bias"] = index;
    request["value"] = elementJson(value);
  }
  Json::Value reply;
  internal::command(*impl.service, "register.write", request, reply, ec);
  if (ec || !internal::isIntegerReply(reply)) return;
  const int code = reply.asInt();
  ec = makeErrorCode(IsVector<T>::value && code == -1 ? kWriteRegisterFailedCode : code);
}

}  // namespace

bool internal::readRegisterReply(const Json::Value& reply, const std::string& key, Json::Value& values,
                                 std::error_code& ec) {
  values = Json::Value();
  if (isIntegerReply(reply)) {
    const int code = reply.asInt();
    ec = makeErrorCode(code == -1 ? kReadRegisterFailedCode : code);
    return false;
  }
  const Json::Value& found = member(reply, key);
  if (found.isNull()) {
    ec = makeErrorCode(kReplyExceptionCode);
    return false;
  }
  values = found;
  return true;
}

void BaseRobot::Impl::queryRegisterValues(Json::Value& values, const std::string& key, std::error_code& ec) {
  values = Json::Value();
  Json::Value question(Json::objectValue);
  question[key] = Json::Value();
  Json::Value reply;
  internal::get(*service, "register.values", question, reply, ec);
  if (!ec) internal::readRegisterReply(reply, key, values, ec);
}

template <typename T>
void BaseRobot::readRegister(const std::string& name, unsigned index, T& value, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    if constexpr (IsVector<T>::value) {
      readArray(*impl_, name, value, ec);
    } else {
      readScalar(*impl_, name, index, value, ec);
    }
  });
}

template <typename T>
void BaseRobot::writeRegister(const std::string& name, unsigned index, T value, std::error_code& ec) noexcept {
  // NaN and infinity have no JSON form: the request would carry null instead.
  if (!finiteValue(value)) {
    internal::refuse(*impl_, ec, internal::kArgumentInvalidCode, "uid: {} | writeRegister {}, {}, {} ({})", logUid,
                     name, index, value, ec);
    return;
  }
  internal::runOperation(ec, [&] { writeValues(*impl_, name, index, value, ec); });
  internal::logEnd(*impl_, "uid: {} | writeRegister {}, {}, {} ({})", logUid, name, index, value, ec);
}

#define VELMORA_INSTANTIATE(T)                                                                           \
  template void BaseRobot::readRegister<T>(const std::string&, unsigned, T&, std::error_code&) noexcept; \
  template void BaseRobot::writeRegister<T>(const std::string&, unsigned, T, std::error_code&) noexcept;
VELMORA_INSTANTIATE(int)
VELMORA_INSTANTIATE(float)
VELMORA_INSTANTIATE(bool)
VELMORA_INSTANTIATE(std::vector<int>)
VELMORA_INSTANTIATE(std::vector<float>)
VELMORA_INSTANTIATE(std::vector<bool>)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
