#include <velmora/error.h>
#include <velmora/exception.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <set>
#include <string>

#include "common/error_table.h"
#include "support/lang_guard.h"

using namespace velmora;
using velmora::internal::makeErrorCode;

TEST(ErrorTable, HasUniqueCodesAndEnglishTexts) {
  std::set<int> codes;
  int library = 0;
  for (std::size_t i = 0; i < internal::kErrorRowCount; ++i) {
    const auto& row = internal::errorRows()[i];
    EXPECT_TRUE(codes.insert(row.code).second) << row.code;
    EXPECT_STRNE(row.en, "") << row.code;
    EXPECT_STRNE(row.zh, "") << row.code;
    if (row.code >= 255) ++library;
  }
  EXPECT_EQ(codes.size(), 168u);
  EXPECT_EQ(library, 23);
}

TEST(ErrorTable, MessagesInBothLanguages) {
  struct Row {
    int code;
    const char* zh;
    const char* en;
  };
  const Row rows[] = {
      {0, "操作成功完成", "success"},
      {-1, "发生错误", "General failure"},
      {-2, "发生错误", "General failure"},
      {1000, "发生错误", "General failure"},
      {-99999, "发生错误", "General failure"},
      {-3, "机器人急停按钮被按下, 请先恢复", "The robot is in EStop state, please recover."},
      {-35, nullptr, "IK error (out of working space)"},
      {-36, nullptr, "IK error (out of working space)"},
      {-277, nullptr, "funtion not correspond"},
      {-50401, "检测到碰撞", "collided"},
      {-60706, nullptr, "Failed to meet the joint space interpolation condition"},
      {256, "网络连接错误", "network connection"},
      {257, "无法解析机器人消息, 可能由于SDK版本与控制器版本不匹配", "response unresolved"},
      {263, "超时前未收到机器人回复, 可能由于网络通信问题", "timeout"},
      {266, "连接机器人失败", "robot connection failed"},
      {273, "点位距离过近，坐标系标定失败", "calibration frame error"},
      {769, "机器人停止中或当前状态无法暂停", "robot is stopping"},
  };
  for (const Row& r : rows) {
    LangGuard en(1);
    EXPECT_EQ(makeErrorCode(r.code).message(), r.en) << r.code;
    internal::useEnglish = 0;
    if (r.zh != nullptr) {
      EXPECT_EQ(makeErrorCode(r.code).message(), r.zh) << r.code;
    }
  }
}

TEST(ErrorCategory, OneCategoryNamedTarvikSdk) {
  EXPECT_STREQ(internal::apiErrorCategory().name(), "Tarvik-SDK");
  EXPECT_EQ(makeErrorCode(256), makeErrorCode(256));
  EXPECT_NE(makeErrorCode(256), std::error_code(256, std::generic_category()));
  EXPECT_FALSE(makeErrorCode(0));
}

TEST(MessageText, NumbersInBothLanguagesAndOutOfRange) {
  LangGuard guard(1);
  EXPECT_STREQ(internal::messageText(15), "Invalid number of elements, should be 6 or 16");
  EXPECT_STREQ(internal::messageText(9), "Failed to receive state data ");
  internal::useEnglish = 0;
  EXPECT_STREQ(internal::messageText(15), "位姿初始化接收6或16个参数");
  for (int n : {-1, 0, 1, 34, 35, 99, 1 << 30}) EXPECT_STREQ(internal::messageText(n), "") << n;
}

TEST(RealtimeMotionErrors, FirstFlagThrowsInTheLanguageInForce) {
  LangGuard guard(1);
  std::array<bool, 20> flags{};
  EXPECT_NO_THROW(internal::checkRealtimeMotionErrors(flags));
  flags[7] = flags[3] = true;
  try {
    internal::checkRealtimeMotionErrors(flags);
    FAIL() << "no exception";
  } catch (const RealtimeControlException& e) {
    EXPECT_EQ(std::string(e.what()), "realtime: rtMotion: (3-kActualJointVelocityLimitsViolation)");
  }
  EXPECT_EQ(internal::realtimeMotionErrorText(20), "unknown error");
  EXPECT_EQ(internal::realtimeMotionErrorText(-1), "unknown error");
  EXPECT_EQ(internal::realtimeMotionErrorText(2), "(2-kActualCartesianMotionElbowLimitViolation)");
  internal::useEnglish = 0;
  EXPECT_EQ(internal::realtimeMotionErrorText(20), "未知错误");
  EXPECT_EQ(internal::realtimeMotionErrorText(5), "急停触发 (5-kEstop)");
}

TEST(Locale, NameClassification) {
  const std::pair<const char*, bool> names[] = {
      {"Chinese (Simplified)_China.936", true},
      {"zh_CN.UTF-8", true},
      {"zh_TW.UTF-8", true},
      {"en_CN.UTF-8", true},
      {"English_United States.1252", false},
      {"Korean_Korea.949", false},
      {"C.UTF-8", false},
      {"de_DE.UTF-8", false},
      {"", false},
  };
  for (const auto& [name, chinese] : names) EXPECT_EQ(internal::localeNameIsChinese(name), chinese) << name;
}

TEST(Locale, EnvironmentInPosixOrderWithoutTouchingTheProcessLocale) {
  struct Env {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    bool chinese;
  };
  const Env cases[] = {
      {nullptr, nullptr, nullptr, false},
      {nullptr, nullptr, "zh_CN.UTF-8", true},
      {"", "", "zh_CN.UTF-8", true},
      {"C", nullptr, "zh_CN.UTF-8", false},
      {nullptr, "en_US.UTF-8", "zh_CN.UTF-8", false},
      {"zh_CN.GB2312", "en_US", "C", true},
  };
  const std::string before = std::setlocale(LC_ALL, nullptr);
  auto put = [](const char* name, const char* value) {
    if (value == nullptr)
      ::unsetenv(name);
    else
      ::setenv(name, value, 1);
  };
  for (const Env& e : cases) {
    put("LC_ALL", e.lcAll);
    put("LC_MESSAGES", e.lcMessages);
    put("LANG", e.lang);
    EXPECT_EQ(internal::isChineseLocale(), e.chinese) << (e.lang ? e.lang : "(null)");
  }
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
}
