// The native enumerators that the managed enumerations mirror, listed under the managed names.

#include <velmora/enums.h>
#include <velmora/types.h>

#include <string>
#include <utility>

#include "native/abi_core.h"
#include "testsim/velmora_testsim.h"

namespace {

struct Row {
  const char* managed;
  const char* member;
  int value;
};

#define VTS_ROW(managed, native, member) \
  { managed, #member, static_cast<int>(native::member) }

constexpr Row kRows[] = {
    VTS_ROW("PowerState", velmora::PowerState, on),
    VTS_ROW("PowerState", velmora::PowerState, off),
    VTS_ROW("PowerState", velmora::PowerState, estop),
    VTS_ROW("PowerState", velmora::PowerState, gstop),
    VTS_ROW("PowerState", velmora::PowerState, unknown),
    VTS_ROW("OperateMode", velmora::OperateMode, manual),
    VTS_ROW("OperateMode", velmora::OperateMode, automatic),
    VTS_ROW("OperateMode", velmora::OperateMode, unknown),
    VTS_ROW("OperationState", velmora::OperationState, idle),
    VTS_ROW("OperationState", velmora::OperationState, jog),
    VTS_ROW("OperationState", velmora::OperationState, rtControlling),
    VTS_ROW("OperationState", velmora::OperationState, drag),
    VTS_ROW("OperationState", velmora::OperationState, rlProgram),
    VTS_ROW("OperationState", velmora::OperationState, demo),
    VTS_ROW("OperationState", velmora::OperationState, dynamicIdentify),
    VTS_ROW("OperationState", velmora::OperationState, frictionIdentify),
    VTS_ROW("OperationState", velmora::OperationState, loadIdentify),
    VTS_ROW("OperationState", velmora::OperationState, moving),
    VTS_ROW("OperationState", velmora::OperationState, jogging),
    VTS_ROW("OperationState", velmora::OperationState, unknown),
    VTS_ROW("WorkType", velmora::WorkType, industrial),
    VTS_ROW("WorkType", velmora::WorkType, collaborative),
    VTS_ROW("CoordinateType", velmora::CoordinateType, flangeInBase),
    VTS_ROW("CoordinateType", velmora::CoordinateType, endInRef),
    VTS_ROW("StopLevel", velmora::StopLevel, stop0),
    VTS_ROW("StopLevel", velmora::StopLevel, stop1),
    VTS_ROW("StopLevel", velmora::StopLevel, stop2),
    VTS_ROW("StopLevel", velmora::StopLevel, suppleStop),
    VTS_ROW("MotionControlMode", velmora::MotionControlMode, Idle),
    VTS_ROW("MotionControlMode", velmora::MotionControlMode, NrtCommand),
    VTS_ROW("MotionControlMode", velmora::MotionControlMode, NrtRLTask),
    VTS_ROW("MotionControlMode", velmora::MotionControlMode, RtCommand),
    VTS_ROW("RtControllerMode", velmora::RtControllerMode, jointPosition),
    VTS_ROW("RtControllerMode", velmora::RtControllerMode, cartesianPosition),
    VTS_ROW("RtControllerMode", velmora::RtControllerMode, jointImpedance),
    VTS_ROW("RtControllerMode", velmora::RtControllerMode, cartesianImpedance),
    VTS_ROW("RtControllerMode", velmora::RtControllerMode, torque),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, joint1),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, joint2),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, joint3),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, joint4),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, joint5),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, joint6),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, joint7),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, flange),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, endEffector),
    VTS_ROW("SegmentFrame", velmora::SegmentFrame, stiffness),
    VTS_ROW("FrameType", velmora::FrameType, world),
    VTS_ROW("FrameType", velmora::FrameType, baseFrame),
    VTS_ROW("FrameType", velmora::FrameType, flange),
    VTS_ROW("FrameType", velmora::FrameType, tool),
    VTS_ROW("FrameType", velmora::FrameType, wobj),
    VTS_ROW("FrameType", velmora::FrameType, path),
    VTS_ROW("FrameType", velmora::FrameType, rail),
    VTS_ROW("AvoidSingularityMethod", velmora::AvoidSingularityMethod, lockAxis4),
    VTS_ROW("AvoidSingularityMethod", velmora::AvoidSingularityMethod, wrist),
    VTS_ROW("AvoidSingularityMethod", velmora::AvoidSingularityMethod, jointWay),
    VTS_ROW("Event", velmora::Event, moveExecution),
    VTS_ROW("Event", velmora::Event, safety),
    VTS_ROW("Event", velmora::Event, rlExecution),
    VTS_ROW("Event", velmora::Event, logReporter),
    VTS_ROW("LogInfoLevel", velmora::LogInfo::Level, info),
    VTS_ROW("LogInfoLevel", velmora::LogInfo::Level, warning),
    VTS_ROW("LogInfoLevel", velmora::LogInfo::Level, err),
    VTS_ROW("BackupItem", velmora::BackupItem, customConfig),
    VTS_ROW("BackupItem", velmora::BackupItem, robotConfig),
    VTS_ROW("BackupItem", velmora::BackupItem, robotConfigWithoutBodyParams),
    VTS_ROW("BackupItem", velmora::BackupItem, controllerLog),
    VTS_ROW("BackupItem", velmora::BackupItem, systemLog),
    VTS_ROW("BackupItem", velmora::BackupItem, rlProgram),
    VTS_ROW("BackupItem", velmora::BackupItem, backupRlProgram),
    VTS_ROW("BackupItem", velmora::BackupItem, sdkRecordPath),
    VTS_ROW("FlangeboxOpt.Vout", velmora::FlangeboxOpt::Vout, off),
    VTS_ROW("FlangeboxOpt.Vout", velmora::FlangeboxOpt::Vout, reserve),
    VTS_ROW("FlangeboxOpt.Vout", velmora::FlangeboxOpt::Vout, supply12v),
    VTS_ROW("FlangeboxOpt.Vout", velmora::FlangeboxOpt::Vout, supply24v),
    VTS_ROW("CartesianPosition.Offset.Type", velmora::CartesianPosition::Offset::Type, none),
    VTS_ROW("CartesianPosition.Offset.Type", velmora::CartesianPosition::Offset::Type, offs),
    VTS_ROW("CartesianPosition.Offset.Type", velmora::CartesianPosition::Offset::Type, relTool),
};

