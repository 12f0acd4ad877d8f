// Force control: sets up Cartesian force control in the tool frame with a payload, stiffness
// and a desired force, ends it on a force condition, waits for the condition, and reads the
// measured torques and end force. Stiffness in N/m and Nm/rad, forces in N, torques in Nm.
// Usage: force_control <controller address>
#include <velmora/exception.h>
#include <velmora/robots.h>

#include <array>
#include <cstdio>

#include "example.h"

int main(int argc, char** argv) {
  if (argc < 2) return example::usage(argv[0], "<controller address>");
  try {
    velmora::OstraMaxRobot robot(argv[1], argv[1]);
    std::error_code ec;
    robot.setPowerState(true, ec);

    // Shares the robot's command link; the controller runs the force controller.
    velmora::ForceControl_T<7> fc = robot.forceControl();
    fc.fcInit(velmora::FrameType::tool, ec);
    if (!example::report("fcInit", ec)) return 1;
    fc.setControlType(1, ec);  // 0 joint space, 1 Cartesian
    fc.setLoad(velmora::Load(1.2, {0, 0, 0.05}, {0.001, 0.001, 0.001}), ec);
    fc.setCartesianStiffness({1000, 1000, 500, 100, 100, 100}, ec);
    fc.setCartesianDesiredForce({0, 0, 5, 0, 0, 0}, ec);
    // Done when the force along z lies within 4..6 N, giving up after 10 s.
    fc.setForceCondition({-100, 100, -100, 100, 4, 6}, true, 10, ec);
    if (!example::report("set-up", ec)) return 1;

    fc.fcStart(ec);
    if (!example::report("fcStart", ec)) return 1;
    fc.waitCondition(ec);  // blocks until the controller reports the condition met
    if (!example::report("waitCondition", ec)) return 1;
    std::printf("force condition met\n");

    std::array<double, 7> jointTorque{};
    std::array<double, 7> externalTorque{};
    std::array<double, 3> torque{};
    std::array<double, 3> force{};
    fc.getEndTorque(velmora::FrameType::tool, jointTorque, externalTorque, torque, force, ec);
    if (example::report("getEndTorque", ec)) {
      std::printf("end force %.2f %.2f %.2f N, torque %.2f %.2f %.2f Nm\n", force[0], force[1], force[2], torque[0],
                  torque[1], torque[2]);
    }
    fc.fcStop(ec);
    example::report("fcStop", ec);
    robot.disconnectFromRobot(ec);
    return ec ? 1 : 0;
  } catch (const velmora::Exception& e) {
    std::printf("cannot connect: %s\n", e.what());
    return 1;
  }
}
