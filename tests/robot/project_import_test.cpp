// Imports of projects and files over the file channel, and file removal: what reaches the
// simulated controller (announcement, bytes checked against their digest, import command) and
// how its answers become codes.
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "network/xservice/xservice.h"
#include "robot/project_fixture.h"
#include "support/link_options.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using velmora_sim::Behaviour;
using velmora_sim::Form;

const std::string kZip("PK\x03\x04 archive", 12);
constexpr const char* kImportFile = "eci.file_transfer.import_project_file";

class ImportTest : public ProjectTest {
 protected:
  void SetUp() override {
    ProjectTest::SetUp();
    sim().projects().addProject("P", {"T"});
  }
  std::size_t announcements() { return command().log().count("ix.sdk.transferInit"); }
  std::size_t sent() { return command().log().size(); }
};

TEST_F(ImportTest, FilesGoWhereTheDestinationSays) {
  const struct {
    const char* dest;
    const char* source;
    int expected;
    const char* stored;    // file name in the store (task "T" for ".mod"); "" when refused
    const char* announce;  // the announced name
    const char* value;     // the import command's value
  } cases[] = {
      {"project/P", "a.json", 0, "a.json", "a", R"({"project_name": "P", "extension": ".json"})"},
      {"project/P", "a.sys", 0, "a.sys", "a", R"({"project_name": "P", "extension": ".sys"})"},
      {"project/P/b.json", "a.json", 0, "b.json", "b", R"({"project_name": "P", "extension": ".json"})"},
      {"project/P/T", "a.mod", 0, "a.mod", "a", R"({"project_name": "P", "task_name": "T", "extension": ".mod"})"},
      {"project/P/T/b.mod", "a.mod", 0, "b.mod", "b",
       R"({"project_name": "P", "task_name": "T", "extension": ".mod"})"},
      {"project/P/T/b", "a.mod", 0, "a.mod", "a", R"({"project_name": "P", "task_name": "T", "extension": ".mod"})"},
      {"project\\P\\T\\", "c.mod", 0, "c.mod", "c", R"({"project_name": "P", "task_name": "T", "extension": ".mod"})"},
      {"project/P/b.xml", "a.json", -281, "", "", ""},
      {"project/P", "a.mod", -281, "", "", ""},
      {"project/P/T/b.txt", "a.mod", -281, "", "", ""},
      {"project/P/T", "a.MOD", -281, "", "", ""},
      {"project/P", "a.txt", -281, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.dest) + " <- " + c.source);
    command().log().clear();
    const std::string bytes = std::string("bytes of ") + c.source + c.dest;
    std::error_code ec;
    const std::string name = robot().importFile(write(c.source, bytes), c.dest, true, ec);
    EXPECT_EQ(ec.value(), c.expected);
    if (c.expected) {
      EXPECT_EQ(sent(), 0u);
      continue;
    }
    EXPECT_EQ(name, c.stored);
    const bool projectLevel = std::string(c.stored).find(".mod") == std::string::npos;
    EXPECT_EQ(sim().projects().file("P", projectLevel ? "" : "T", c.stored), bytes) << "bytes as the digest said";
    EXPECT_THAT(last("ix.sdk.transferInit").payload["name"], JsonIs('"' + std::string(c.announce) + '"'));
    EXPECT_THAT(last("ix.sdk.transferInit").payload["function"], JsonIs(R"("import_project_file")"));
    EXPECT_THAT(last(kImportFile).payload, JsonIs(c.value));
  }
}

