// The rules every export of the flat C interface keeps: statuses, per-thread exception texts,
// buffers, the live-handle count and the crossing of error codes.
#include "native/abi_core.h"

#include <velmora/error.h>
#include <velmora/exception.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "managed/abi_test_support.h"
#include "support/lang_guard.h"

namespace velmora::internal {
namespace {

std::string take(vel_buf* buf) {
  const uint8_t* data = nullptr;
  int64_t length = -1;
  EXPECT_EQ(vel_buf_view(buf, &data, &length), VEL_OK);
  std::string bytes(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
  EXPECT_EQ(vel_buf_free(buf), VEL_OK);
  return bytes;
}

TEST(AbiCall, TurnsEveryExceptionIntoAStatusWithItsText) {
  LangGuard english(1);
  struct Case {
    std::int32_t status;
    std::string text;
    std::function<void()> body;
  };
  const Case cases[] = {
      {VEL_OK, "<none>", [] {}},
      {VEL_STD_EXCEPTION, "连接失败 \xF0\x9F\xA4\x96", [] { throw std::runtime_error("连接失败 🤖"); }},
      {VEL_STD_EXCEPTION, "network: refused", [] { throw NetworkException("refused"); }},
      {VEL_STD_EXCEPTION, "std::bad_alloc", [] { throw std::bad_alloc(); }},
      {VEL_UNKNOWN_EXCEPTION, kUnknownException, [] { throw 42; }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(abiCall(c.body), c.status) << c.text;
    EXPECT_EQ(takeLastException(), c.text);
    EXPECT_EQ(takeLastException(), "<none>") << "taken twice";
  }
}

TEST(AbiCall, KeepsTheTextPerThread) {
  ASSERT_EQ(abiCall([] { throw std::runtime_error("main"); }), VEL_STD_EXCEPTION);
  std::string seenByOther;
  std::thread other([&] {
    seenByOther = takeLastException();
    EXPECT_EQ(abiCall([] { throw std::runtime_error("other"); }), VEL_STD_EXCEPTION);
  });
  other.join();
  EXPECT_EQ(seenByOther, "<none>");
  EXPECT_EQ(takeLastException(), "main");
}

TEST(AbiCall, RefusesNullOutputs) {
  EXPECT_EQ(vel_sdk_version(nullptr), VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "null argument: out");
  EXPECT_EQ(vel_buf_view(nullptr, nullptr, nullptr), VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "null argument: buf");
  EXPECT_EQ(vts_live_handles(nullptr), VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "null argument: count");
  EXPECT_EQ(vel_buf_free(nullptr), VEL_OK);
}

TEST(Buffers, AreCountedUntilFreedAndKeepEveryByte) {
  int64_t before = -1;
  ASSERT_EQ(vts_live_handles(&before), VEL_OK);
  vel_buf* buf = nullptr;
  putBuffer(&buf, std::string("a\0b", 3));
  int64_t during = -1;
  ASSERT_EQ(vts_live_handles(&during), VEL_OK);
  EXPECT_EQ(during, before + 1);
  EXPECT_EQ(take(buf), std::string("a\0b", 3));
  int64_t after = -1;
  ASSERT_EQ(vts_live_handles(&after), VEL_OK);
  EXPECT_EQ(after, before);
}

TEST(Buffers, SdkVersionIsTheLibrarys) {
  vel_buf* text = nullptr;
  ASSERT_EQ(vel_sdk_version(&text), VEL_OK);
  EXPECT_EQ(take(text), "0.7.1");
}

class Foreign final : public std::error_category {
 public:
  const char* name() const noexcept override { return "foreign"; }
  std::string message(int value) const override { return "foreign " + std::to_string(value); }
};

TEST(ErrorCodes, CrossWithTheirCategoryAndMessage) {
  LangGuard chinese(0);
  static const Foreign foreign;
  struct Case {
    std::error_code ec;
    std::int32_t category;
    std::string message;
  };
  const Case cases[] = {
      {makeErrorCode(0), VEL_CATEGORY_SDK, "操作成功完成"},
      {makeErrorCode(-260), VEL_CATEGORY_SDK, "协议不匹配"},
      {std::error_code(), VEL_CATEGORY_SYSTEM, std::system_category().message(0)},
      {std::make_error_code(std::errc::timed_out), VEL_CATEGORY_GENERIC, std::generic_category().message(ETIMEDOUT)},
      {std::error_code(9, foreign), VEL_CATEGORY_OTHER, "foreign 9"},
  };
  for (const Case& c : cases) {
    const vel_err crossed = toVelErr(c.ec);
    EXPECT_EQ(crossed.value, c.ec.value());
    EXPECT_EQ(crossed.category, c.category);
    vel_buf* text = nullptr;
    ASSERT_EQ(vel_error_message(crossed.value, crossed.category, &text), VEL_OK);
    EXPECT_EQ(take(text), c.message);
  }
  vel_buf* text = nullptr;
  EXPECT_EQ(vel_error_message(0, 9, &text), VEL_STD_EXCEPTION);
  EXPECT_EQ(takeLastException(), "unknown error category 9");
}

}  // namespace
}  // namespace velmora::internal
