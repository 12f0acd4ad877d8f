#include <velmora/exception.h>

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>

#include "support/lang_guard.h"

using namespace velmora;

namespace {

struct LabelCase {
  const char* name;
  std::function<std::string(const std::string&)> make;
  const char* en;
  const char* zh;
};

template <typename E>
std::function<std::string(const std::string&)> maker() {
  return [](const std::string& m) { return std::string(E(m).what()); };
}

}  // namespace

TEST(Exceptions, LabelsNestInTheLanguageInForce) {
  const LabelCase cases[] = {
      {"Exception", maker<Exception>(), "", ""},
      {"Argument", maker<ArgumentException>(), "invalidArguments: ", "参数错误: "},
      {"Execution", maker<ExecutionException>(), "execute: ", "执行异常: "},
      {"Network", maker<NetworkException>(), "network: ", "网络异常: "},
      {"Protocol", maker<ProtocolException>(), "execute: protocol: ", "执行异常: 通信协议错误: "},
      {"RealtimeControl", maker<RealtimeControlException>(), "realtime: ", "实时模式异常: "},
      {"RealtimeMotion", maker<RealtimeMotionException>(), "realtime: rtMotion: ", "实时模式异常: 运动错误: "},
      {"RealtimeState", maker<RealtimeStateException>(), "realtime: rtState: ", "实时模式异常: 状态错误: "},
  };
  for (const auto& c : cases) {
    for (const std::string m : {"", "m"}) {
      LangGuard en(1);
      EXPECT_EQ(c.make(m), c.en + m) << c.name;
      velmora::internal::useEnglish = 0;
      EXPECT_EQ(c.make(m), c.zh + m) << c.name;
    }
  }
}

TEST(Exceptions, CopiesAndRethrowsKeepTheTextAndTheLanguageOfConstruction) {
  LangGuard zh(0);
  const ProtocolException original("v");
  velmora::internal::useEnglish = 1;
  const ProtocolException copy = original;
  EXPECT_STREQ(copy.what(), "执行异常: 通信协议错误: v");
  std::exception_ptr ptr = std::make_exception_ptr(original);
  try {
    std::rethrow_exception(ptr);
  } catch (const ExecutionException& e) {
    EXPECT_STREQ(e.what(), original.what());
  }
}

TEST(Exceptions, CatchHierarchy) {
  auto caughtAs = [](auto thrower, auto tag) {
    using Base = typename decltype(tag)::type;
    try {
      thrower();
    } catch (const Base&) {
      return true;
    } catch (...) {
    }
    return false;
  };
  auto motion = [] { throw RealtimeMotionException("x"); };
  auto protocol = [] { throw ProtocolException("x"); };
  auto network = [] { throw NetworkException("x"); };
  EXPECT_TRUE(caughtAs(motion, std::common_type<RealtimeControlException>{}));
  EXPECT_TRUE(caughtAs(motion, std::common_type<Exception>{}));
  EXPECT_TRUE(caughtAs(motion, std::common_type<std::exception>{}));
  EXPECT_FALSE(caughtAs(motion, std::common_type<RealtimeStateException>{}));
  EXPECT_TRUE(caughtAs(protocol, std::common_type<ExecutionException>{}));
  EXPECT_FALSE(caughtAs(network, std::common_type<ExecutionException>{}));
  LangGuard en(1);
  try {
    motion();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "realtime: rtMotion: x");
  }
}
