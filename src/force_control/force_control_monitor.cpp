// Monitoring limits, gain and friction ("eci.fc.monitor"), and the overlays ("eci.fc.set" to
// configure, "eci.fc.overlay" to drive). The controller holds every value; the library only
// enforces the ranges before sending.

#include <fmt/format.h>
#include <json/value.h>
#include <velmora/error.h>
#include <velmora/force_control.h>

#include <cstddef>
#include <limits>
#include <string>

#include "common/formatters.h"
#include "common/globals.h"
#include "common/result_codes.h"
#include "common/value_checks.h"
#include "force_control/force_control_impl.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLargest = std::numeric_limits<double>::max();

struct LimitRule {
  const char* cmd;
  const char* name;
  double upper;      ///< of every element, or of the first three when `upperTail` differs
  double upperTail;  ///< of elements 3 to 5
};

// The lower end is 0 everywhere. "Largest finite double" refuses negative values, infinity and
// (through `inRange`) NaN.
const LimitRule& ruleOf(internal::FcLimit limit) noexcept {
  using internal::FcLimit;
  static const LimitRule rules[] = {
      {"cart_vel_max", "setCartesianMaxVel", kLargest, kLargest},
      {"cart_ctrl_max_vel", "setCartesianControlMaxVel", 3.0, 10.0},
      {"cart_ctrl_max_wrench", "setCartesianControlMaxWrench", 1000.0, 1000.0},
      {"joint_vel_max", "setJointMaxVel", kLargest, kLargest},
      {"joint_momentum_max", "setJointMaxMomentum", kLargest, kLargest},
      {"joint_energy_max", "setJointMaxEnergy", kLargest, kLargest},
      {"jnt_ctrl_max_vel", "setJointControlMaxVel", 10.0, 10.0},
      {"jnt_ctrl_max_torque", "setJointControlMaxTorque", 1000.0, 1000.0},
      {"gain_value", "setFcGain", 60.0, 60.0},
      {"friction", "setFriction", 1.0, 1.0},
  };
  return rules[static_cast<std::size_t>(limit)];
}

/// {"cmd": cmd} for the overlay driving commands.
void driveOverlay(BaseForceControl::Impl* impl, const char* cmd, const char* name, std::error_code& ec) noexcept {
  internal::runOperation(impl, ec, [&](const BaseForceControl::Impl& fc) {
    Json::Value request(Json::objectValue);
    request["cmd"] = cmd;
    internal::sendFcRequest(*fc.link, "overlay", request, ec);
    internal::logBoth(*fc.link, spdlog::level::info, "uid: {} | {} ({})", logUid, name, ec);
  });
}

/// "values" whose first element, a line direction or plane, is a JSON integer.
Json::Value overlayCommand(const char* cmd, int selector, std::initializer_list<double> reals) {
  Json::Value request(Json::objectValue);
  request["cmd"] = cmd;
  Json::Value& values = request["param"]["values"] = Json::Value(Json::arrayValue);
  values.append(selector);
  for (double value : reals) values.append(value);
  return request;
}

}  // namespace

namespace internal {

void setFcLimit(BaseForceControl::Impl* fc, FcLimit limit, const double* values, std::size_t count,
                std::error_code& ec) noexcept {
  runOperation(fc, ec, [&](const BaseForceControl::Impl& impl) {
    const LimitRule& rule = ruleOf(limit);
    const bool split = limit == FcLimit::cartesianControlMaxVel;
    for (std::size_t i = 0; i < count; ++i) {
      const double upper = split && i >= 3 ? rule.upperTail : rule.upper;
      if (!inRange(values[i], 0.0, upper)) {
        refuse(*impl.link, ec, kParameterExceedCode, "uid: {} | {} [{}] over-range", logUid, rule.name,
               fmt::join(values, values + count, ", "));
        return;
      }
    }
    sendFcRequest(*impl.link, "monitor", valuesCommand(rule.cmd, values, count), ec);
    logBoth(*impl.link, spdlog::level::info, "uid: {} | {} [{}] ({})", logUid, rule.name,
            fmt::join(values, values + count, ", "), ec);
  });
}

}  // namespace internal

