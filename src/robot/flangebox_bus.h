#pragma once
// What the tool-end bus operations (RS485, Modbus RTU, CAN) share: the board's size limits,
// the remembered board type, their log lines and the reading of the controller's answer.
//
// Their shape differs from the other robot operations: a refused argument is 258 at info
// level, and the controller reports a failed bus transaction in an "error" member of its
// answer instead of a code.

#include <json/value.h>

#include <cstddef>
#include <system_error>

#include "robot/operation_frame.h"

namespace velmora::internal {

/// A refused bus argument ("parameter exceed limit").
constexpr int kBusParameterCode = kParameterExceedCode;
/// The controller reported a failed bus transaction, or no CAN frame came.
constexpr int kBusFailureCode = -1;

/// The size limits a tool-end board type sets.
struct BoardLimits {
  int rs485Bytes;  ///< bytes each way of a raw exchange
  int coils;       ///< coils of one Modbus request
  int registers;   ///< 16-bit registers of one Modbus request (32-bit values: half of it)
};

/// Types 2 and 4: 128/944/59; type 3: 64/432/27; any other: 16/48/3.
BoardLimits boardLimits(int boardType) noexcept;

/// The board type: the remembered one, else asked of the controller ("g"
/// "flangebox_support_rs485_param"). A failed read gives 0 for this call and is asked again by
/// the next; threads racing to fill it store the same answer.
int boardType(BaseRobot::Impl& impl) noexcept;

/// A bus line: info level, global log then robot log.
template <typename... Args>
void logBus(const BaseRobot::Impl& impl, fmt::format_string<Args...> format, Args&&... args) noexcept {
  logBoth(impl, spdlog::level::info, format, std::forward<Args>(args)...);
}

/// A refused bus argument: `ec` = 258 and the check's line (its last placeholder `ec`).
template <typename... Args>
void refuseBus(const BaseRobot::Impl& impl, std::error_code& ec, fmt::format_string<Args...> format,
               Args&&... args) noexcept {
  ec = makeErrorCode(kBusParameterCode);
  logBus(impl, format, std::forward<Args>(args)...);
}

/// Whether the answer is a controller-reported failure: an "error" member that is present and
/// not null gives -1, any other non-zero integer answer its own code (a refusal of the
/// request). `ec` must be clear; false and `ec` untouched otherwise.
bool takeBusFailure(const Json::Value& reply, std::error_code& ec) noexcept;

/// The array `name` in the answer's "data" holding at least `count` values. With `count` 0
/// any answer passes (an empty array is returned). A missing or short array, or an answer of
/// another shape, gives null and -260: a result padded with zeros would pass for what the
/// device sent.
const Json::Value* busResult(const Json::Value& reply, const char* name, std::size_t count,
                             std::error_code& ec) noexcept;

}  // namespace velmora::internal