TEST_F(ImportTest, MalformedControllerPathsAndNamesSendNothing) {
  write("a.mod", "x");
  write("dir/a.mod", "x");
  for (const char* dest :
       {"proj/P/T", "project", "project/P/T/b.mod/x", "", "/project/P", "project/../T", "project/P/..", "project/./T",
        "project//T", "project/P//b.mod", "project/P/T/..", "project\\..\\T", "project/P/b.json/x", "Project/P"}) {
    std::error_code ec;
    EXPECT_EQ(robot().importFile("a.mod", dest, false, ec), "");
    EXPECT_EQ(ec.value(), 259) << dest;
  }
  // A name taken from the local file: "..mod" names ".", and a backslash is no separator here.
  write("..mod", "x");
  write("dir\\a.mod", "x");
  for (const char* source : {"..mod", "dir\\a.mod"}) {
    std::error_code ec;
    robot().importFile(source, "project/P/T", false, ec);
    EXPECT_EQ(ec.value(), 259) << source;
  }
  const struct {
    std::vector<std::string> list;
    int expected;
  } removals[] = {{{}, 259},
                  {{"project/P"}, 259},
                  {{"project/P/T/a.mod", "project/P/../a.mod"}, 259},
                  {{"project/P/.."}, 259},
                  {{"project//T"}, 259},
                  {{"project/P/T/a.mod/x"}, 259},
                  {{"x/P/T"}, 259},
                  {{"project/P/T/a.txt"}, -281}};
  for (const auto& r : removals) {
    std::error_code ec;
    robot().removeFiles(r.list, ec);
    EXPECT_EQ(ec.value(), r.expected) << ::testing::PrintToString(r.list);
  }
  std::error_code ec;
  for (const char* archive : {".zip", "...zip"}) {
    robot().importProject(write(archive, kZip), false, ec);
    EXPECT_EQ(ec.value(), 259) << archive;
  }
  EXPECT_EQ(sent(), 0u);
  EXPECT_TRUE(files().received().empty());
}

TEST_F(ImportTest, TheLocalSourcePathIsUsedAsGiven) {
  write("dir/b.mod", "the file a rewritten path would name");
  const std::string path = write("dir\\b.mod", "the file named");
  std::error_code ec;
  EXPECT_EQ(robot().importFile(path, "project/P/T/x.mod", false, ec), "x.mod");
  EXPECT_FALSE(ec);
  EXPECT_EQ(sim().projects().file("P", "T", "x.mod"), "the file named");
}

TEST_F(ImportTest, ProjectArchivesAndFilesThatCannotGo) {
  std::error_code ec;
  EXPECT_EQ(robot().importProject(write("a.zip.bak", kZip), false, ec), "a");
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("ix.sdk.transferInit").payload["name"], JsonIs(R"("a")"));
  EXPECT_THAT(last("ix.sdk.import_project").payload, JsonIs("null"));
  EXPECT_THAT(sim().projects().projects(), ::testing::Contains("a")) << "its digest matched";
  ASSERT_FALSE(files().received().empty());
  EXPECT_EQ(files().received().back().bytes, kZip);
  robot().importProject(write("a.zip", kZip), false, ec);
  EXPECT_EQ(ec.value(), -277) << "the controller keeps the project without overwrite";
  robot().importProject(write("b.zip", "not an archive"), true, ec);
  EXPECT_EQ(ec.value(), -278);

  command().log().clear();
  write("over.mod", std::string(internal::XService::kMaxFileLength + 1, 'x'));
  write("empty.mod", "");
  write("locked.mod", "x");
  ::chmod("locked.mod", 0);
  std::filesystem::create_directory("folder.zip");
  ASSERT_EQ(::mkfifo("pipe.mod", 0600), 0) << "a file that no writer ever fills";
  const struct {
    std::function<void(std::error_code&)> call;
    int expected;
  } cases[] = {
      {[&](auto& ec) { robot().importFile("over.mod", "project/P/T", true, ec); }, -283},
      {[&](auto& ec) { robot().importFile("empty.mod", "project/P/T", true, ec); }, -283},
      {[&](auto& ec) { robot().importFile("missing.mod", "project/P/T", true, ec); }, -279},
      {[&](auto& ec) { robot().importFile("locked.mod", "project/P/T", true, ec); }, ::geteuid() ? -280 : 0},
      {[&](auto& ec) { robot().importFile("pipe.mod", "project/P/T", true, ec); }, -280},
      {[&](auto& ec) { robot().importProject("folder.zip", true, ec); }, -280},
      {[&](auto& ec) { robot().importProject("missing.zip", true, ec); }, -279},
      {[&](auto& ec) { robot().importProject(write("x.zi", kZip), true, ec); }, -281},
  };
  for (const auto& c : cases) {
    c.call(ec);
    if (c.expected) {
      EXPECT_EQ(ec.value(), c.expected);
    }
  }
  if (::geteuid()) {
    EXPECT_EQ(sent(), 0u);
  }
}

