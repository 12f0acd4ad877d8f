#pragma once
// Names for the codes the library gives of its own accord, so a caller can write
// `ec == velmora::errc::timeout`, and compare with the standard conditions where a code has a
// generic meaning (`ec == std::errc::timed_out`).

#include <system_error>

#include <velmora/error.h>

namespace velmora {

/// The library's own result codes, in the category "Tarvik-SDK" (`internal::apiErrorCategory`).
/// The values are fixed: they are the numbers the library has always reported, and the
/// controller's own codes (negative) keep their bare values. `docs/error-codes.md` lists every
/// code with its texts; the codes marked "std" below also compare equal to that `std::errc`.
enum class errc : int {
  /// 255: no object to work on (a moved-from object) or no motion control yet.
  uninitialized = 255,
  /// 256: the link to the controller is down or could not be opened (std: `not_connected`).
  link_down = 256,
  /// 257: the controller's reply could not be read (often a controller too old or too new).
  unreadable_reply = 257,
  /// 258: an argument outside its range (std: `invalid_argument`).
  parameter_out_of_range = 258,
  /// 259: an argument of the wrong kind or count (std: `invalid_argument`).
  invalid_argument = 259,
  /// 260: a frame given as a matrix where its translation and rotation are needed.
  invalid_transformation = 260,
  /// 261: an array, given or in a reply, whose length is not the arm's joint count.
  axis_mismatch = 261,
  /// 262: the operation needs another motion control mode (`setMotionControlMode`).
  wrong_control_mode = 262,
  /// 263: no reply within the operation's wait (std: `timed_out`).
  timeout = 263,
  /// 264: the operation is already in effect.
  duplicate_operation = 264,
  /// 265: the state stream's UDP socket failed.
  udp_socket = 265,
  /// 266: connecting to the robot failed.
  connect_failure = 266,
  /// 267: the controller refused the connection (std: `connection_refused`).
  connection_refused = 267,
  /// 268: the upgrade package cannot be used.
  update_file_invalid = 268,
  /// 269: the controller did not complete the upgrade.
  upgrade_failure = 269,
  /// 270: the backup export did not complete.
  export_failure = 270,
  /// 271: the backup was exported with some files missing.
  export_partial = 271,
  /// 272: no watch was set up for the event.
  unregistered_event = 272,
  /// 273: the calibration points are too close together.
  calibration_error = 273,
  /// 512: the real-time address or port is invalid or taken.
  rt_address_invalid = 512,
  /// 513: a state stream field the arm does not publish, or too many bytes in all.
  rt_fields_unsupported = 513,
  /// 768: no queued motion command to start.
  move_empty_cache = 768,
  /// 769: the robot is stopping or cannot pause now.
  robot_stopping = 769,
  /// -260: a reply of a kind the library did not foresee ("protocol mismatch").
  protocol_mismatch = -260,
};

/// The code `e` in the library's category: `ec = velmora::errc::timeout` and
/// `ec == velmora::errc::timeout` both go through it.
inline std::error_code make_error_code(errc e) noexcept { return internal::makeErrorCode(static_cast<int>(e)); }

}  // namespace velmora

namespace std {
/// Lets a `velmora::errc` convert to `std::error_code` by itself.
template <>
struct is_error_code_enum<velmora::errc> : true_type {};
}  // namespace std
