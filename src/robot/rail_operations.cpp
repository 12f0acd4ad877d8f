// `BaseRobot`'s typed access to the rail's parameters. A name maps to the controller's key and
// a factor (the table below); each name holds one kind of value (a number, the text "name",
// the flag "enable", the frame "baseFrame", the pairs "softLimit" and "range"), and a type that
// does not fit the name is refused before anything is sent, so no number is ever written into
// the rail's name or base frame.

#include "robot/rail_operations.h"

#include <velmora/base_robot.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/json_convert.h"
#include "common/value_checks.h"
#include "robot/frame_reads.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

constexpr int kParameterExceedCode = internal::kParameterExceedCode;
constexpr int kArgumentInvalidCode = internal::kArgumentInvalidCode;

struct RailRow {
  std::string_view name;
  std::string_view key;  // as the controller spells it ("recolution_ratio" included)
  double factor;
};
constexpr std::array<RailRow, 13> kRailTable = {{
    {"encoderResolution", "recolution_ratio", 1.0},
    {"reductionRatio", "reduction_ratio", 1.0},
    {"maxSpeed", "max_speed", 1000.0},
    {"maxAcc", "max_acc", 1000.0},
    {"maxJerk", "max_jerk", 1000.0},
    {"motorSpeed", "motor_speed", 1.0},
    {"enable", "enable", 1.0},
    {"name", "name", 1.0},
    {"softLimit0", "soft_limit_lower", 1000.0},
    {"softLimit1", "soft_limit_upper", 1000.0},
    {"range0", "lower", 1000.0},
    {"range1", "upper", 1000.0},
    {"baseFrame", "base_frame", 1.0},
}};

// The key and factor of `name` when it holds the kind of value `T` stands for; an empty key
// otherwise (the name unknown, or of another kind).
template <typename T>
std::pair<std::string, double> railKey(const std::string& name) {
  std::error_code ec;
  auto key = internal::railParamKey(name, ec);
  if (ec) return {};
  bool fits = false;
  if constexpr (std::is_same_v<T, std::string>) {
    fits = name == "name";
  } else if constexpr (std::is_same_v<T, bool>) {
    fits = name == "enable";
  } else if constexpr (std::is_same_v<T, Frame>) {
    fits = name == "baseFrame";
  } else {
    static_assert(std::is_same_v<T, int> || std::is_same_v<T, double>, "a rail value type");
    fits = name != "name" && name != "enable" && name != "baseFrame";
  }
  if (!fits) return {};
  return key;
}

// The two keys of a pair name ("softLimit", "range"); empty keys for any other name.
std::pair<std::pair<std::string, double>, std::pair<std::string, double>> railPairKeys(const std::string& name) {
  std::error_code ec;
  auto first = internal::railParamKey(name + "0", ec);
  if (ec) return {};
  auto second = internal::railParamKey(name + "1", ec);
  if (ec) return {};
  return {std::move(first), std::move(second)};
}

// A member of the rail object into `value` in the caller's units; false, `value` untouched,
// when its kind does not fit.
bool readRail(const Json::Value& member, double factor, double& value) {
  if (!member.isNumeric()) return false;
  value = member.asDouble() / factor;
  return true;
}

// Truncated toward zero; a quotient that is not finite or does not fit an int is refused
// (its conversion would be undefined).
bool readRail(const Json::Value& member, double factor, int& value) {
  double quotient = 0.0;
  if (!readRail(member, factor, quotient)) return false;
  const double whole = std::trunc(quotient);
  if (!(whole >= static_cast<double>(std::numeric_limits<int>::min()) &&
        whole <= static_cast<double>(std::numeric_limits<int>::max()))) {
    return false;
  }
  value = static_cast<int>(whole);
  return true;
}

bool readRail(const Json::Value& member, double, std::string& value) {
  if (!member.isString()) return false;
  value = member.asString();
  return true;
}

bool readRail(const Json::Value& member, double, bool& value) {
  if (!member.isBool()) return false;
  value = member.asBool();
  return true;
}

// Not scaled. A missing or partial base frame is refused, not read as the origin: a zero frame
// would be taken for the real one.
bool readRail(const Json::Value& member, double, Frame& value) { return internal::readWholeFrame(member, value); }

// The value sent for a number: the caller's value times the factor, refused when that is not
// finite (jsoncpp would write null or 1e+9999).
bool scaled(double value, double factor, Json::Value& out) {
  const double product = value * factor;
  if (!std::isfinite(product)) return false;
  out = product;
  return true;
}

}  // namespace