TEST_F(ImportTest, ControllerAnswersBecomeCodes) {
  useRequestWait(300ms);
  const struct {
    const char* reply;
    int expected;
    const char* name;
  } replies[] = {
      {R"({"data": {"f": "function_error"}})", -277, ""},
      {R"({"data": {"f": "false_project_zip"}})", -278, ""},
      {R"({"data": {"f": "empty_data"}})", -284, ""},
      {R"({"data": {"f": "wrong_file_type"}})", -281, ""},
      {R"({"data": {"f": "non-exist task"}})", -60005, ""},
      {R"({"data": {"f": "open_file_error"}})", -280, ""},
      {R"({"data": {"f": "other", "N": "n"}})", 0, "n"},
      {R"({"data": {"N": "n"}})", 0, "n"},
      {"0", 0, ""},
      {"-9", -9, ""},
      {"null", 0, ""},
      {R"("x")", -260, ""},
      {"[]", -260, ""},
      {R"({"data": "x"})", -260, ""},
      {R"({"data": {"f": 5, "N": "n"}})", 0, "n"},
      {R"({"data": {"N": {}}})", -260, ""},
      {R"({"data": {"f": [], "N": "n"}})", -260, ""},
      {R"({"data": {"N": 12.0}})", 0, "12"},
  };
  const std::string mod = write("a.mod", "x");
  const std::string zip = write("a.zip", kZip);
  for (const bool project : {true, false}) {
    const char* key = project ? "ix.sdk.import_project" : kImportFile;
    const std::string nameKey = project ? "project_name" : "file_name";
    for (const auto& r : replies) {
      SCOPED_TRACE(std::string(key) + " " + r.reply);
      std::string text = r.reply;
      if (const auto at = text.find("\"N\""); at != std::string::npos) text.replace(at + 1, 1, nameKey);
      command().script(Form::command, key, Behaviour::reply(parseJson(text)).times(1));
      std::error_code ec;
      const std::string name =
          project ? robot().importProject(zip, true, ec) : robot().importFile(mod, "project/P/T", true, ec);
      EXPECT_EQ(ec.value(), r.expected);
      EXPECT_EQ(name, r.name);
    }
    // Transfer failures: no import command follows.
    command().log().clear();
    command().script(Form::command, "ix.sdk.transferInit", Behaviour::reply(-5).times(1));
    command().script(Form::command, "ix.sdk.transferInit", Behaviour::handle([this](velmora_sim::Exchange& x) {
                                                             files().expect(x.request().payload["len"].asUInt64(),
                                                                            velmora_sim::Verdict::error());
                                                             x.reply(0);
                                                           }).times(1));
    command().script(Form::command, "ix.sdk.transferInit", Behaviour::silent().times(1));
    for (const int expected : {-5, -284, 263}) {
      std::error_code ec;
      project ? robot().importProject(zip, true, ec) : robot().importFile(mod, "project/P/T", true, ec);
      EXPECT_EQ(ec.value(), expected);
    }
    EXPECT_EQ(command().log().count(key), 0u);
  }
}

