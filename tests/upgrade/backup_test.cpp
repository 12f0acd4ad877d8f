#include <gmock/gmock.h>
#include <velmora/upgrade.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <optional>

#include "upgrade/upgrade_fixture.h"

using velmora::BackupItem;
using velmora::BaseUpgrade;
using velmora_sim::UpgradeFrame;
using velmora_sim::UpgradeReply;
using velmora_sim::UpgradeService;
using velmora_sim::upgradeFilePayload;
using velmora_sim::upgradeFrame;
using velmora_sim::upgradeFrameHeader;
using velmora_sim::upgradeJsonFrame;
using namespace std::chrono_literals;

namespace {

Json::Value exportResult(std::initializer_list<std::pair<const char*, Json::Value>> members) {
  Json::Value reply(Json::objectValue);
  reply["reply"] = "export";
  reply["result"] = Json::Value(Json::objectValue);
  for (const auto& [name, value] : members) reply["result"][name] = value;
  return reply;
}

// Files this process writes stop at `bytes`, as on a full disk: a write beyond fails with EFBIG
// (the signal that would end the process is ignored meanwhile).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    signal_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, signal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*signal_)(int) = SIG_DFL;
};

}  // namespace

TEST_F(UpgradeTest, ThreeMebibyteBackupIsWrittenByteExactWhateverItsRecords) {
  const std::string file = writePackage("source", 3 << 20);
  const struct {
    const char* name;
    std::size_t recordSize;
  } cases[] = {{"60 KiB records, the first in one write with the reply", 60 * 1024}, {"1-byte records", 1}};
  for (const auto& c : cases) {
    const std::size_t recordSize = c.recordSize;
    service().onRequest([&file, recordSize](const UpgradeFrame& f) {
      return UpgradeReply()
          .json(UpgradeService::exportReply(f.json))
          .records(UpgradeService::backupFrame(file), recordSize);
    });
    std::ofstream(path("backup.bin")) << std::string(4 << 20, 'o');  // an older, longer backup
    // The controller's own waits: a million one-byte writes may pause longer than the short
    // waits allow on a busy or instrumented build.
    BaseUpgrade client = connected(velmora::internal::UpgradeOptions());
    std::error_code ec;
    client.exportBackup(path("backup.bin"), {BackupItem::robotConfig, BackupItem::controllerLog}, ec);
    EXPECT_EQ(ec.value(), 0) << c.name;
    EXPECT_TRUE(readFile(path("backup.bin")) == file) << c.name;
  }
}

TEST_F(UpgradeTest, BackupRequestNamesTheItemsInOrder) {
  const struct {
    std::set<BackupItem> items;
    const char* text;
  } cases[] = {
      {{}, "{\"export\":[],\"send_file\":true}\n"},
      {{BackupItem::robotConfigWithoutBodyParams, BackupItem::robotConfig},
       "{\"export\":[\"robot_cfg\",\"robot_cfg\",{\"exclude\":[\"local_cfg\"]}],\"send_file\":true}\n"},
      {{BackupItem::sdkRecordPath, BackupItem::customConfig, BackupItem::systemLog, BackupItem::rlProgram,
        BackupItem::backupRlProgram, BackupItem::controllerLog, static_cast<BackupItem>(9)},
       "{\"export\":[\"interactive\",\"log\",\"syslog\",\"project\",\"historical_engineering\",\"sdk_path\",\"\"],"
       "\"send_file\":true}\n"},
  };
  BaseUpgrade client = connected();
  std::size_t n = 0;
  for (const auto& c : cases) {
    std::error_code ec;
    client.exportBackup(path("b"), c.items, ec);
    EXPECT_EQ(ec.value(), 0) << c.text;
    const auto frame = service().waitForFrame(++n, 2s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->type, 2);
    EXPECT_EQ(frame->payload, c.text);
  }
}

