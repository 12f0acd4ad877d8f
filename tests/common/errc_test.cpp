#include <velmora/robot.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <system_error>

#include "support/lang_guard.h"

using velmora::errc;

namespace {

// The numbers and texts callers already compare against: naming them must change neither.
struct NamedCode {
  errc name;
  int value;
  const char* en;
  const char* zh;
  std::optional<std::errc> generic;
};

const NamedCode kNamed[] = {
    {errc::uninitialized, 255, "uninitialized nor connect", "未初始化连接机器人", std::nullopt},
    {errc::link_down, 256, "network connection", "网络连接错误", std::errc::not_connected},
    {errc::unreadable_reply, 257, "response unresolved", "无法解析机器人消息, 可能由于SDK版本与控制器版本不匹配",
     std::nullopt},
    {errc::parameter_out_of_range, 258, "parameter exceed limit", "参数错误,数值超出范围", std::errc::invalid_argument},
    {errc::invalid_argument, 259, "argument invalid", "参数错误,参数类型或个数错误", std::errc::invalid_argument},
    {errc::invalid_transformation, 260, "invalid transformation matrix", "不是合法的变换矩阵", std::nullopt},
    {errc::axis_mismatch, 261, "axis mismatch", "数组元素个数与机器人轴数不符", std::nullopt},
    {errc::wrong_control_mode, 262, "motion control mode error", "运动控制模式错误,请切换到正确的模式", std::nullopt},
    {errc::timeout, 263, "timeout", "超时前未收到机器人回复, 可能由于网络通信问题", std::errc::timed_out},
    {errc::duplicate_operation, 264, "duplicate operation", "重复操作", std::nullopt},
    {errc::udp_socket, 265, "network udp socket", "通过UDP端口接收数据失败，请检查网络及防火墙配置", std::nullopt},
    {errc::connect_failure, 266, "robot connection failed", "连接机器人失败", std::nullopt},
    {errc::connection_refused, 267, "connection refused", "连接被拒绝", std::errc::connection_refused},
    {errc::update_file_invalid, 268, "update file invalid", "升级文件无效", std::nullopt},
    {errc::upgrade_failure, 269, "upgrade failure", "升级失败", std::nullopt},
    {errc::export_failure, 270, "export failure", "导出失败", std::nullopt},
    {errc::export_partial, 271, "export partial", "导出备份成功但有文件不存在", std::nullopt},
    {errc::unregistered_event, 272, "unregistered event", "事件未监听", std::nullopt},
    {errc::calibration_error, 273, "calibration frame error", "点位距离过近，坐标系标定失败", std::nullopt},
    {errc::rt_address_invalid, 512, "RT mode ip address port invalid", "IP地址或端口设置错误, 或端口被占用",
     std::nullopt},
    {errc::rt_fields_unsupported, 513, "RT mode fields unsupported", "设置了不支持的字段, 或总长度超出限制",
     std::nullopt},
    {errc::move_empty_cache, 768, "move empty cache", "没有可执行的运动指令", std::nullopt},
    {errc::robot_stopping, 769, "robot is stopping", "机器人停止中或当前状态无法暂停", std::nullopt},
    {errc::protocol_mismatch, -260, "protocol mismatch", "协议不匹配", std::nullopt},
};

// Every standard condition some named code maps to: a code must equal its own and no other.
const std::errc kGenerics[] = {std::errc::timed_out, std::errc::not_connected, std::errc::connection_refused,
                               std::errc::invalid_argument};

}  // namespace

TEST(NamedCodes, KeepTheirValuesAndTexts) {
  for (const NamedCode& n : kNamed) {
    const std::error_code ec = n.name;
    EXPECT_EQ(ec.value(), n.value);
    EXPECT_EQ(&ec.category(), &velmora::internal::apiErrorCategory()) << n.value;
    EXPECT_EQ(ec, velmora::internal::makeErrorCode(n.value));
    LangGuard english(1);
    EXPECT_EQ(ec.message(), n.en) << n.value;
    velmora::internal::useEnglish = 0;
    EXPECT_EQ(ec.message(), n.zh) << n.value;
  }
}

TEST(NamedCodes, CompareWithTheCodesOperationsGive) {
  for (const NamedCode& n : kNamed) {
    const std::error_code given = velmora::internal::makeErrorCode(n.value);
    EXPECT_TRUE(given == n.name) << n.value;
    EXPECT_FALSE(given != n.name) << n.value;
    // A bare number of another category is another code, whatever its value.
    EXPECT_FALSE(std::error_code(n.value, std::generic_category()) == n.name) << n.value;
    EXPECT_FALSE(std::error_code(n.value, std::system_category()) == n.name) << n.value;
  }
  std::error_code ec;
  ec = errc::timeout;
  EXPECT_EQ(ec.value(), 263);
  EXPECT_FALSE(velmora::internal::makeErrorCode(0) == errc::timeout);
  EXPECT_FALSE(velmora::internal::makeErrorCode(264) == errc::timeout);
}

TEST(NamedCodes, MatchTheStandardConditionOfTheirMeaningOnly) {
  for (const NamedCode& n : kNamed) {
    const std::error_code ec = n.name;
    for (std::errc generic : kGenerics) {
      const bool expected = n.generic.has_value() && *n.generic == generic;
      EXPECT_EQ(ec == generic, expected) << n.value << " vs " << std::make_error_code(generic).message();
    }
  }
  // The controller's own send time-out is a time-out too; its other codes and success are not.
  EXPECT_TRUE(velmora::internal::makeErrorCode(-285) == std::errc::timed_out);
  for (int value : {0, -1, -3, -284, -50401, 1000}) {
    for (std::errc generic : kGenerics) EXPECT_FALSE(velmora::internal::makeErrorCode(value) == generic) << value;
  }
}

TEST(NamedCodes, UnmappedCodesKeepTheirOwnCondition) {
  const auto& category = velmora::internal::apiErrorCategory();
  for (int value : {0, 255, 264, -1, -50401, 99999}) {
    const std::error_condition condition = category.default_error_condition(value);
    EXPECT_EQ(condition.value(), value);
    EXPECT_EQ(&condition.category(), &category);
  }
  EXPECT_EQ(category.default_error_condition(263), std::errc::timed_out);
  // The condition of a mapped code is the standard one, and its text the standard text.
  EXPECT_EQ(&category.default_error_condition(267).category(), &std::generic_category());
}
