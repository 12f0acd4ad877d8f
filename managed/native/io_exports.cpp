// Digital and analog I/O and the controller's registers.

#include <string>
#include <type_traits>
#include <vector>

#include "native/abi_records.h"
#include "native/abi_values.h"
#include "native/operation_calls.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

// Every register type crosses as a double, which holds an int32 and a float exactly.
template <class Body>
void withRegisterType(std::int32_t type, Body&& body) {
  switch (type) {
    case VEL_VALUE_INT:
      body(int{});
      break;
    case VEL_VALUE_FLOAT:
      body(float{});
      break;
    case VEL_VALUE_BOOL:
      body(bool{});
      break;
    default:
      throw std::invalid_argument("unknown register type");
  }
}

/// A crossed double as the register's type; a value that type cannot hold is refused, since
/// converting it would be undefined.
template <class T>
T registerValue(double value) {
  if constexpr (std::is_same_v<T, bool>) {
    return value != 0.0;
  } else if constexpr (std::is_same_v<T, int>) {
    if (!(value >= -2147483648.0 && value <= 2147483647.0)) throw std::invalid_argument("register value out of range");
    return static_cast<int>(value);
  } else {
    return static_cast<T>(value);
  }
}

}  // namespace

extern "C" {

int32_t vel_robot_read_register(vel_robot* robot, const char* name, uint32_t index, int32_t type, double* value,
                                vel_err* ec) noexcept {
  return abiCall([&] {
    double& out = required(value, "value");
    const std::string key = textArg(name);
    withRegisterType(type, [&](auto zero) {
      auto read = zero;
      reportCode(ec, [&](std::error_code& code) { baseRobot(robot).readRegister(key, index, read, code); });
      out = static_cast<double>(read);
    });
  });
}

int32_t vel_robot_read_register_list(vel_robot* robot, const char* name, int32_t type, vel_buf** values,
                                     vel_err* ec) noexcept {
  return abiCall([&] {
    required(values, "values");
    const std::string key = textArg(name);
    withRegisterType(type, [&](auto zero) {
      std::vector<decltype(zero)> read;
      reportCode(ec, [&](std::error_code& code) { baseRobot(robot).readRegister(key, 0, read, code); });
      BlobWriter w;
      w.count(read.size());
      for (const auto element : read) w.f64(static_cast<double>(element));
      putBuffer(values, w.take());
    });
  });
}

int32_t vel_robot_write_register(vel_robot* robot, const char* name, uint32_t index, int32_t type, double value,
                                 vel_err* ec) noexcept {
  return abiCall([&] {
    const std::string key = textArg(name);
    withRegisterType(type, [&](auto zero) {
      using T = decltype(zero);
      const T written = registerValue<T>(value);
      reportCode(ec, [&](std::error_code& code) { baseRobot(robot).writeRegister(key, index, written, code); });
    });
  });
}

int32_t vel_robot_write_register_list(vel_robot* robot, const char* name, uint32_t index, int32_t type,
                                      const double* values, int32_t count, vel_err* ec) noexcept {
  return abiCall([&] {
    const std::string key = textArg(name);
    const std::vector<double> given = valuesOf(values, count);
    withRegisterType(type, [&](auto zero) {
      using T = decltype(zero);
      std::vector<T> written;
      written.reserve(given.size());
      for (const double v : given) written.push_back(registerValue<T>(v));
      reportCode(ec, [&](std::error_code& code) { baseRobot(robot).writeRegister(key, index, written, code); });
    });
  });
}

}  // extern "C"
