// The page of the state stream's fields, built from the library's field tables: a field the
// tables gain or lose without a line here stops the generator, so the page cannot drift.

#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "generator/pages.h"
#include "network/state_stream/rt_field.h"
#include "network/state_stream/rt_packet.h"

namespace velmora::docs {

namespace {

struct FieldText {
  const char* name;
  const char* carries;
};

// In the controller's order of declaration. The library passes every value on as the controller
// sends it; the units are the controller's, which are the library's own (metres, radians,
// seconds, newtons, kilograms).
constexpr FieldText kFields[] = {
    {"ts", "time stamp of the sample, as the controller counts it"},
    {"errors", "real-time motion error flags; flag i is motion error i (see the error codes page)"},
    {"q_m", "measured joint positions, rad"},
    {"q_c", "commanded joint positions, rad"},
    {"dq_m", "measured joint velocities, rad/s"},
    {"dq_c", "commanded joint velocities, rad/s"},
    {"ddq_m", "measured joint accelerations, rad/s²"},
    {"ddq_c", "commanded joint accelerations, rad/s²"},
    {"pos_m", "measured end pose in the base frame, a 4×4 matrix (translation in m)"},
    {"pos_abc_m", "measured end pose: x, y, z in m, then A, B, C in rad"},
    {"pos_c", "commanded end pose in the base frame, a 4×4 matrix (translation in m)"},
    {"pos_vel_m", "measured end velocity: 3 linear in m/s, 3 angular in rad/s"},
    {"pos_vel_c", "commanded end velocity: 3 linear in m/s, 3 angular in rad/s"},
    {"pos_acc_m", "measured end acceleration: m/s², rad/s²"},
    {"pos_acc_c", "commanded end acceleration: m/s², rad/s²"},
    {"ex_q_m", "measured positions of up to 6 external axes (m or rad per axis)"},
    {"ex_dq_m", "measured velocities of the external axes"},
    {"ex_motor_m", "measured motor values of the external axes"},
    {"psi_m", "measured elbow (arm) angle, rad"},
    {"psi_c", "commanded elbow angle, rad"},
    {"psi_vel_c", "commanded elbow angle velocity, rad/s"},
    {"psi_acc_c", "commanded elbow angle acceleration, rad/s²"},
    {"tau_m", "measured joint torques, N·m"},
    {"tau_c", "commanded joint torques, N·m"},
    {"tau_filtered_m", "filtered measured joint torques, N·m"},
    {"tau_vel_c", "commanded joint torque rates, N·m/s"},
    {"tau_ext_base", "external force and torque in the base frame: N, then N·m"},
    {"tau_ext_stiff", "external force and torque in the stiffness frame: N, then N·m"},
    {"theta_m", "measured motor positions, rad"},
    {"theta_vel_m", "measured motor velocities, rad/s"},
    {"motor_tau", "motor torques, N·m"},
    {"motor_tau_filtered", "filtered motor torques, N·m"},
    {"motion_mode", "the controller's motion mode code"},
    {"control_mode", "the controller's control mode code"},
    {"io_keypad", "states of the 7 keypad keys, key 1 first"},
};

struct Arm {
  unsigned axes;
  const char* robots;
};

constexpr Arm kArms[] = {
    {7, "`OstraMaxRobot`, `LynRobot`"},
    {6, "`OstraRobot`, `StandardRobot`"},
    {5, "`OstraLiteRobot`"},
};

// What a value of the field is, and what `getStateData` reads it into.
std::string kindOf(const internal::RtFieldValue& value) {
  switch (value.index()) {
    case 0:
      return "flag | -";
    case 1:
      return "double | `double`";
    case 2:
      return "byte | -";
    case 3:
      return "unsigned 64-bit | `std::uint64_t`";
    case 4:
      return "5 doubles | `std::vector<double>`";
    case 5:
      return "6 doubles | `std::vector<double>`";
    case 6:
      return "7 doubles | `std::vector<double>`";
    case 7:
      return "16 doubles | `std::vector<double>`";
    case 8:
      return "20 flags | - (`updateRobotState` throws on a set flag)";
    default:
      return "7 flags | -";
  }
}

}  // namespace

std::string stateFieldsPage() {
  std::set<std::string> described;
  for (const FieldText& f : kFields) described.insert(f.name);
  std::ostringstream page;
  page << "# State stream fields {#state_fields}\n\n"
       << kGeneratedNote
       << "`startReceiveRobotState(interval, fields)` asks the controller to send the named fields every "
          "`interval` (whole milliseconds) as UDP datagrams; `updateRobotState(timeout)` takes one, and "
          "`getStateData(name, value)` copies a field of the last one into a variable of the type listed "
          "(0, or -1 for a field not subscribed or of another type). Names are exact. A datagram holds "
          "at most "
       << internal::kMaxRtPacketSize
       << " bytes at most; a set of fields over that, or a name the arm does not publish, is "
          "refused with code 513. 3- and 4-axis arms have no stream. Values come as the controller sends "
          "them: lengths in metres, angles in radians, times in seconds, torques in newton-metres "
          "([units and conventions](units.md)).\n";
  for (const Arm& arm : kArms) {
    const internal::RtFieldTable& table = internal::rtStateFieldsFor(arm.axes);
    for (const auto& entry : table) {
      if (described.count(entry.first) == 0) throw std::runtime_error("no description of field " + entry.first);
    }
    std::size_t total = 0;
    page << "\n## " << arm.axes << " axes: " << arm.robots << "\n\n"
         << "| field | value | read as | bytes | carries |\n|---|---|---|---:|---|\n";
    for (const FieldText& f : kFields) {
      const auto found = table.find(f.name);
      if (found == table.end()) continue;
      const std::size_t bytes = internal::rtFieldSize(found->second);
      total += bytes;
      page << "| `" << f.name << "` | " << kindOf(found->second) << " | " << bytes << " | " << f.carries << " |\n";
    }
    page << "\n" << table.size() << " fields, " << total << " bytes in all.\n";
  }
  return page.str();
}

}  // namespace velmora::docs
