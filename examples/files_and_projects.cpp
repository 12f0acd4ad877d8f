// Files and RL projects: lists the controller's RL projects, imports a project archive (when
// one is given) and a module file into a task of project "demo" (velmora-sim has it), loads
// the project, runs it at half speed, pauses it and sets its program pointer back to main, then
// removes the module again.
// Usage: files_and_projects <controller address> [project .zip]
#include <velmora/exception.h>
#include <velmora/robots.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "example.h"

namespace {

void listProjects(velmora::BaseRobot& robot) {
  std::error_code ec;
  for (const auto& project : robot.projectsInfo(ec)) {
    std::printf("project %s, tasks:", project.name.c_str());
    for (const auto& task : project.taskList) std::printf(" %s", task.c_str());
    std::printf("\n");
  }
  example::report("projectsInfo", ec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return example::usage(argv[0], "<controller address> [project .zip]");
  try {
    velmora::OstraMaxRobot robot(argv[1], argv[1]);
    std::error_code ec;
    listProjects(robot);

    // Files go over the controller's file channel, then a command files them in place.
    if (argc > 2) {
      const std::string name = robot.importProject(argv[2], true, ec);
      if (!example::report("importProject", ec)) return 1;
      std::printf("imported project %s\n", name.c_str());
    }
    std::ofstream("main.mod") << "MODULE main\n  PROC main()\n    WaitTime 0.1;\n  ENDPROC\nENDMODULE\n";
    const std::string stored = robot.importFile("main.mod", "project/demo/T_ROB1", true, ec);
    if (!example::report("importFile", ec)) return 1;
    std::printf("module stored as %s\n", stored.c_str());
    listProjects(robot);

    // Projects run in the RL task mode; the other motion commands wait meanwhile.
    robot.setMotionControlMode(velmora::MotionControlMode::NrtRLTask, ec);
    robot.setPowerState(true, ec);
    robot.loadProject("demo", {"T_ROB1"}, ec);
    if (!example::report("loadProject", ec)) return 1;
    robot.setProjectRunningOpt(0.5, false, ec);
    robot.runProject(ec);
    if (!example::report("runProject", ec)) return 1;
    std::printf("project demo running\n");
    robot.pauseProject(ec);
    robot.ppToMain(ec);
    example::report("ppToMain", ec);

    robot.removeFiles({"project/demo/T_ROB1/main.mod"}, ec);
    if (!example::report("removeFiles", ec)) return 1;
    std::printf("module removed\n");
    robot.setMotionControlMode(velmora::MotionControlMode::NrtCommand, ec);
    robot.disconnectFromRobot(ec);
    return 0;
  } catch (const velmora::Exception& e) {
    std::printf("cannot connect: %s\n", e.what());
    return 1;
  }
}
