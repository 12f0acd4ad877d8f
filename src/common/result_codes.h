#pragma once
// The result codes this library gives of its own accord, as opposed to the ones the controller
// sends. Their texts are in common/error_table.cpp; callers compare against these numbers, so
// they never change.

namespace velmora::internal {

/// No object to work on: a moved-from object, or no motion control yet ("uninitialized nor
/// connect").
constexpr int kNoObjectCode = 255;
constexpr int kUninitializedCode = 255;
/// The link is down or could not be opened ("network connection").
constexpr int kLinkDownCode = 256;
/// The reply cannot be read ("response unresolved").
constexpr int kUnreadableReplyCode = 257;
/// An argument out of its range ("parameter exceed limit").
constexpr int kParameterExceedCode = 258;
/// An argument the operation cannot take ("argument invalid").
constexpr int kArgumentInvalidCode = 259;
/// A frame given only as a matrix where its parts are needed ("invalid transformation matrix").
constexpr int kInvalidTransformationCode = 260;
/// An array whose length is not the arm's joint count ("axis mismatch").
constexpr int kAxisMismatchCode = 261;
/// The operation needs another motion control mode ("motion control mode error").
constexpr int kControlModeErrorCode = 262;
/// No reply within the wait ("timeout").
constexpr int kTimeoutCode = 263;
/// The operation is already in effect ("duplicate operation").
constexpr int kDuplicateOperationCode = 264;
/// The state stream's UDP socket failed ("network udp socket").
constexpr int kUdpSocketCode = 265;
/// Connecting to the robot failed ("robot connection failed").
constexpr int kConnectFailureCode = 266;
/// The controller refused the connection ("connection refused").
constexpr int kConnectionRefusedCode = 267;
/// The upgrade file cannot be used ("update file invalid").
constexpr int kUpdateFileInvalidCode = 268;
/// The upgrade did not complete ("upgrade failure").
constexpr int kUpgradeFailureCode = 269;
/// The export did not complete ("export failure").
constexpr int kExportFailureCode = 270;
/// The export completed with files missing ("export partial").
constexpr int kExportPartialCode = 271;
/// No watch was set up for the event ("unregistered event").
constexpr int kUnregisteredEventCode = 272;
/// The calibration points are too close ("calibration frame error").
constexpr int kCalibrationErrorCode = 273;
/// A read of a reply that the kind checks did not foresee threw ("protocol mismatch").
constexpr int kReplyExceptionCode = -260;

}  // namespace velmora::internal
