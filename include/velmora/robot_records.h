#pragma once
// Records that robot queries return beside the shared value types.

#include <array>
#include <string>
#include <utility>
#include <vector>

#include <velmora/enums.h>
#include <velmora/export.h>
#include <velmora/types.h>

namespace velmora {

/// A snapshot of the arm in one request: joints, pose, every I/O signal, mode and override.
/// A default record has empty vectors, a zero pose, `manual` and 0.0.
struct VELMORA_API StateList {
  std::vector<double> joint_pos;                               ///< one value per joint of the robot class
  CartesianPosition cart_pos;                                  ///< the pose "sys.posture" reports (end in reference)
  std::vector<std::pair<std::string, bool>> digital_signals;   ///< inputs, then outputs
  std::vector<std::pair<std::string, double>> analog_signals;  ///< inputs, then outputs
  OperateMode operation_mode = OperateMode::manual;            ///< automatic only for "auto"
  double speed_override = 0.0;                                 ///< the program speed override
};

/// What a frame calibration computed; both members are zero when it failed.
struct VELMORA_API FrameCalibrationResult {
  Frame frame;                     ///< the calibrated frame
  std::array<double, 3> errors{};  ///< the calibration's error figures as the controller gives them
};

}  // namespace velmora
