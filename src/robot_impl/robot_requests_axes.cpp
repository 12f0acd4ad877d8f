// External axes, mechanical units and the rail: the name checks that refuse a name before any
// request goes out, the rail parameter table, and the four requests. What the operations read
// out of the replies (and its kind checks) is theirs.

#include <velmora/error.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "common/reply_read.h"
#include "network/xservice/link_settings.h"
#include "network/xservice/xservice.h"
#include "robot_impl/robot_requests.h"

namespace velmora::internal {
namespace {

constexpr std::array<std::string_view, 6> kExtAxisNames = {"axis1", "axis2", "axis3",
                                                           "axis4", "axis5", "axis6"};
constexpr std::array<std::string_view, 18> kExtAxisParams = {
    "ext_data_number",       "ext_axis_number",       "is_servo_gun",
    "max_acc",               "max_jerk",              "max_motor_speed",
    "max_speed",             "soft_limit_lower",      "soft_limit_upper",
    "zero_value",            "motor_overload_coefficient", "motor_torque_limiting",
    "reduction_ratio",       "rated_torque_of_motor", "resolution_ratio",
    "joint_orient",          "coordinate_calibrated", "driver_name"};
constexpr std::array<std::string_view, 6> kMechUnitNames = {"u1", "u2", "u3", "u4", "u5", "u6"};
constexpr std::array<std::string_view, 7> kMechUnitParams = {
    "activation", "axes_info", "enable", "fixed_name", "mech_link_type", "order", "unit_name"};

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

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& names, const std::string& name) noexcept {
  return std::find(names.begin(), names.end(), std::string_view(name)) != names.end();
}

void sendQuery(XService& link, const char* key, Json::Value& reply, std::error_code& ec) noexcept {
  guardReply(ec, [&] {
    link.sendCommand(key, Json::Value(), reply, ec, linkSettings().defaultRequestWait.load());
  });
}

}  // namespace

void checkExtAxisParam(const std::string& axis, const std::string& param, std::error_code& ec) noexcept {
  ec = makeErrorCode(listed(kExtAxisNames, axis) && listed(kExtAxisParams, param) ? 0 : 259);
}

void checkMechUnitParam(const std::string& unit, const std::string& param, std::error_code& ec) noexcept {
  ec = makeErrorCode(listed(kMechUnitNames, unit) && listed(kMechUnitParams, param) ? 0 : 259);
}

std::pair<std::string, double> railParamKey(const std::string& name, std::error_code& ec) {
  ec = makeErrorCode(0);
  for (const RailRow& row : kRailTable) {
    if (row.name == name) return {std::string(row.key), row.factor};
  }
  ec = makeErrorCode(259);
  return {std::string(), 0.0};
}

void queryExtAxisInfo(XService& link, Json::Value& reply, std::error_code& ec) noexcept {
  sendQuery(link, "ext_axis.get_axis_info", reply, ec);
}

void queryMechUnit(XService& link, Json::Value& reply, std::error_code& ec) noexcept {
  sendQuery(link, "ext_axis.get_mechanical_unit_info", reply, ec);
}

void queryRailParameter(XService& link, Json::Value& value, std::error_code& ec) noexcept {
  guardReply(ec, [&] {
    link.getValue("rail_param", value, ec);
    // A number in place of the parameter object is the controller's result code.
    if (!ec) takeIntegerReply(value, ec, 0);
  });
}

void writeRailParameter(XService& link, const Json::Value& value, std::error_code& ec) noexcept {
  guardReply(ec, [&] { link.setValue("rail_param", value, ec); });
}

}  // namespace velmora::internal
