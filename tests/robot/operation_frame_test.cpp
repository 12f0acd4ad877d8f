// The frame's own pieces: reply codes by kind, the shared checks and their lines, the
// boundary that turns a stray throw into -260.
#include <gtest/gtest.h>

#include <stdexcept>

#include "robot/operation_frame.h"
#include "support/log_capture.h"

namespace velmora::internal {
namespace {

TEST(OperationFrame, ReplyCodeByKind) {
  struct Case {
    Json::Value reply;
    int code;
  };
  Json::Value object(Json::objectValue);
  object["error"] = -3;
  const Case cases[] = {
      {Json::Value(), 0},
      {Json::Value(0), 0},
      {Json::Value(-3), -3},
      {Json::Value(7.0), 7},
      {Json::Value(2.5), -260},
      {Json::Value("0"), -260},
      {Json::Value(true), -260},
      {object, -260},
      {Json::Value(Json::arrayValue), -260},
      {Json::Value(Json::UInt64(1) << 40), -260},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(replyCode(c.reply), c.code) << c.reply.toStyledString();
    std::error_code ec = makeErrorCode(263);
    takeReplyCode(c.reply, ec);
    EXPECT_EQ(ec.value(), 263) << "a failed request keeps its own code";
  }
}

TEST(OperationFrame, BoundaryMapsStrayThrowsToProtocolMismatch) {
  std::error_code ec = makeErrorCode(5);
  runOperation(ec, [] {});
  EXPECT_EQ(ec.value(), 0) << "cleared first";
  runOperation(ec, [] { Json::Value(3)["member"]; });
  EXPECT_EQ(ec.value(), -260);
  runOperation(ec, [] { throw std::out_of_range("x"); });
  EXPECT_EQ(ec.value(), -260);
}

TEST(OperationFrame, SharedChecksRefuseWithTheirLine) {
  LogCapture log;
  BaseRobot::Impl impl;  // never connected: no motion control of either kind
  std::error_code ec;
  EXPECT_FALSE(requireMotionControl(impl, ec, "uid: {} | moveReset uninitialized({})"));
  EXPECT_EQ(ec.value(), 255);
  EXPECT_TRUE(log.contains("moveReset uninitialized(255)"));
  EXPECT_FALSE(requireRlTaskControl(impl, ec, "uid: {} | runProject control mode error {} ({})"));
  EXPECT_EQ(ec.value(), 262);
  EXPECT_TRUE(log.contains("runProject control mode error Idle (262)"));
  refuse(impl, ec, 258, "uid: {} | setDefaultSpeed speed {} over-range ({})", logUid, 2.5, ec);
  EXPECT_EQ(ec.value(), 258);
  EXPECT_TRUE(log.contains("setDefaultSpeed speed 2.5 over-range (258)"));
}

TEST(OperationFrame, ReadNumbersIsAllOrNothing) {
  Json::Value three(Json::arrayValue), mixed(Json::arrayValue);
  for (double v : {1.0, 2.0, 3.0}) three.append(v);
  mixed.append(1.0);
  mixed.append("2");
  mixed.append(3.0);
  double out[3] = {9, 9, 9};
  EXPECT_FALSE(readNumbers(mixed, out, 3));
  EXPECT_EQ(out[0], 9);
  EXPECT_FALSE(readNumbers(three, out, 4));
  EXPECT_TRUE(readNumbers(three, out, 3));
  EXPECT_EQ(out[2], 3.0);
}

}  // namespace
}  // namespace velmora::internal
