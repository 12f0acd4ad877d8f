// Names that the controller keeps as files or folders (recorded paths, projects and their
// tasks): one that would name another place is refused before anything is sent.
#include <gmock/gmock.h>

#include <functional>
#include <string>

#include "robot/project_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

struct NameCase {
  const char* name;
  std::function<void(OstraMaxRobot&, const std::string&, std::error_code&)> call;
  const char* key;
  bool emptySent;  // the empty name goes out as it always did (the projects refuse it)
};

const NameCase kOperations[] = {
    {"save", [](auto& r, auto& n, auto& ec) { r.saveRecordPath(n, ec); }, "move.record.save", true},
    {"save as", [](auto& r, auto& n, auto& ec) { r.saveRecordPath("a", ec, n); }, "move.record.save", true},
    {"remove", [](auto& r, auto& n, auto& ec) { r.removePath(n, ec); }, "move.record.remove", true},
    {"replay", [](auto& r, auto& n, auto& ec) { r.replayPath(n, 1.0, ec); }, "move.replay", true},
    {"load project", [](auto& r, auto& n, auto& ec) { r.loadProject(n, {"T"}, ec); }, "project.load", false},
    {"load task",
     [](auto& r, auto& n, auto& ec) {
       r.loadProject("P", {"T", n}, ec);
     },
     "project.load", false},
    {"remove project", [](auto& r, auto& n, auto& ec) { r.removeProject(n, ec, false); }, "ix.sdk.remove_project",
     false},
};

const char* const kRefused[] = {"..", ".", "../x", "../../x", "a/b", "a\\b", "x/..", "/x"};

class ControllerNamesTest : public ProjectTest {
 protected:
  void SetUp() override {
    ProjectTest::SetUp();
    // The project operations need the RL-task control once; replay needs the queue's mode.
    enterMode(MotionControlMode::NrtRLTask);
    enterMode(MotionControlMode::Idle);
  }
};

TEST_F(ControllerNamesTest, SeparatorsAndDotComponentsAreRefusedUnsent) {
  for (const auto& op : kOperations) {
    for (const char* name : kRefused) {
      SCOPED_TRACE(std::string(op.name) + " \"" + name + "\"");
      std::error_code ec;
      op.call(robot(), name, ec);
      EXPECT_EQ(ec.value(), 259);
    }
  }
  EXPECT_EQ(command().log().size(), 0u);
}

TEST_F(ControllerNamesTest, PlainNamesAreSent) {
  for (const auto& op : kOperations) {
    for (const char* name : {"path..1 x", ""}) {
      SCOPED_TRACE(std::string(op.name) + " \"" + name + "\"");
      command().log().clear();
      std::error_code ec;
      op.call(robot(), name, ec);
      const bool sent = *name != '\0' || op.emptySent;
      EXPECT_EQ(ec.value() == 259, !sent);
      EXPECT_EQ(command().log().waitFor(op.key, sent ? 2s : 0s).has_value(), sent) << op.key;
    }
  }
}

}  // namespace
}  // namespace velmora