std::pair<std::string, double> internal::railParamKey(const std::string& name, std::error_code& ec) {
  ec = makeErrorCode(0);
  for (const RailRow& row : kRailTable) {
    if (row.name == name) return {std::string(row.key), row.factor};
  }
  ec = makeErrorCode(kArgumentInvalidCode);
  return {std::string(), 0.0};
}

void BaseRobot::Impl::queryRailParameter(Json::Value& value, std::error_code& ec) {
  Json::Value reply;
  internal::get(*service, "rail_param", value, reply, ec);
  if (ec) return;
  value.swap(reply);
  // A number in place of the parameter object is the controller's result code.
  internal::takeIntegerReply(value, ec, 0);
}

void BaseRobot::Impl::writeRailParameter(const Json::Value& value, std::error_code& ec) {
  internal::set(*service, "rail_param", value, ec);
}

template <typename T>
void BaseRobot::getRailParameter(const std::string& name, T& value, std::error_code& ec) noexcept {
  internal::runOperation(ec, [&] {
    Json::Value reply;
    if constexpr (std::is_same_v<T, std::vector<double>>) {
      const auto keys = railPairKeys(name);
      if (keys.first.first.empty()) {
        ec = makeErrorCode(kArgumentInvalidCode);
        return;
      }
      impl_->queryRailParameter(reply, ec);
      if (ec) return;
      // Both members or nothing: a pair with one end read as 0 would be a wrong limit.
      double pair[2] = {};
      if (!readRail(internal::member(reply, keys.first.first), keys.first.second, pair[0]) ||
          !readRail(internal::member(reply, keys.second.first), keys.second.second, pair[1])) {
        ec = makeErrorCode(kArgumentInvalidCode);
        return;
      }
      value.assign(pair, pair + 2);
    } else {
      const auto key = railKey<T>(name);
      if (key.first.empty()) {
        ec = makeErrorCode(kArgumentInvalidCode);
        return;
      }
      impl_->queryRailParameter(reply, ec);
      if (ec) return;
      // A reply of 0 in place of the object passes the code check and holds no member either.
      if (!readRail(internal::member(reply, key.first), key.second, value)) {
        ec = makeErrorCode(kArgumentInvalidCode);
      }
    }
  });
}

template <typename T>
void BaseRobot::setRailParameter(const std::string& name, T value, std::error_code& ec) noexcept {
  if constexpr (std::is_same_v<T, Frame>) {
    internal::runOperation(ec, [&] {
      if (name != "baseFrame" || !internal::allFinite(value)) {
        ec = makeErrorCode(kArgumentInvalidCode);
        return;
      }
      Json::Value request(Json::objectValue);
      internal::frameToJson(value, request);
      Json::Value reply;
      internal::command(*impl_->service, "rail.set_rail_frame", request, reply, ec);
      if (ec || internal::takeIntegerReply(reply, ec, 0)) return;
      // An answer without a confirmation reads as refused; one that is no flag confirms
      // nothing either way and is left as success.
      bool accepted = true;
      if (reply.isObject() && internal::readBool(internal::member(reply, "data"), accepted) && !accepted) {
        ec = makeErrorCode(kParameterExceedCode);
      }
    });
    internal::logRobotOnly(*impl_, spdlog::level::info, "setRail base frame {} ({})", value, ec);
  } else {
    internal::runOperation(ec, [&] {
      Json::Value request(Json::objectValue);
      bool valid = false;
      if constexpr (std::is_same_v<T, std::vector<double>>) {
        const auto keys = railPairKeys(name);
        valid = !keys.first.first.empty() && value.size() >= 2 &&
                scaled(value[0], keys.first.second, request[keys.first.first]) &&
                scaled(value[1], keys.second.second, request[keys.second.first]);
      } else {
        const auto key = railKey<T>(name);
        if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, bool>) {
          valid = !key.first.empty();
          if (valid) request[key.first] = value;
        } else {
          valid = !key.first.empty() && scaled(static_cast<double>(value), key.second, request[key.first]);
        }
      }
      if (!valid) {
        ec = makeErrorCode(kArgumentInvalidCode);
        return;
      }
      impl_->writeRailParameter(request, ec);
    });
  }
}

#define VELMORA_INSTANTIATE(T)                                                                     \
  template void BaseRobot::getRailParameter<T>(const std::string&, T&, std::error_code&) noexcept; \
  template void BaseRobot::setRailParameter<T>(const std::string&, T, std::error_code&) noexcept;
VELMORA_INSTANTIATE(int)
VELMORA_INSTANTIATE(double)
VELMORA_INSTANTIATE(bool)
VELMORA_INSTANTIATE(std::string)
VELMORA_INSTANTIATE(std::vector<double>)
VELMORA_INSTANTIATE(Frame)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