TEST_F(UpgradeTest, ExportStatusPutsAFailedBackupBeforeAPartialOne) {
  const std::string file = "backup bytes";
  const std::string good = UpgradeService::backupFrame(file);
  const struct {
    const char* name;
    Json::Value reply;
    bool sendsFile;
    int code;
  } cases[] = {
      {"all ok", exportResult({{"log", "ok"}, {"size", "ok"}}), true, 0},
      {"an item failed", exportResult({{"log", "fail"}, {"size", "ok"}}), true, 271},
      {"an item not a text", exportResult({{"log", 5}, {"size", "ok"}}), true, 0},
      {"no size", exportResult({{"log", "ok"}}), false, 270},
      {"size failed", exportResult({{"size", "fail"}}), false, 270},
      {"size failed and an item failed", exportResult({{"size", "fail"}, {"syslog", "fail"}}), false, 270},
      {"size not a text", exportResult({{"size", true}}), false, 270},
      {"another reply", UpgradeTest::object("reply", "import"), false, -257},
      {"result not an object", UpgradeTest::object("reply", "export"), false, -257},
      {"reply not an object", Json::Value("export"), false, -257},
  };
  BaseUpgrade client = connected();
  for (const auto& c : cases) {
    service().onRequest([&c, &good](const UpgradeFrame&) {
      UpgradeReply r;
      r.json(c.reply);
      if (c.sendsFile) r.records(good);
      return r;
    });
    std::filesystem::remove(path("b"));
    std::error_code ec;
    client.exportBackup(path("b"), {BackupItem::controllerLog}, ec);
    EXPECT_EQ(ec.value(), c.code) << c.name;
    EXPECT_EQ(std::filesystem::exists(path("b")), c.sendsFile) << c.name;
  }
}

TEST_F(UpgradeTest, ABackupFrameRefusedOrNotReceivedWritesNoFile) {
  auto limits = shortWaits();
  limits.backupCap = 1 << 20;
  const std::string file(1000, 'f');
  const std::string payload = upgradeFilePayload(file, "backup.zip");
  const std::string wrongDigest = upgradeFilePayload(file, "backup.zip", std::string(16, '\x5a'));
  const std::string longName = upgradeFilePayload(file, std::string(300, 'n'));
  std::string shortOfName = upgradeFilePayload("", "backup.zip");
  shortOfName[20] = 100;  // a name longer than the payload holds
  const struct {
    const char* name;
    UpgradeReply tail;
    int code;
    std::chrono::milliseconds within;
  } cases[] = {
      {"a 300-byte name", UpgradeReply().records(upgradeFrame(1, longName)), 0, 500ms},
      {"MD5 mismatch", UpgradeReply().records(upgradeFrame(1, wrongDigest)), 270, 500ms},
      {"payload length 0", UpgradeReply().records(upgradeFrameHeader(0, 1) + payload), 270, 500ms},
      {"payload length 1", UpgradeReply().records(upgradeFrameHeader(1, 1) + payload), 270, 500ms},
      {"payload length 20", UpgradeReply().records(upgradeFrameHeader(20, 1) + payload), 270, 500ms},
      {"payload length 2^32-1", UpgradeReply().records(upgradeFrameHeader(0xFFFFFFFFu, 1) + payload), 270, 500ms},
      {"frame over the cap", UpgradeReply().records(upgradeFrameHeader((1 << 20) - 5, 1) + payload), 270, 500ms},
      {"name beyond the payload", UpgradeReply().records(upgradeFrame(1, shortOfName)), 270, 500ms},
      {"JSON type", UpgradeReply().records(upgradeFrame(2, payload)), -257, 500ms},
      {"type 3", UpgradeReply().records(upgradeFrame(3, payload)), -257, 500ms},
      {"no frame", UpgradeReply(), 270, 1500ms},
      {"half a frame", UpgradeReply().records(upgradeFrame(1, payload).substr(0, 500)), 270, 1000ms},
      {"half a frame, then closed", UpgradeReply().records(upgradeFrame(1, payload).substr(0, 500)).close(), 270,
       500ms},
  };
  for (const auto& c : cases) {
    service().onRequest([&c](const UpgradeFrame& f) {
      UpgradeReply r;
      r.json(UpgradeService::exportReply(f.json));
      for (const auto& w : c.tail.writes()) r.raw(w.bytes);
      if (!c.tail.writes().empty() && c.tail.writes().back().close) r.close();
      return r;
    });
    std::filesystem::remove(path("b"));
    BaseUpgrade client = connected(limits);
    std::error_code ec;
    const auto began = std::chrono::steady_clock::now();
    client.exportBackup(path("b"), {BackupItem::systemLog}, ec);
    EXPECT_EQ(ec.value(), c.code) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - began, c.within) << c.name;
    EXPECT_EQ(std::filesystem::exists(path("b")), c.code == 0) << c.name;
  }
}

