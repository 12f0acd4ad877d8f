// The value types, records and enumerations as a program writes them: each declared
// constructor with arguments of the declared types, each field read and written with its
// declared type, each enumerator by name with its declared value. Compiled, never run: a
// constructor, field or enumerator that drifts from the declared one breaks the build here.

#include <velmora/robot.h>

#include <any>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace declared_api {

using namespace velmora;
using namespace std::chrono_literals;

/// True only when `member` is a field of exactly the type `Field`.
template <class Field, class Class>
constexpr bool fieldIs(Field Class::*) {
  return true;
}

template <class Enum>
constexpr int value(Enum e) {
  return static_cast<int>(e);
}

// Poses, frames, loads and the records queries return.
static_assert(fieldIs<std::array<double, 3>>(&Frame::trans) && fieldIs<std::array<double, 3>>(&Frame::rpy) &&
              fieldIs<std::array<double, 16>>(&Frame::pos));
static_assert(std::is_base_of_v<Frame, CartesianPosition> && std::is_convertible_v<CartesianPosition*, Frame*>);
static_assert(fieldIs<double>(&CartesianPosition::elbow) && fieldIs<std::vector<int>>(&CartesianPosition::confData) &&
              fieldIs<std::vector<double>>(&CartesianPosition::external));
static_assert(fieldIs<CartesianPosition::Offset::Type>(&CartesianPosition::Offset::type) &&
              fieldIs<Frame>(&CartesianPosition::Offset::frame));
static_assert(fieldIs<std::vector<double>>(&JointPosition::joints) &&
              fieldIs<std::vector<double>>(&JointPosition::external));
static_assert(fieldIs<double>(&Load::mass) && fieldIs<std::array<double, 3>>(&Load::cog) &&
              fieldIs<std::array<double, 3>>(&Load::inertia));
static_assert(fieldIs<Load>(&Toolset::load) && fieldIs<Frame>(&Toolset::end) && fieldIs<Frame>(&Toolset::ref));
static_assert(fieldIs<std::string>(&WorkToolInfo::name) && fieldIs<std::string>(&WorkToolInfo::alias) &&
              fieldIs<bool>(&WorkToolInfo::robotHeld) && fieldIs<Frame>(&WorkToolInfo::pos) &&
              fieldIs<Load>(&WorkToolInfo::load));
static_assert(fieldIs<std::int32_t>(&LogInfo::id) && fieldIs<std::string>(&LogInfo::timestamp) &&
              fieldIs<std::string>(&LogInfo::logText) && fieldIs<std::string>(&LogInfo::repairHint));
static_assert(fieldIs<std::string>(&RLProjectInfo::name) &&
              fieldIs<std::vector<std::string>>(&RLProjectInfo::taskList));
static_assert(fieldIs<std::string>(&Info::id) && fieldIs<std::string>(&Info::mac) &&
              fieldIs<std::string>(&Info::version) && fieldIs<std::string>(&Info::type) &&
              fieldIs<std::int32_t>(&Info::joint_num));
static_assert(fieldIs<bool>(&KeyPadState::key1_state) && fieldIs<bool>(&KeyPadState::key2_state) &&
              fieldIs<bool>(&KeyPadState::key3_state) && fieldIs<bool>(&KeyPadState::key4_state) &&
              fieldIs<bool>(&KeyPadState::key5_state) && fieldIs<bool>(&KeyPadState::key6_state) &&
              fieldIs<bool>(&KeyPadState::key7_state));
static_assert(fieldIs<int>(&CANFrame::frame_id) && fieldIs<int>(&CANFrame::frame_format) &&
              fieldIs<int>(&CANFrame::frame_type) && fieldIs<std::vector<std::uint8_t>>(&CANFrame::data) &&
              fieldIs<int>(&CANFrame::frame_valid_length));
static_assert(fieldIs<std::vector<double>>(&StateList::joint_pos) && fieldIs<CartesianPosition>(&StateList::cart_pos) &&
              fieldIs<std::vector<std::pair<std::string, bool>>>(&StateList::digital_signals) &&
              fieldIs<std::vector<std::pair<std::string, double>>>(&StateList::analog_signals) &&
              fieldIs<OperateMode>(&StateList::operation_mode) && fieldIs<double>(&StateList::speed_override));
static_assert(fieldIs<Frame>(&FrameCalibrationResult::frame) &&
              fieldIs<std::array<double, 3>>(&FrameCalibrationResult::errors));
