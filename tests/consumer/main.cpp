// A program built outside the tree against the installed library, with no C++ standard of its
// own. Without arguments it checks what crosses the library's boundary by type: its error
// category and its exceptions. With a simulator's address it also drives an arm through the
// library's template instances.
#include <velmora/robot.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void expect(bool held, const char* what) {
  if (!held) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}

void checkBoundary() {
  velmora::internal::useEnglish = 1;
  const std::error_code ec = velmora::internal::makeErrorCode(-1);
  expect(ec.category() == velmora::internal::apiErrorCategory(), "the library's category is one object");
  expect(ec.message() == "General failure", "English message");
  velmora::internal::useEnglish = 0;
  expect(velmora::internal::makeErrorCode(-1).message() == "发生错误", "Chinese message");
  velmora::internal::useEnglish = 1;

  // Thrown inside the library, caught here by its type and by its base.
  bool caught = false;
  try {
    velmora::BaseUpgrade client("");
  } catch (const velmora::NetworkException& e) {
    caught = true;
    std::printf("NetworkException: %s\n", e.what());
  }
  expect(caught, "catch (velmora::NetworkException&)");
  caught = false;
  try {
    velmora::BaseUpgrade client("");
  } catch (const velmora::Exception&) {
    caught = true;
  }
  expect(caught, "catch (velmora::Exception&)");
  std::printf("velmora %s\n", velmora::internal::sdkVersionInfo().shortString().c_str());
}

void driveArm(const std::string& address) {
  velmora::OstraMaxRobot robot(address, address);
  std::error_code ec;
  robot.setPowerState(true, ec);
  expect(!ec, "setPowerState");
  std::string id;
  robot.moveAppend(std::vector<velmora::MoveLCommand>{{{0.45, 0.1, 0.5, 3.14159, 0, 0}, 300, 10}}, id, ec);
  expect(!ec && !id.empty(), "moveAppend<MoveLCommand>");
  int value = -1;
  robot.readRegister("register0", 0, value, ec);
  std::printf("readRegister<int>: %d (%d %s)\n", value, ec.value(), ec.message().c_str());
  velmora::Model_T<7> model = robot.model();
  model.calcFk({0, 0, 0, 0, 0, 0, 0}, ec);
  std::printf("Model_T<7>::calcFk: %d %s\n", ec.value(), ec.message().c_str());
  velmora::ForceControl_T<7> force = robot.forceControl();
  force.fcStop(ec);
  std::printf("ForceControl_T<7>::fcStop: %d %s\n", ec.value(), ec.message().c_str());
  robot.disconnectFromRobot(ec);
  expect(!ec, "disconnectFromRobot");
}

}  // namespace

int main(int argc, char** argv) {
  checkBoundary();
  if (argc > 1) {
    try {
      driveArm(argv[1]);
    } catch (const velmora::Exception& e) {
      std::printf("FAILED: %s\n", e.what());
      ++failures;
    }
  }
  std::printf("%s\n", failures == 0 ? "consumer passed" : "consumer FAILED");
  return failures == 0 ? 0 : 1;
}
