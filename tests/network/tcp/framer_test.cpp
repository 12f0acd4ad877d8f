#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "network/tcp/framer.h"

using velmora::internal::DelimiterFramer;
using velmora::internal::FrameStatus;
using velmora::internal::MessageSink;
using ::testing::ElementsAreArray;

namespace {

struct Collect final : MessageSink {
  std::vector<std::string> messages;
  std::size_t stopAfter = 0;  // 0: never
  bool onMessage(std::string_view message) override {
    messages.emplace_back(message);
    return stopAfter == 0 || messages.size() < stopAfter;
  }
};

struct FramingCase {
  const char* name;
  std::size_t cap;
  std::vector<std::string> reads;
  std::vector<std::string> expected;
  FrameStatus lastStatus;
  std::size_t pending;
};

}  // namespace

TEST(DelimiterFramer, CutsTheStreamAtEachCarriageReturn) {
  const std::vector<FramingCase> cases = {
      {"joined in one read", 64, {"{\"a\":1}\r{\"b\":2}\r"}, {"{\"a\":1}\r", "{\"b\":2}\r"}, FrameStatus::ok, 0},
      {"split byte by byte", 64, {"{", "\"", "a", "\"", ":1}", "\r"}, {"{\"a\":1}\r"}, FrameStatus::ok, 0},
      {"split and joined", 64, {"ab", "c\rde", "f\rg"}, {"abc\r", "def\r"}, FrameStatus::ok, 1},
      {"empty message", 64, {"\r\r"}, {"\r", "\r"}, FrameStatus::ok, 0},
      {"line feed is data", 64, {"a\nb\r"}, {"a\nb\r"}, FrameStatus::ok, 0},
      {"exactly at the cap", 8, {"1234567\r"}, {"1234567\r"}, FrameStatus::ok, 0},
      {"at the cap across reads", 8, {"1234", "567\r"}, {"1234567\r"}, FrameStatus::ok, 0},
      {"one over the cap", 8, {"12345678\r"}, {}, FrameStatus::overflow, 9},
      {"cap reached without delimiter", 8, {"1234", "5678"}, {}, FrameStatus::overflow, 8},
      {"good message before an oversized one", 8, {"ok\r123456789"}, {"ok\r"}, FrameStatus::overflow, 9},
  };
  for (const auto& c : cases) {
    DelimiterFramer framer('\r', c.cap);
    Collect sink;
    FrameStatus status = FrameStatus::ok;
    for (const auto& read : c.reads) status = framer.feed(read, sink);
    EXPECT_THAT(sink.messages, ElementsAreArray(c.expected)) << c.name;
    EXPECT_EQ(status, c.lastStatus) << c.name;
    EXPECT_EQ(framer.pending(), c.pending) << c.name;
  }
}

TEST(DelimiterFramer, DefaultCapIsOneMebibyteIncludingTheCarriageReturn) {
  const std::string atCap = std::string(DelimiterFramer::kDefaultCap - 1, 'x') + "\r";
  DelimiterFramer framer;
  Collect sink;
  EXPECT_EQ(framer.feed(atCap + "next\r", sink), FrameStatus::ok);
  ASSERT_EQ(sink.messages.size(), 2u);
  EXPECT_EQ(sink.messages[0].size(), 1048576u);

  DelimiterFramer over;
  Collect none;
  EXPECT_EQ(over.feed(std::string(DelimiterFramer::kDefaultCap, 'x') + "\r", none), FrameStatus::overflow);
  EXPECT_TRUE(none.messages.empty());
}

TEST(DelimiterFramer, StopsDeliveringWhenTheSinkSaysSoAndResetForgets) {
  DelimiterFramer framer;
  Collect sink;
  sink.stopAfter = 1;
  EXPECT_EQ(framer.feed("a\rb\rc", sink), FrameStatus::stopped);
  EXPECT_THAT(sink.messages, ElementsAreArray({"a\r"}));
  framer.reset();
  EXPECT_EQ(framer.pending(), 0u);
  Collect after;
  EXPECT_EQ(framer.feed("d\r", after), FrameStatus::ok);
  EXPECT_THAT(after.messages, ElementsAreArray({"d\r"}));
}

namespace {

std::string record(const std::string& body) {
  return std::string{static_cast<char>(body.size() >> 8), static_cast<char>(body.size() & 0xff)} + body;
}

}  // namespace

TEST(RecordFramer, JoinsRecordBodiesWhereverReadsEnd) {
  using velmora::internal::RecordFramer;
  const std::string large(300, 'L');  // a length with a high byte
  const std::string wire = record("") + record("abc") + record(large) + record("") + record("z");
  for (std::size_t part = 1; part <= wire.size(); ++part) {
    RecordFramer framer;
    Collect sink;
    for (std::size_t offset = 0; offset < wire.size(); offset += part) {
      EXPECT_EQ(framer.feed(wire.substr(offset, part), sink), FrameStatus::ok);
    }
    std::string joined;
    for (const auto& m : sink.messages) {
      EXPECT_FALSE(m.empty()) << "chunks of " << part;
      joined += m;
    }
    EXPECT_EQ(joined, "abc" + large + "z") << "chunks of " << part;
    EXPECT_EQ(framer.remaining(), 0u);
  }
  RecordFramer framer;
  Collect sink;
  framer.feed(wire, sink);
  EXPECT_EQ(sink.messages.size(), 1u) << "one read, one delivery";
}

TEST(RecordFramer, StopsWhenTheSinkSaysSoAndResetForgetsAHalfRecord) {
  velmora::internal::RecordFramer framer;
  Collect sink;
  sink.stopAfter = 1;
  EXPECT_EQ(framer.feed(record("abcd").substr(0, 4), sink), FrameStatus::stopped);
  EXPECT_EQ(framer.remaining(), 2u);
  framer.reset();
  Collect after;
  EXPECT_EQ(framer.feed(record("x"), after), FrameStatus::ok);
  EXPECT_THAT(after.messages, ElementsAreArray({"x"}));
}