static_assert(fieldIs<std::uint32_t>(&SlaveInfo::vendorId) && fieldIs<std::uint32_t>(&SlaveInfo::productCode) &&
              fieldIs<std::uint32_t>(&SlaveInfo::reversionNumber) && fieldIs<std::uint16_t>(&SlaveInfo::slaveAddr) &&
              fieldIs<std::uint32_t>(&SlaveInfo::slaveId) && fieldIs<std::uint16_t>(&SlaveInfo::alStatus) &&
              fieldIs<std::string>(&SlaveInfo::slaveName));
static_assert(fieldIs<std::int32_t>(&SDOData::index) && fieldIs<std::int32_t>(&SDOData::sub_index) &&
              fieldIs<std::int32_t>(&SDOData::length) && fieldIs<std::int32_t>(&SDOData::over_time) &&
              fieldIs<std::int32_t>(&SDOData::wait_time) && fieldIs<std::int32_t>(&SDOData::print_data));
static_assert(sizeof(SDOData::data) == 50, "50 bytes of data");
static_assert(std::is_same_v<EventInfo, std::unordered_map<std::string, std::any>>);

// The exception tree a program catches.
static_assert(std::is_base_of_v<std::exception, Exception> && std::is_base_of_v<Exception, ArgumentException> &&
              std::is_base_of_v<Exception, ExecutionException> && std::is_base_of_v<Exception, NetworkException> &&
              std::is_base_of_v<ExecutionException, ProtocolException> &&
              std::is_base_of_v<Exception, RealtimeControlException> &&
              std::is_base_of_v<RealtimeControlException, RealtimeMotionException> &&
              std::is_base_of_v<RealtimeControlException, RealtimeStateException>);

// The motion command family: one polymorphic base, values copied and moved freely.
static_assert(std::has_virtual_destructor_v<NrtCommand>);
static_assert(std::is_base_of_v<NrtCommand, MoveAbsJCommand> && std::is_base_of_v<NrtCommand, MoveJCommand> &&
              std::is_base_of_v<NrtCommand, MoveLCommand> && std::is_base_of_v<NrtCommand, MoveCCommand> &&
              std::is_base_of_v<MoveCCommand, MoveCFCommand> && std::is_base_of_v<NrtCommand, MoveSPCommand> &&
              std::is_base_of_v<NrtCommand, MoveWaitCommand>);
static_assert(fieldIs<double>(&NrtCommand::speed) && fieldIs<double>(&NrtCommand::zone) &&
              fieldIs<std::string>(&NrtCommand::customInfo));
static_assert(fieldIs<JointPosition>(&MoveAbsJCommand::target) && fieldIs<double>(&MoveAbsJCommand::jointSpeed));
static_assert(fieldIs<CartesianPosition>(&MoveJCommand::target) &&
              fieldIs<CartesianPosition::Offset>(&MoveJCommand::targetOffset) &&
              fieldIs<double>(&MoveJCommand::jointSpeed));
static_assert(fieldIs<CartesianPosition>(&MoveLCommand::target) &&
              fieldIs<CartesianPosition::Offset>(&MoveLCommand::targetOffset) &&
              fieldIs<double>(&MoveLCommand::rotSpeed));
static_assert(fieldIs<CartesianPosition>(&MoveCCommand::target) &&
              fieldIs<CartesianPosition::Offset>(&MoveCCommand::targetOffset) &&
              fieldIs<CartesianPosition>(&MoveCCommand::aux) &&
              fieldIs<CartesianPosition::Offset>(&MoveCCommand::auxOffset) && fieldIs<double>(&MoveCCommand::rotSpeed));
static_assert(fieldIs<double>(&MoveCFCommand::angle) && fieldIs<MoveCFCommand::RotType>(&MoveCFCommand::rotType));
static_assert(fieldIs<CartesianPosition>(&MoveSPCommand::target) &&
              fieldIs<CartesianPosition::Offset>(&MoveSPCommand::targetOffset) &&
              fieldIs<double>(&MoveSPCommand::radius) && fieldIs<double>(&MoveSPCommand::radiusStep) &&
              fieldIs<double>(&MoveSPCommand::angle) && fieldIs<bool>(&MoveSPCommand::direction) &&
              fieldIs<double>(&MoveSPCommand::rotSpeed));