// Enumerations the managed side has twice (two names with the same members), each mirroring one
// native enumeration.
#define VTS_SPACE_ROWS(managed)                                                                                  \
  VTS_ROW(managed, velmora::JogOpt::Space, world), VTS_ROW(managed, velmora::JogOpt::Space, flange),             \
      VTS_ROW(managed, velmora::JogOpt::Space, baseFrame), VTS_ROW(managed, velmora::JogOpt::Space, toolFrame),  \
      VTS_ROW(managed, velmora::JogOpt::Space, wobjFrame), VTS_ROW(managed, velmora::JogOpt::Space, jointSpace), \
      VTS_ROW(managed, velmora::JogOpt::Space, singularityAvoidMode),                                            \
      VTS_ROW(managed, velmora::JogOpt::Space, baseParallelMode)
#define VTS_DRAG_ROWS(managed)                                                  \
  VTS_ROW(managed ".Space", velmora::DragParameter::Space, jointSpace),         \
      VTS_ROW(managed ".Space", velmora::DragParameter::Space, cartesianSpace), \
      VTS_ROW(managed ".Type", velmora::DragParameter::Type, translationOnly),  \
      VTS_ROW(managed ".Type", velmora::DragParameter::Type, rotationOnly),     \
      VTS_ROW(managed ".Type", velmora::DragParameter::Type, freely)

constexpr Row kTwinRows[] = {
    VTS_SPACE_ROWS("JogSpace"),
    VTS_SPACE_ROWS("JogOpt.Space"),
    VTS_DRAG_ROWS("DragOpt"),
    VTS_DRAG_ROWS("DragParameter"),
};

}  // namespace

extern "C" int32_t vts_enum_table(vel_buf** text) noexcept {
  return velmora::internal::abiCall([&] {
    std::string lines;
    auto add = [&lines](const Row& row) {
      lines += row.managed;
      lines += ' ';
      lines += row.member;
      lines += ' ';
      lines += std::to_string(row.value);
      lines += '\n';
    };
    for (const Row& row : kRows) add(row);
    for (const Row& row : kTwinRows) add(row);
    velmora::internal::putBuffer(text, std::move(lines));
  });
}