// The answer to the request is read whatever its type byte; only the file frame must be a file.
TEST_F(UpgradeTest, TheExportAnswerMayCarryAnyTypeByte) {
  const std::string file = "backup bytes";
  BaseUpgrade client = connected();
  for (const std::uint8_t type : {0, 1, 2, 9}) {
    SCOPED_TRACE(static_cast<int>(type));
    service().onRequest([&file, type](const UpgradeFrame& f) {
      const std::string answer = upgradeJsonFrame(UpgradeService::exportReply(f.json));
      return UpgradeReply().records(upgradeFrame(type, answer.substr(6)) + UpgradeService::backupFrame(file));
    });
    std::filesystem::remove(path("b"));
    std::error_code ec;
    client.exportBackup(path("b"), {BackupItem::systemLog}, ec);
    EXPECT_EQ(ec.value(), 0);
    EXPECT_EQ(readFile(path("b")), file);
  }
  EXPECT_EQ(service().acceptCount(), 1);
}

TEST_F(UpgradeTest, AnOutputFileThatCannotBeOpenedGivesItsCode) {
  BaseUpgrade client = connected();
  std::error_code ec;
  client.exportBackup(path("no-such-folder/b"), {BackupItem::systemLog}, ec);
  EXPECT_EQ(ec.value(), -280);
}

// A backup is written beside the target and renamed over it once whole: a failed write leaves an
// older backup, a link at the path and the file it names as they were, and nothing else behind.
TEST_F(UpgradeTest, AFailedWriteKeepsWhatWasAtTheTarget) {
  namespace fs = std::filesystem;
  const std::string backup = writePackage("source", 256 * 1024);
  service().setBackupFile(backup);
  const std::string older = "an older backup";
  const struct {
    const char* name;
    bool link;
    bool diskFull;
    int code;
  } cases[] = {
      {"an older backup, disk full", false, true, 270},
      {"a link to an older backup, disk full", true, true, 270},
      {"an older backup replaced", false, false, 0},
      {"a link followed to the backup it names", true, false, 0},
  };
  BaseUpgrade client = connected();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path("b"));
    std::ofstream(path("old")) << older;
    if (c.link) {
      fs::create_symlink(path("old"), path("b"));
    } else {
      fs::copy_file(path("old"), path("b"));
    }
    std::error_code ec;
    {
      std::optional<FileSizeLimit> full;
      if (c.diskFull) full.emplace(64 * 1024);
      client.exportBackup(path("b"), {BackupItem::systemLog}, ec);
    }
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(fs::is_symlink(path("b")), c.link);
    EXPECT_EQ(readFile(path("b")) == backup, c.code == 0);
    if (c.code != 0) {
      EXPECT_EQ(readFile(path("b")), older);
    }
    EXPECT_FALSE(fs::exists(path("b.part")));
    EXPECT_FALSE(fs::exists(path("old.part")));
  }
}

// What is no regular file is never written to nor removed, and the part a cut-short export left
// is replaced.
TEST_F(UpgradeTest, ATargetThatIsNoRegularFileIsLeftAlone) {
  namespace fs = std::filesystem;
  service().setBackupFile("backup bytes");
  BaseUpgrade client = connected();
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  fs::create_directory(path("folder"));
  fs::create_symlink(path("nowhere"), path("dangling"));
  for (const char* name : {"fifo", "folder", "dangling"}) {
    SCOPED_TRACE(name);
    const auto type = fs::symlink_status(path(name)).type();
    std::error_code ec;
    client.exportBackup(path(name), {BackupItem::systemLog}, ec);
    EXPECT_EQ(ec.value(), -280);
    EXPECT_EQ(fs::symlink_status(path(name)).type(), type);
    EXPECT_FALSE(fs::exists(path("nowhere")));
  }
  std::ofstream(path("b.part")) << "left by an export cut short";
  std::error_code ec;
  client.exportBackup(path("b"), {BackupItem::systemLog}, ec);
  EXPECT_EQ(ec.value(), 0);
  EXPECT_EQ(readFile(path("b")), "backup bytes");
  EXPECT_FALSE(fs::exists(path("b.part")));
}