// The controller may close the file link at any moment: a transfer that finds it closed, before
// or while it is announced, goes once more on a new connection instead of failing.
TEST_F(ImportTest, AnImportRightAfterTheFileLinkDroppedSucceeds) {
  std::error_code ec;
  ASSERT_EQ(robot().importFile(write("a.mod", "first"), "project/P/T", true, ec), "a.mod") << "the file link is up";
  // The close is seen before the reply even by a client slowed by a loaded machine or a
  // sanitizer; past a second it has connected again by itself.
  const struct {
    const char* name;
    std::chrono::milliseconds answeredAfter;  // 0: closed before the call
  } cases[] = {{"closed a moment before the call", 0ms},
               {"closed while the announcement is answered", 400ms},
               {"closed and connected again while the announcement is answered", 1600ms}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int accepted = files().acceptCount();
    if (c.answeredAfter > 0ms) {
      command().script(Form::command, "ix.sdk.transferInit",
                       Behaviour::handle([this, after = c.answeredAfter](velmora_sim::Exchange& x) {
                         files().dropConnections();
                         x.delay(after);
                         x.reply(0);
                       }).times(1));
    } else {
      files().dropConnections();
      // A close that reaches the client only as its bytes leave is a loss (-284), not a retry.
      std::this_thread::sleep_for(500ms);
    }
    const std::string bytes = std::string("sent when ") + c.name;
    EXPECT_EQ(robot().importFile(write("a.mod", bytes), "project/P/T", true, ec), "a.mod");
    EXPECT_EQ(ec.value(), 0);
    EXPECT_EQ(sim().projects().file("P", "T", "a.mod"), bytes);
    EXPECT_GT(files().acceptCount(), accepted) << "on a new connection";
  }
}

TEST_F(ImportTest, ImportsFromTwoThreadsEachImportTheirOwnFile) {
  constexpr int kRounds = 16;
  const std::string first = write("first.mod", std::string(300000, '1'));
  const std::string second = write("second.mod", std::string(200000, '2'));
  std::vector<std::string> results[2];
  auto importer = [&](int which) {
    for (int i = 0; i < kRounds; ++i) {
      std::error_code ec;
      results[which].push_back(robot().importFile(which ? second : first, "project/P/T", true, ec) +
                               (ec ? " " + std::to_string(ec.value()) : ""));
    }
  };
  std::thread a(importer, 0);
  std::thread b(importer, 1);
  a.join();
  b.join();
  EXPECT_THAT(results[0], ::testing::Each("first.mod"));
  EXPECT_THAT(results[1], ::testing::Each("second.mod"));
  std::string order;
  for (const auto& r : command().log().all()) {
    if (r.key == "ix.sdk.transferInit") order += 'T';
    if (r.key == kImportFile) order += 'I';
  }
  std::string expected;
  for (int i = 0; i < 2 * kRounds; ++i) expected += "TI";
  EXPECT_EQ(order, expected);
  EXPECT_EQ(sim().projects().file("P", "T", "second.mod"), std::string(200000, '2'));
}

TEST_F(ImportTest, RemovalSendsOneEntryPerPath) {
  sim().projects().addProject("P", {"T", "T2"});
  std::error_code ec;
  ASSERT_EQ(robot().importFile(write("a.mod", "x"), "project/P/T", true, ec), "a.mod");
  command().log().clear();
  robot().removeFiles({"project/P/T/a.mod", "project\\P\\T2"}, ec);
  EXPECT_FALSE(ec);
  EXPECT_THAT(last("project.remove_files").payload,
              JsonIs(R"({"list": [{"project": "P", "task": "T", "file": "a.mod"}, {"project": "P", "task": "T2"}]})"));
  EXPECT_FALSE(sim().projects().file("P", "T", "a.mod"));
  EXPECT_THAT(sim().projects().tasks("P"), ::testing::ElementsAre("T"));
  robot().removeFiles({"project/P/T2"}, ec);
  EXPECT_EQ(ec.value(), -1) << "no such task any more";
  command().script(Form::command, "project.remove_files", Behaviour::reply("x").times(1));
  robot().removeFiles({"project/P/T"}, ec);
  EXPECT_FALSE(ec) << "only an integer answer is a code";
}

}  // namespace
}  // namespace velmora
