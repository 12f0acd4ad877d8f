#include "network/state_stream/rt_field.h"

namespace velmora::internal {

namespace {

// How a state field is shaped. Only joint vectors change with the arm size; every other shape
// is the same in all three tables.
enum class Shape : std::uint8_t { stamp, errorFlags, joints, matrix, sixVector, scalar, code, keypad };

struct StateRow {
  const char* name;
  Shape shape;
  bool onFiveAxes;
};

// One list for the three state tables, in declaration order.
constexpr StateRow kStateRows[] = {
    {"ts", Shape::stamp, true},
    {"errors", Shape::errorFlags, true},
    {"q_m", Shape::joints, true},
    {"q_c", Shape::joints, true},
    {"dq_m", Shape::joints, true},
    {"dq_c", Shape::joints, true},
    {"ddq_m", Shape::joints, false},
    {"ddq_c", Shape::joints, true},
    {"pos_m", Shape::matrix, true},
    {"pos_abc_m", Shape::sixVector, true},
    {"pos_c", Shape::matrix, true},
    {"pos_vel_m", Shape::sixVector, false},
    {"pos_vel_c", Shape::sixVector, true},
    {"pos_acc_m", Shape::sixVector, false},
    {"pos_acc_c", Shape::sixVector, true},
    {"ex_q_m", Shape::sixVector, true},
    {"ex_dq_m", Shape::sixVector, true},
    {"ex_motor_m", Shape::sixVector, true},
    {"psi_m", Shape::scalar, true},
    {"psi_c", Shape::scalar, true},
    {"psi_vel_c", Shape::scalar, true},
    {"psi_acc_c", Shape::scalar, true},
    {"tau_m", Shape::joints, true},
    {"tau_c", Shape::joints, true},
    {"tau_filtered_m", Shape::joints, true},
    {"tau_vel_c", Shape::joints, true},
    {"tau_ext_base", Shape::sixVector, true},
    {"tau_ext_stiff", Shape::sixVector, true},
    {"theta_m", Shape::joints, true},
    {"theta_vel_m", Shape::joints, true},
    {"motor_tau", Shape::joints, true},
    {"motor_tau_filtered", Shape::joints, true},
    {"motion_mode", Shape::code, true},
    {"control_mode", Shape::code, true},
    {"io_keypad", Shape::keypad, false},
};

RtFieldValue jointVector(unsigned axes) {
  if (axes == 5) return std::array<double, 5>{};
  if (axes == 6) return std::array<double, 6>{};
  return std::array<double, 7>{};
}

RtFieldValue zeroValue(Shape shape, unsigned axes) {
  switch (shape) {
    case Shape::stamp:
      return std::uint64_t{0};
    case Shape::errorFlags:
      return std::array<bool, 20>{};
    case Shape::joints:
      return jointVector(axes);
    case Shape::matrix:
      return std::array<double, 16>{};
    case Shape::sixVector:
      return std::array<double, 6>{};
    case Shape::scalar:
      return 0.0;
    case Shape::code:
      return std::uint8_t{0};
    case Shape::keypad:
      return std::array<bool, 7>{};
  }
  return false;
}

RtFieldTable makeStateTable(unsigned axes) {
  RtFieldTable table;
  for (const StateRow& row : kStateRows) {
    if (axes == 5 && !row.onFiveAxes) continue;
    table.emplace(row.name, zeroValue(row.shape, axes));
  }
  return table;
}

}  // namespace

const RtFieldTable& rtCommandFields() {
  static const RtFieldTable table{
      {"ts", std::uint64_t{0}},
      {"q_c", std::array<double, 7>{}},
      {"pos_c", std::array<double, 6>{}},
      {"psi_valid", false},
      {"control_byte", false},
      {"psi_c", 0.0},
      {"tau_c", std::array<double, 7>{}},
  };
  return table;
}

const RtFieldTable& rtStateFields7() {
  static const RtFieldTable table = makeStateTable(7);
  return table;
}

const RtFieldTable& rtStateFields6() {
  static const RtFieldTable table = makeStateTable(6);
  return table;
}

const RtFieldTable& rtStateFields5() {
  static const RtFieldTable table = makeStateTable(5);
  return table;
}

const RtFieldTable& rtStateFieldsFor(unsigned axisCount) {
  if (axisCount == 6) return rtStateFields6();
  if (axisCount == 5) return rtStateFields5();
  return rtStateFields7();
}

}  // namespace velmora::internal