static_assert(fieldIs<std::chrono::nanoseconds>(&MoveWaitCommand::duration));
static_assert(std::is_copy_constructible_v<MoveSPCommand> && std::is_move_assignable_v<MoveCFCommand>);

// Enumerations, by name, with the numbers both layers exchange.
static_assert(value(PowerState::on) == 0 && value(PowerState::off) == 1 && value(PowerState::estop) == 2 &&
              value(PowerState::gstop) == 3 && value(PowerState::unknown) == -1);
static_assert(value(OperateMode::manual) == 0 && value(OperateMode::automatic) == 1 &&
              value(OperateMode::unknown) == -1);
static_assert(value(OperationState::idle) == 0 && value(OperationState::jog) == 1 &&
              value(OperationState::rtControlling) == 2 && value(OperationState::drag) == 3 &&
              value(OperationState::rlProgram) == 4 && value(OperationState::demo) == 5 &&
              value(OperationState::dynamicIdentify) == 6 && value(OperationState::frictionIdentify) == 7 &&
              value(OperationState::loadIdentify) == 8 && value(OperationState::moving) == 9 &&
              value(OperationState::jogging) == 10 && value(OperationState::unknown) == -1);
static_assert(value(CoordinateType::flangeInBase) == 0 && value(CoordinateType::endInRef) == 1);
static_assert(value(Event::moveExecution) == 0 && value(Event::safety) == 1 && value(Event::rlExecution) == 2 &&
              value(Event::logReporter) == 3);
static_assert(value(LogInfo::Level::info) == 0 && value(LogInfo::Level::warning) == 1 &&
              value(LogInfo::Level::err) == 2 && value(LogInfo::Level::error) == 2);
static_assert(value(MotionControlMode::Idle) == 0 && value(MotionControlMode::NrtCommand) == 1 &&
              value(MotionControlMode::NrtRLTask) == 2 && value(MotionControlMode::RtCommand) == 3);
static_assert(value(JogOpt::Space::world) == 0 && value(JogOpt::Space::flange) == 1 &&
              value(JogOpt::Space::baseFrame) == 2 && value(JogOpt::Space::toolFrame) == 3 &&
              value(JogOpt::Space::wobjFrame) == 4 && value(JogOpt::Space::jointSpace) == 5 &&
              value(JogOpt::Space::singularityAvoidMode) == 6 && value(JogOpt::Space::baseParallelMode) == 7);
static_assert(value(AvoidSingularityMethod::lockAxis4) == 0 && value(AvoidSingularityMethod::wrist) == 1 &&
              value(AvoidSingularityMethod::jointWay) == 2);
static_assert(value(FrameType::world) == 0 && value(FrameType::baseFrame) == 1 && value(FrameType::flange) == 2 &&
              value(FrameType::tool) == 3 && value(FrameType::wobj) == 4 && value(FrameType::path) == 5 &&
              value(FrameType::rail) == 6);
static_assert(value(DragParameter::Space::jointSpace) == 0 && value(DragParameter::Space::cartesianSpace) == 1);
static_assert(value(DragParameter::Type::translationOnly) == 0 && value(DragParameter::Type::rotationOnly) == 1 &&
              value(DragParameter::Type::freely) == 2);
static_assert(value(StopLevel::stop0) == 0 && value(StopLevel::stop1) == 1 && value(StopLevel::stop2) == 2 &&
              value(StopLevel::suppleStop) == 3);
static_assert(value(FlangeboxOpt::Vout::off) == 0 && value(FlangeboxOpt::Vout::reserve) == 1 &&
              value(FlangeboxOpt::Vout::supply12v) == 2 && value(FlangeboxOpt::Vout::supply24v) == 3);
static_assert(value(BackupItem::customConfig) == 0 && value(BackupItem::robotConfig) == 1 &&
              value(BackupItem::robotConfigWithoutBodyParams) == 2 && value(BackupItem::controllerLog) == 3 &&
              value(BackupItem::systemLog) == 4 && value(BackupItem::rlProgram) == 5 &&
              value(BackupItem::backupRlProgram) == 6 && value(BackupItem::sdkRecordPath) == 7);
static_assert(value(CartesianPosition::Offset::Type::none) == 0 && value(CartesianPosition::Offset::Type::offs) == 1 &&
              value(CartesianPosition::Offset::Type::relTool) == 2);

