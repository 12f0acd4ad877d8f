#pragma once
// The result codes this library gives of its own accord, as opposed to the ones the controller
// sends, as the plain numbers the internals compare and build codes from. The public
// `velmora::errc` names them; their texts are in common/error_table.cpp. Callers compare
// against these numbers, so they never change.

#include <velmora/errc.h>

namespace velmora::internal {

constexpr int codeOf(errc e) noexcept { return static_cast<int>(e); }

/// No object to work on: a moved-from object, or no motion control yet ("uninitialized nor
/// connect").
constexpr int kNoObjectCode = codeOf(errc::uninitialized);
constexpr int kUninitializedCode = codeOf(errc::uninitialized);
/// The link is down or could not be opened ("network connection").
constexpr int kLinkDownCode = codeOf(errc::link_down);
/// The reply cannot be read ("response unresolved").
constexpr int kUnreadableReplyCode = codeOf(errc::unreadable_reply);
/// An argument out of its range ("parameter exceed limit").
constexpr int kParameterExceedCode = codeOf(errc::parameter_out_of_range);
/// An argument the operation cannot take ("argument invalid").
constexpr int kArgumentInvalidCode = codeOf(errc::invalid_argument);
/// A frame given only as a matrix where its parts are needed ("invalid transformation matrix").
constexpr int kInvalidTransformationCode = codeOf(errc::invalid_transformation);
/// An array whose length is not the arm's joint count ("axis mismatch").
constexpr int kAxisMismatchCode = codeOf(errc::axis_mismatch);
/// The operation needs another motion control mode ("motion control mode error").
constexpr int kControlModeErrorCode = codeOf(errc::wrong_control_mode);
/// No reply within the wait ("timeout").
constexpr int kTimeoutCode = codeOf(errc::timeout);
/// The operation is already in effect ("duplicate operation").
constexpr int kDuplicateOperationCode = codeOf(errc::duplicate_operation);
/// The state stream's UDP socket failed ("network udp socket").
constexpr int kUdpSocketCode = codeOf(errc::udp_socket);
/// Connecting to the robot failed ("robot connection failed").
constexpr int kConnectFailureCode = codeOf(errc::connect_failure);
/// The controller refused the connection ("connection refused").
constexpr int kConnectionRefusedCode = codeOf(errc::connection_refused);
/// The upgrade file cannot be used ("update file invalid").
constexpr int kUpdateFileInvalidCode = codeOf(errc::update_file_invalid);
/// The upgrade did not complete ("upgrade failure").
constexpr int kUpgradeFailureCode = codeOf(errc::upgrade_failure);
/// The export did not complete ("export failure").
constexpr int kExportFailureCode = codeOf(errc::export_failure);
/// The export completed with files missing ("export partial").
constexpr int kExportPartialCode = codeOf(errc::export_partial);
/// No watch was set up for the event ("unregistered event").
constexpr int kUnregisteredEventCode = codeOf(errc::unregistered_event);
/// The calibration points are too close ("calibration frame error").
constexpr int kCalibrationErrorCode = codeOf(errc::calibration_error);
/// A read of a reply that the kind checks did not foresee threw ("protocol mismatch").
constexpr int kReplyExceptionCode = codeOf(errc::protocol_mismatch);

}  // namespace velmora::internal
