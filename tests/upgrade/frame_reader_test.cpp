#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "upgrade/upgrade_frames.h"
#include "velmora_sim/upgrade_wire.h"

using velmora::internal::FrameReader;
using velmora::internal::FrameRule;
using velmora::internal::FrameState;
using velmora_sim::upgradeFrame;
using velmora_sim::upgradeFrameHeader;

namespace {

const FrameRule kJson{2, 0, 100};
const FrameRule kReply{std::nullopt, 0, 100};
const FrameRule kFile{1, 21, 1000};

// Reads `stream` in chunks of `chunk` bytes, expecting the frames of `rules` one after another.
std::vector<std::string> readFrames(const std::string& stream, std::size_t part, const std::vector<FrameRule>& rules,
                                    std::size_t& kept) {
  FrameReader reader;
  std::vector<std::string> payloads;
  std::size_t next = 0;
  FrameState state = reader.expect(rules[next]);
  const auto settle = [&] {
    while (state == FrameState::complete && next < rules.size()) {
      payloads.emplace_back(reader.payload());
      if (++next == rules.size()) return;
      state = reader.expect(rules[next]);
    }
  };
  settle();
  for (std::size_t offset = 0; offset < stream.size(); offset += part) {
    state = reader.feed(stream.data() + offset, std::min(part, stream.size() - offset));
    settle();
  }
  kept = reader.kept();
  return payloads;
}

}  // namespace

TEST(FrameReader, RebuildsFramesWhereverTheStreamIsCut) {
  const std::string file = velmora_sim::upgradeFilePayload("data", "n");
  const std::string stream = upgradeFrame(2, "{\"s\":1}\n") + upgradeFrame(2, "") + upgradeFrame(1, file) + "tail";
  for (std::size_t part = 1; part <= stream.size(); ++part) {
    std::size_t kept = 0;
    const auto payloads = readFrames(stream, part, {kJson, kJson, kFile}, kept);
    EXPECT_THAT(payloads, ::testing::ElementsAre("{\"s\":1}\n", "", file)) << "chunks of " << part;
    EXPECT_EQ(kept, 4u) << "bytes after the last frame wait for the next one";
  }
}

TEST(FrameReader, JudgesTheHeaderBeforeTakingThePayload) {
  const struct {
    const char* name;
    FrameRule rule;
    std::string bytes;
    FrameState state;
  } cases[] = {
      {"another type", kJson, upgradeFrame(1, "{}"), FrameState::wrongType},
      {"any type", kReply, upgradeFrame(1, "{}"), FrameState::complete},
      {"any type, above the maximum", kReply, upgradeFrameHeader(101, 0), FrameState::badLength},
      {"below the minimum", kFile, upgradeFrameHeader(20, 1) + std::string(20, 'x'), FrameState::badLength},
      {"above the maximum", kJson, upgradeFrameHeader(101, 2), FrameState::badLength},
      {"2^32-1", kFile, upgradeFrameHeader(0xFFFFFFFFu, 1), FrameState::badLength},
      {"empty payload", kJson, upgradeFrameHeader(0, 2), FrameState::complete},
      {"header not complete", kJson, std::string(5, '\0'), FrameState::waiting},
      {"payload not complete", kJson, upgradeFrameHeader(3, 2) + "ab", FrameState::waiting},
  };
  for (const auto& c : cases) {
    FrameReader reader;
    reader.expect(c.rule);
    EXPECT_EQ(reader.feed(c.bytes.data(), c.bytes.size()), c.state) << c.name;
    if (c.state == FrameState::wrongType || c.state == FrameState::badLength) {
      const std::string more = upgradeFrame(2, "{}");
      EXPECT_EQ(reader.feed(more.data(), more.size()), c.state) << c.name << ": out of step, bytes dropped";
      EXPECT_EQ(reader.kept(), 0u) << c.name;
      EXPECT_EQ(reader.expect(kJson), FrameState::waiting) << c.name << ": a new start forgets the stream";
    }
  }
}

TEST(FrameReader, BackupPayloadKeepsABoundedNameAndRefusesAShortOne) {
  using velmora::internal::BackupFile;
  using velmora::internal::splitBackupPayload;
  BackupFile out;
  const std::string longName = velmora_sim::upgradeFilePayload("bytes", std::string(300, 'n'));
  ASSERT_TRUE(splitBackupPayload(longName, out));
  EXPECT_EQ(out.name, std::string(256, 'n'));
  EXPECT_EQ(out.bytes, "bytes");
  const std::string noName = velmora_sim::upgradeFilePayload("", "");
  ASSERT_TRUE(splitBackupPayload(noName, out));
  EXPECT_EQ(out.bytes, "");

  std::string shortName = velmora_sim::upgradeFilePayload(std::string(50, 'b'), "");
  shortName[20] = 51;
  EXPECT_FALSE(splitBackupPayload(shortName, out));
  EXPECT_FALSE(splitBackupPayload(std::string(20, '\0'), out));
}

TEST(FrameReader, ReplyPayloadThatIsNotJsonIsNull) {
  using velmora::internal::parseReplyPayload;
  EXPECT_TRUE(parseReplyPayload("").isNull());
  EXPECT_TRUE(parseReplyPayload("{\"s\":").isNull());
  EXPECT_TRUE(parseReplyPayload(std::string(100000, '[')).isNull()) << "deep nesting is refused, not thrown";
  EXPECT_TRUE(parseReplyPayload("{\"upgrade\":\"ok\"}\n").isObject());
}