void valueTypes() {
  const std::array<double, 3> trans{0.1, 0.2, 0.3};
  const std::array<double, 3> rpy{0.0, 1.57, 0.0};
  const std::array<double, 6> six{0.1, 0.2, 0.3, 0.0, 1.57, 0.0};
  Frame zero;
  Frame frame(trans, rpy);
  Frame fromSix(six);
  zero = frame;
  fromSix.pos[15] = 1.0;

  CartesianPosition pose{0.45, 0.1, 0.5, 3.14159, 0.0, 0.0};
  CartesianPosition matrix{1, 0, 0, 0.4, 0, 1, 0, 0.1, 0, 0, 1, 0.5, 0, 0, 0, 1};
  CartesianPosition copied(pose);
  CartesianPosition moved(std::move(copied));
  pose.elbow = 0.5;
  pose.confData = {0, 0, 0, 0, 0, 0, 0, 0};
  pose.external = {0.0};
  CartesianPosition::Offset offset;
  offset.type = CartesianPosition::Offset::Type::relTool;
  offset.frame = frame;

  JointPosition joints(std::vector<double>{0, 0.5, 0.5, 0, 1.57, 0});
  joints.external = {0.0};
  Load payload;
  payload = Load(1.5, {0.0, 0.0, 0.05}, {0.01, 0.01, 0.01});
  Toolset toolset;
  toolset.load = payload;
  toolset.end = frame;
  toolset.ref = zero;
  WorkToolInfo tool(std::string("tool1"), true, frame, payload);
  tool.alias = "gripper";
  LogInfo entry(-10030, std::string("2024-05-01 08:00:00"), std::string("text"), std::string("hint"));
  RLProjectInfo project(std::string("welding"));
  project.taskList.push_back("main");
  std::vector<RLProjectInfo> projects = {{"welding"}, {"palletising"}};
  RLProjectInfo named = std::string("painting");
  Info info;
  info.joint_num = 6;

  CartesianPosition aux{0.45, 0.2, 0.5, 3.14159, 0.0, 0.0};
  MoveAbsJCommand absj(joints, 1000.0, 0.0);
  absj.jointSpeed = 0.5;
  MoveJCommand movej(pose, 1000.0, 10.0);
  movej.targetOffset = offset;
  movej.jointSpeed = 0.5;
  MoveLCommand movel(pose, 1000.0, 10.0);
  movel.targetOffset = offset;
  movel.rotSpeed = 1.0;
  movel.customInfo = "seam 1";
  MoveCCommand movec(pose, aux, 1000.0, 10.0);
  movec.auxOffset = offset;
  MoveCFCommand movecf(pose, aux, 360.0, 1000.0, 10.0);
  movecf.rotType = static_cast<MoveCFCommand::RotType>(1);
  MoveSPCommand movesp(pose, 0.01, 0.001, 720.0, true, 1000.0);
  movesp.rotSpeed = 1.0;
  MoveWaitCommand wait(std::chrono::nanoseconds(100000000));
  MoveWaitCommand waitFor = 100ms;
  std::vector<MoveWaitCommand> waits = {100ms, 2s};
  waits.push_back(wait);
  wait = waitFor;

  KeyPadState keys;
  keys.key7_state = true;
  CANFrame can;
  can.frame_id = 0x123;
  can.data = {1, 2, 3, 4};
  can.frame_valid_length = 4;
  StateList state;
  state.operation_mode = OperateMode::automatic;
  FrameCalibrationResult calibration;
  calibration.errors = trans;
  SlaveInfo slave;
  slave.slaveName = "drive";
  SDOData sdo;
  sdo.length = 2;
  sdo.data[0] = 0x2F;
  sdo.data[49] = 0xFF;
  EventInfo event;
  event["error"] = std::error_code();

  try {
    OstraRobot robot(std::string("192.168.0.160"), std::string("192.168.0.100"));
  } catch (const NetworkException& e) {
    (void)e.what();
  } catch (const ProtocolException& e) {
    (void)e.what();
  } catch (const ExecutionException& e) {
    (void)e.what();
  } catch (const ArgumentException& e) {
    (void)e.what();
  } catch (const RealtimeStateException& e) {
    (void)e.what();
  } catch (const RealtimeMotionException& e) {
    (void)e.what();
  } catch (const RealtimeControlException& e) {
    (void)e.what();
  } catch (const Exception& e) {
    (void)e.what();
  }
}

}  // namespace declared_api
