// The rail, mechanical units and external axes. A value crosses as a blob of its VEL_VALUE_*
// type, so one export per operation serves every type the operation takes.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "native/abi_records.h"
#include "native/abi_values.h"
#include "native/operation_calls.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

void put(BlobWriter& w, int value) { w.i32(value); }
void put(BlobWriter& w, double value) { w.f64(value); }
void put(BlobWriter& w, bool value) { w.flag(value); }
template <class T>
void put(BlobWriter& w, const T& value) {
  encode(w, value);
}

void take(BlobReader& r, int& value) { value = r.i32(); }
void take(BlobReader& r, double& value) { value = r.f64(); }
void take(BlobReader& r, bool& value) { value = r.flag(); }
template <class T>
void take(BlobReader& r, T& value) {
  decode(r, value);
}

[[noreturn]] void refuseType() { throw std::invalid_argument("value type not taken by this operation"); }

/// Calls `body` with a zero value of the rail parameter type `type`.
template <class Body>
void withRailType(std::int32_t type, Body&& body) {
  switch (type) {
    case VEL_VALUE_INT:
      body(int{});
      break;
    case VEL_VALUE_DOUBLE:
      body(double{});
      break;
    case VEL_VALUE_BOOL:
      body(bool{});
      break;
    case VEL_VALUE_TEXT:
      body(std::string{});
      break;
    case VEL_VALUE_DOUBLES:
      body(std::vector<double>{});
      break;
    case VEL_VALUE_FRAME:
      body(Frame{});
      break;
    default:
      refuseType();
  }
}

/// Reads a unit or axis parameter of `type` with `read` (a generic lambda over the value) and
/// crosses it as the operation leaves it (untouched on failure). Units have no text or double
/// parameters.
template <bool Axis, class Read>
void readInfo(std::int32_t type, vel_buf** out, Read&& read) {
  required(out, "value");
  auto cross = [&](auto zero) {
    auto value = zero;
    read(value);
    BlobWriter w;
    put(w, value);
    putBuffer(out, w.take());
  };
  switch (type) {
    case VEL_VALUE_TEXTS:
      cross(std::vector<std::string>{});
      return;
    case VEL_VALUE_INT:
      cross(int{});
      return;
    case VEL_VALUE_BOOL:
      cross(bool{});
      return;
    default:
      break;
  }
  if constexpr (Axis) {
    if (type == VEL_VALUE_TEXT) return cross(std::string{});
    if (type == VEL_VALUE_DOUBLE) return cross(double{});
  }
  refuseType();
}

}  // namespace

extern "C" {

int32_t vel_robot_get_rail_parameter(vel_robot* robot, const char* name, int32_t type, vel_buf** value,
                                     vel_err* ec) noexcept {
  return abiCall([&] {
    required(value, "value");
    const std::string key = textArg(name);
    withRailType(type, [&](auto zero) {
      auto read = zero;
      reportCode(ec, [&](std::error_code& code) { baseRobot(robot).getRailParameter(key, read, code); });
      BlobWriter w;
      put(w, read);
      putBuffer(value, w.take());
    });
  });
}

int32_t vel_robot_set_rail_parameter(vel_robot* robot, const char* name, int32_t type, const uint8_t* value,
                                     int64_t value_length, vel_err* ec) noexcept {
  return abiCall([&] {
    const std::string key = textArg(name);
    withRailType(type, [&](auto zero) {
      auto written = zero;
      BlobReader r(value, value_length);
      take(r, written);
      r.finish();
      reportCode(ec, [&](std::error_code& code) { baseRobot(robot).setRailParameter(key, written, code); });
    });
  });
}

int32_t vel_robot_get_mech_unit(vel_robot* robot, const char* name, const char* info, int32_t type, vel_buf** value,
                                vel_err* ec) noexcept {
  return abiCall([&] {
    const std::string unit = textArg(name);
    const std::string item = textArg(info);
    readInfo<false>(type, value, [&](auto& read) {
      reportCode(ec, [&](std::error_code& code) { baseRobot(robot).getMechUnit(unit, item, read, code); });
    });
  });
}

int32_t vel_robot_get_ext_axis_info(vel_robot* robot, const char* name, const char* info, int32_t type, vel_buf** value,
                                    vel_err* ec) noexcept {
  return abiCall([&] {
    const std::string axis = textArg(name);
    const std::string item = textArg(info);
    readInfo<true>(type, value, [&](auto& read) {
      reportCode(ec, [&](std::error_code& code) { baseRobot(robot).getExtAxisInfo(axis, item, read, code); });
    });
  });
}

}  // extern "C"