void BaseForceControl::fcMonitor(bool enable, std::error_code& ec) noexcept {
  internal::runOperation(impl(), ec, [&](const Impl& fc) {
    Json::Value request(Json::objectValue);
    request["cmd"] = "monitor";
    request["param"]["enable"] = enable;
    internal::sendFcRequest(*fc.link, "monitor", request, ec);
    internal::logBoth(*fc.link, spdlog::level::info, "uid: {} | fcMonitor ({})", logUid, ec);
  });
}

void BaseForceControl::setCartesianMaxVel(const std::array<double, 6>& velocity, std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::cartesianMaxVel, velocity.data(), velocity.size(), ec);
}

void BaseForceControl::setCartesianControlMaxVel(const std::array<double, 6>& max_cart_vel,
                                                 std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::cartesianControlMaxVel, max_cart_vel.data(), max_cart_vel.size(), ec);
}

void BaseForceControl::setCartesianControlMaxWrench(const std::array<double, 6>& max_wrench,
                                                    std::error_code& ec) noexcept {
  internal::setFcLimit(impl(), internal::FcLimit::cartesianControlMaxWrench, max_wrench.data(), max_wrench.size(), ec);
}

void BaseForceControl::setSineOverlay(int line_dir, double amplify, double frequency, double phase, double bias,
                                      std::error_code& ec) noexcept {
  internal::runOperation(impl(), ec, [&](const Impl& fc) {
    using internal::inRange;
    if (line_dir < 0 || line_dir > 2 || !inRange(phase, 0.0, kPi) || !inRange(bias, 0.0, 10.0)) {
      internal::refuse(*fc.link, ec, internal::kParameterExceedCode,
                       "uid: {} | setSineOverlay axis:{}, phase:{}, bias:{} over-range", logUid, line_dir, phase, bias);
      return;
    }
    // Amplitude and frequency have no range, but NaN or infinity would travel as another value.
    const bool finite = internal::allFinite(amplify) && internal::allFinite(frequency);
    if (finite) {
      internal::sendFcRequest(*fc.link, "set",
                              overlayCommand("sine_overlay", line_dir, {amplify, frequency, phase, bias}), ec);
    } else {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
    }
    internal::logBoth(*fc.link, internal::resultLevel(!finite),
                      "uid: {} | setSineOverlay {}, {}Nm, {}Hz, {}rad, {}Nm ({})", logUid, line_dir, amplify, frequency,
                      phase, bias, ec);
  });
}

void BaseForceControl::setLissajousOverlay(int plane, double amplify_one, double frequency_one, double amplify_two,
                                           double frequency_two, double phase_diff, std::error_code& ec) noexcept {
  internal::runOperation(impl(), ec, [&](const Impl& fc) {
    using internal::inRange;
    const bool inside = plane >= 0 && plane <= 2 && inRange(amplify_one, 0.0, 20.0) &&
                        inRange(amplify_two, 0.0, 20.0) && inRange(frequency_one, 0.0, 5.0) &&
                        inRange(frequency_two, 0.0, 5.0) && inRange(phase_diff, 0.0, kPi);
    if (!inside) {
      internal::refuse(*fc.link, ec, internal::kParameterExceedCode,
                       "uid: {} | setLissajousOverlay {},{},{},{},{},{} over-range", logUid, plane, amplify_one,
                       frequency_one, amplify_two, frequency_two, phase_diff);
      return;
    }
    // Sent in pairs per axis, not in the order the ranges are checked.
    internal::sendFcRequest(*fc.link, "set",
                            overlayCommand("lissajous_overlay", plane,
                                           {amplify_one, frequency_one, amplify_two, frequency_two, phase_diff}),
                            ec);
    internal::logBoth(*fc.link, spdlog::level::info, "uid: {} | setLissajousOverlay {},{},{},{},{},{} ({})", logUid,
                      plane, amplify_one, frequency_one, amplify_two, frequency_two, phase_diff, ec);
  });
}

void BaseForceControl::startOverlay(std::error_code& ec) noexcept { driveOverlay(impl(), "start", "startOverlay", ec); }

void BaseForceControl::stopOverlay(std::error_code& ec) noexcept { driveOverlay(impl(), "stop", "stopOverlay", ec); }

void BaseForceControl::pauseOverlay(std::error_code& ec) noexcept { driveOverlay(impl(), "pause", "pauseOverlay", ec); }

void BaseForceControl::restartOverlay(std::error_code& ec) noexcept {
  driveOverlay(impl(), "restart", "restartOverlay", ec);
}

}  // namespace velmora
