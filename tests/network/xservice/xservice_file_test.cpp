#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <velmora/error.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "common/temp_dir.h"
#include "network/xservice/link_fixture.h"
#include "support/link_options.h"
#include "support/process_stats.h"
#include "support/xservice_probe.h"
#include "velmora_sim/md5.h"

using velmora::internal::makeErrorCode;
using velmora::internal::XService;
using velmora::internal::XServiceProbe;
using velmora_sim::Behaviour;
using velmora_sim::Exchange;
using velmora_sim::Verdict;
using namespace std::chrono_literals;

namespace {

constexpr std::uint64_t kLimit = XService::kMaxFileLength;

class XServiceFileTest : public LinkTest {
 protected:
  XServiceFileTest() {
    options["file_name"] = "prog.zip";
    options["function"] = "import_project";
    options["overwrite"] = true;
  }

  std::string write(const std::string& name, std::size_t size, std::uint32_t seed = 1) {
    std::string bytes(size, '\0');
    std::mt19937 random(seed);
    for (auto& b : bytes) b = static_cast<char>(random());
    std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
  }

  std::error_code send(const std::string& path, std::uint64_t limit = kLimit) { return send(link, path, limit); }
  std::error_code send(velmora::internal::XService& through, const std::string& path, std::uint64_t limit = kLimit) {
    std::error_code ec;
    through.sendFile(path, limit, options, ec);
    return ec;
  }

  std::size_t announcements() { return command().log().count("ix.sdk.transferInit"); }

  TempDir dir;
  Json::Value options;
};

}  // namespace

TEST_F(XServiceFileTest, AFileAtTheLimitArrivesWholeWithItsDigestAndAnnouncement) {
  const std::string bytes = write("limit.bin", kLimit);
  EXPECT_FALSE(send(dir / "limit.bin"));
  const auto files = this->files().received();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(files[0].bytes == bytes) << "the simulator got other bytes";
  const auto announcement = command().log().withKey("ix.sdk.transferInit");
  ASSERT_EQ(announcement.size(), 1u);
  EXPECT_EQ(announcement[0].raw, R"({"c":{"ix.sdk.transferInit":{"function":"import_project","len":10485760,"md5":")" +
                                     velmora_sim::md5Hex(bytes) + R"(","name":"prog.zip","overwrite":true}},"id":)" +
                                     announcement[0].id.asString() + "}\r");
}

TEST_F(XServiceFileTest, FilesThatCannotGoFailBeforeAnythingIsSent) {
  write("over.bin", kLimit + 1);
  write("empty.bin", 0);
  write("small.bin", 1001);
  std::filesystem::create_directory(dir / "folder");
  struct Case {
    const char* name;
    std::string path;
    std::uint64_t limit;
    int expected;
  };
  std::vector<Case> cases = {
      {"one byte over the limit", dir / "over.bin", kLimit, -283},
      {"one byte over a caller's limit", dir / "small.bin", 1000, -283},
      {"empty", dir / "empty.bin", kLimit, -283},
      {"missing", dir / "missing.bin", kLimit, -280},
      {"a folder", dir / "folder", kLimit, -280},
  };
  write("locked.bin", 10);
  ::chmod((dir / "locked.bin").c_str(), 0);
  if (::geteuid() != 0) cases.push_back({"unreadable", dir / "locked.bin", kLimit, -280});
  // A kernel attribute claims a page and yields a few bytes: a read that comes up short.
  for (const char* path : {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/kernel/profiling"}) {
    struct stat status {};
    if (::stat(path, &status) == 0 && status.st_size == 4096 && ::access(path, R_OK) == 0) {
      cases.push_back({"short read", path, kLimit, -284});
      break;
    }
  }
  for (const auto& c : cases) EXPECT_EQ(send(c.path, c.limit), makeErrorCode(c.expected)) << c.name;
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(announcements(), 0u);
  EXPECT_TRUE(files().received().empty());
  EXPECT_EQ(files().strayBytes(), 0u);
}

TEST_F(XServiceFileTest, TheAnnouncementAndTheVerdictDecideTheCode) {
  write("a.bin", 300);
  velmora::internal::LinkOptions waits = withRequestWait(150ms);
  waits.fileVerdictWait = 300ms;
  velmora::internal::XService quick(waits);
  start(quick, 2);
  auto armWith = [this](Verdict verdict) {
    return Behaviour::handle([this, verdict](Exchange& x) {
      files().expect(x.request().payload["len"].asUInt64(), verdict);
      x.reply(0);
    });
  };
  struct Case {
    const char* name;
    Behaviour announcement;
    int expected;
    bool bytesSent;
  };
  const std::vector<Case> cases = {
      {"refused by the controller", Behaviour::reply(-7), -7, false},
      {"reply without the key", Behaviour::handle([](Exchange& x) {
         Json::Value message;
         message["c"]["other"] = 0;
         x.replyMessage(message);
       }),
       257, false},
      {"no answer", Behaviour::silent(), 263, false},
      {"verdict error", armWith(Verdict::error()), -284, true},
      {"file link closed", armWith(Verdict::close()), -284, true},
      {"no verdict", armWith(Verdict::silent()), -285, true},
      {"success", armWith(Verdict::success()), 0, true},
  };
  std::size_t received = 0;
  for (const auto& c : cases) {
    command().script("ix.sdk.transferInit", c.announcement.times(1));
    EXPECT_EQ(send(quick, dir / "a.bin"), makeErrorCode(c.expected)) << c.name;
    if (c.bytesSent) ++received;
    EXPECT_EQ(files().received().size(), received) << c.name;
    EXPECT_EQ(files().strayBytes(), 0u) << c.name;
  }
}

TEST_F(XServiceFileTest, AFileLinkThatCannotStartGives256WithoutAnAnnouncement) {
  write("a.bin", 10);
  files().refuse(true);
  files().dropConnections();
  ASSERT_TRUE(waitUntil([&] { return XServiceProbe::fileLink(link).linkState == 2; }, 2s));
  EXPECT_EQ(send(dir / "a.bin"), makeErrorCode(256));
  EXPECT_EQ(announcements(), 0u);
  files().refuse(false);
  EXPECT_FALSE(send(dir / "a.bin")) << "the next transfer starts the file link again";
}

TEST_F(XServiceFileTest, TransfersFromTwoThreadsNeverInterleave) {
  const std::string first = write("first.bin", 3 << 20, 1);
  const std::string second = write("second.bin", 2 << 20, 2);
  std::error_code a, b;
  std::thread one([&] { a = send(dir / "first.bin"); });
  std::thread two([&] { b = send(dir / "second.bin"); });
  one.join();
  two.join();
  EXPECT_FALSE(a);
  EXPECT_FALSE(b);
  const auto files = this->files().received();
  ASSERT_EQ(files.size(), 2u);
  const bool inOrder = files[0].bytes == first && files[1].bytes == second;
  const bool swapped = files[0].bytes == second && files[1].bytes == first;
  EXPECT_TRUE(inOrder || swapped);
}
