#include <velmora/errc.h>
#include <velmora/error.h>
#include <velmora/exception.h>

#include <cstdlib>
#include <exception>

#include "common/error_table.h"

namespace velmora::internal {

std::atomic<int> useEnglish{0};

namespace {

const char* pick(const char* zh, const char* en) noexcept {
  return useEnglish.load(std::memory_order_relaxed) != 0 ? en : zh;
}

// Numbered messages; unused numbers hold "".
struct NumberedMessage {
  int number;
  const char* zh;
  const char* en;
};

constexpr int kMessageCount = 35;

// The controller's "send data timeout": a time-out like the library's own 263.
constexpr int kControllerSendTimeoutCode = -285;

constexpr NumberedMessage kMessages[] = {
    {2, "已开始接收数据", "Client has already start receiving state data"},
    {3, "控制器无法设置发送的状态数据.", "Controller failed to set output data."},
    {5, "UDP socket打开失败.", "Failed to open UDP socket."},
    {6, "控制器无法发送机器人状态信息.", "Controller failed to publish state data."},
    {7, "未开始接收数据", "Not start receiving data"},
    {8, "超时前未收到机器人状态反馈,请检查网络配置",
     "Have not received status feedback from controller before timeout, please check network "
     "configuration"},
    {9, "接收机器人状态数据错误 ", "Failed to receive state data "},
    {11, "Tarvik最低版本要求", "Minimum required Tarvik version "},
    {13, "机器人实例类型与连接的机型不符：", "Robot instance type does not match with the connected robot "},
    {14, "本机IPv4地址设置失败，不能为127.0.0.1或机器人地址", "Local IPv4 address is invalid"},
    {15, "位姿初始化接收6或16个参数", "Invalid number of elements, should be 6 or 16"},
};

struct RealtimeError {
  const char* zh;
  const char* en;
};

constexpr RealtimeError kRealtimeErrors[20] = {
    {"实际轴角度超限. (0-kActualJointPositionLimitsViolation)", "(0-kActualJointPositionLimitsViolation)"},
    {"实际末端位姿超限 (1-kActualCartesianPositionLimitsViolation)", "(1-kActualCartesianPositionLimitsViolation)"},
    {"实际臂角超限 (2-kActualCartesianMotionGeneratorElbowLimitViolation)",
     "(2-kActualCartesianMotionElbowLimitViolation)"},
    {"实际轴速度超限 (3-kActualJointVelocityLimitsViolation)", "(3-kActualJointVelocityLimitsViolation)"},
    {"实际末端速度超限 (4-kActualCartesianVelocityLimitsViolation)", "(4-kActualCartesianVelocityLimitsViolation)"},
    {"急停触发 (5-kEstop)", "(5-EStop)"},
    {"实际末端加速度超限 (6-kActualCartesianAccelerationLimitsViolation)",
     "(6-kActualCartesianAccelerationLimitsViolation)"},
    {"指令轴角度超限 (7-kCommandJointPositionLimitsViolation)", "(7-kCommandJointPositionLimitsViolation)"},
    {"指令末端位姿超限 (8-kCommandCartesianPositionLimitsViolation)", "(8-kCommandCartesianPositionLimitsViolation)"},
    {"指令臂角超限 (9-kCommandCartesianMotionGeneratorElbowLimitViolation)",
     "(9-kCommandCartesianMotionGeneratorElbowLimitViolation)"},
    {"指令轴速度超限 (10-kCommandJointVelocityLimitsViolation)", "(10-kCommandJointVelocityLimitsViolation)"},
    {"指令末端速度超限 (11-kCommandCartesianVelocityLimitsViolation)", "(11-kCommandCartesianVelocityLimitsViolation)"},
    {"指令轴加速度超限 (12-kCommandJointAccelerationLimitsViolation)", "(12-kCommandJointAccelerationLimitsViolation)"},
    {"指令末端加速度超限 (13-kCommandCartesianAccelerationLimitsViolation)",
     "(13-kCommandCartesianAccelerationLimitsViolation)"},
    {"指令轴加速度不连续 (14-kCommandJointAccelerationDiscontinuity)", "(14-kCommandJointAccelerationDiscontinuity)"},
    {"检测到碰撞 (15-kCollision)", "Detected collision (15-kCollision)"},
    {"笛卡尔指令逆解失败 (16-kCartesianPositionMotionGeneratorInvalidFrame)",
     "IK error (16-kCartesianPositionMotionGeneratorInvalidFrame)"},
    {"指令力矩不连续 (17-kCommandTorqueDiscontinuity)", "(17-kCommandTorqueDiscontinuity)"},
    {"指令力矩超限 (18-kCommandTorqueRangeViolation)", "(18-kCommandTorqueRangeViolation)"},
    {"指令发送不稳定, 连续多个周期没有收到新指令 (19-kInstabilityDetection)",
     "Network is not stable, please increase RT network tolerance. (19-kInstabilityDetection)"},
};

}  // namespace

const char* ApiErrorCategory::name() const noexcept { return "Tarvik-SDK"; }

std::string ApiErrorCategory::message(int value) const {
  try {
    const ErrorRow* row = findErrorRow(value);
    if (row == nullptr) row = findErrorRow(-1);
    return pick(row->zh, row->en);
  } catch (const std::exception& e) {
    // Only an allocation failure can get here.
    return std::string("Unknown error ") + e.what();
  }
}

std::error_condition ApiErrorCategory::default_error_condition(int value) const noexcept {
  // Only codes whose meaning is the standard one map: a caller testing
  // `ec == std::errc::timed_out` must not catch a controller fault that merely resembles it.
  switch (value) {
    case static_cast<int>(errc::timeout):
    case kControllerSendTimeoutCode:
      return std::errc::timed_out;
    case static_cast<int>(errc::link_down):
      return std::errc::not_connected;
    case static_cast<int>(errc::connection_refused):
      return std::errc::connection_refused;
    case static_cast<int>(errc::parameter_out_of_range):
    case static_cast<int>(errc::invalid_argument):
      return std::errc::invalid_argument;
    default:
      return {value, *this};
  }
}

const ApiErrorCategory& apiErrorCategory() noexcept {
  static const ApiErrorCategory category;
  return category;
}

std::error_code makeErrorCode(int value) noexcept { return {value, apiErrorCategory()}; }

const char* messageText(int number) noexcept {
  if (number < 0 || number >= kMessageCount) return "";
  for (const NumberedMessage& m : kMessages) {
    if (m.number == number) return pick(m.zh, m.en);
  }
  return "";
}

std::string realtimeMotionErrorText(int number) {
  if (number < 0 || number >= 20) return pick("未知错误", "unknown error");
  return pick(kRealtimeErrors[number].zh, kRealtimeErrors[number].en);
}

void checkRealtimeMotionErrors(const std::array<bool, 20>& flags) {
  for (int i = 0; i < 20; ++i) {
    if (flags[static_cast<std::size_t>(i)]) throw RealtimeMotionException(realtimeMotionErrorText(i));
  }
}

bool localeNameIsChinese(std::string_view name) noexcept {
  return name.find("936") != std::string_view::npos || name.find("CN") != std::string_view::npos ||
         name.find("zh") != std::string_view::npos;
}

bool isChineseLocale() noexcept {
  // The library never switches the host program's locale (that is process-wide and races with
  // its threads); the user's choice is read from the environment in the order POSIX gives it.
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    // The library never writes the environment; a program that does so while it builds robots
    // races with its own reads too.
    const char* value = std::getenv(var);  // NOLINT(concurrency-mt-unsafe)
    if (value != nullptr && *value != '\0') return localeNameIsChinese(value);
  }
  return false;
}

}  // namespace velmora::internal
