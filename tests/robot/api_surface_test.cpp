// Structural facts of the public robot API that callers and the managed layer rely on. Checked
// at compile time: nothing here needs an operation's definition.
#include <velmora/robot.h>

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

namespace velmora {
namespace {

// A virtual base cannot be cast down statically; a plain base can.
template <class Base, class Derived, class = void>
struct CastsDown : std::false_type {};
template <class Base, class Derived>
struct CastsDown<Base, Derived, std::void_t<decltype(static_cast<Derived*>(std::declval<Base*>()))>> : std::true_type {
};

template <class Robot, class = void>
struct HasStateStream : std::false_type {};
template <class Robot>
struct HasStateStream<Robot, std::void_t<decltype(std::declval<Robot&>().startReceiveRobotState(
                                 std::chrono::nanoseconds(), std::vector<std::string>()))>> : std::true_type {};

template <class Robot, class Parent, bool StateStream>
constexpr bool robotShape() {
  static_assert(std::is_base_of_v<Parent, Robot>);
  static_assert(std::is_convertible_v<Robot*, BaseRobot*>, "exactly one BaseRobot");
  static_assert(!CastsDown<BaseRobot, Robot>::value, "BaseRobot is a virtual base");
  static_assert(std::has_virtual_destructor_v<Robot>);
  static_assert(!std::is_copy_constructible_v<Robot> && !std::is_copy_assignable_v<Robot>);
  static_assert(!std::is_move_constructible_v<Robot>);
  static_assert(std::is_default_constructible_v<Robot>);
  static_assert(std::is_constructible_v<Robot, std::string>);
  static_assert(!std::is_convertible_v<std::string, Robot>, "connecting is never implicit");
  static_assert(HasStateStream<Robot>::value == StateStream);
  return true;
}

static_assert(CastsDown<Robot_T<1, 6>, Cobot<6>>::value, "the trait tells plain bases apart");
static_assert(robotShape<OstraLiteRobot, Cobot<5>, true>());
static_assert(robotShape<OstraRobot, Cobot<6>, true>());
static_assert(robotShape<OstraMaxRobot, Cobot<7>, true>());
static_assert(robotShape<LynRobot, Cobot<7>, true>());
static_assert(robotShape<StandardRobot, IndustrialRobot<6>, true>());
static_assert(robotShape<Sorn3Robot, IndustrialRobot<3>, false>());
static_assert(robotShape<Sorn4Robot, IndustrialRobot<4>, false>());

static_assert(std::is_constructible_v<OstraRobot, std::string, std::string>);
static_assert(!std::is_constructible_v<Sorn3Robot, std::string, std::string>);

// The family's inner classes are bases only.
static_assert(std::is_base_of_v<Robot_T<1, 6>, Cobot<6>> && std::is_base_of_v<BaseCobot, Cobot<6>>);
static_assert(std::is_base_of_v<Robot_T<0, 4>, IndustrialRobot<4>>);
static_assert(!std::is_base_of_v<BaseCobot, StandardRobot>);
static_assert(!std::is_default_constructible_v<BaseRobot>);
static_assert(!std::is_default_constructible_v<Cobot<6>>);
static_assert(!std::is_default_constructible_v<IndustrialRobot<6>>);
static_assert(!std::is_default_constructible_v<Base<BaseRobot>>);
static_assert(std::is_empty_v<Base<BaseRobot>>);
static_assert(sizeof(BaseRobot) == 2 * sizeof(void*), "a vtable pointer and the Impl pointer");

// Extension objects and the upgrade client: who may be copied and who only moved.
template <class T>
constexpr bool copiesAndMoves() {
  static_assert(std::is_copy_constructible_v<T> && std::is_copy_assignable_v<T>);
  static_assert(std::is_nothrow_move_constructible_v<T> && std::is_nothrow_move_assignable_v<T>);
  return true;
}
static_assert(copiesAndMoves<Model_T<3>>() && copiesAndMoves<Model_T<7>>());
static_assert(copiesAndMoves<ForceControl_T<6>>());
static_assert(copiesAndMoves<BaseUpgrade>());
static_assert(!std::is_copy_constructible_v<BaseEthercat> && !std::is_copy_assignable_v<BaseEthercat>);
static_assert(std::is_nothrow_move_constructible_v<BaseEthercat>);
static_assert(std::is_base_of_v<BaseModel, Model_T<5>> && std::is_base_of_v<BaseForceControl, ForceControl_T<5>>);
static_assert(!std::has_virtual_destructor_v<BaseUpgrade>);

// Accessors hand out objects of the robot's joint count.
static_assert(std::is_same_v<decltype(std::declval<OstraLiteRobot&>().model()), Model_T<5>>);
static_assert(std::is_same_v<decltype(std::declval<Sorn4Robot&>().model()), Model_T<4>>);
static_assert(std::is_same_v<decltype(std::declval<LynRobot&>().forceControl()), ForceControl_T<7>>);
static_assert(std::is_same_v<decltype(std::declval<StandardRobot&>().ethercat()), BaseEthercat>);
static_assert(std::is_same_v<decltype(std::declval<OstraMaxRobot&>().jointTorque(std::declval<std::error_code&>())),
                             std::array<double, 7>>);

// Error-code operations never throw; the state stream and address connects do.
// Named only inside unevaluated operands.
template <class T>
T& an() noexcept;
#define ec an<std::error_code>()
#define text an<std::string>()
#define cobot an<OstraRobot>()
#define industrial an<StandardRobot>()
static_assert(noexcept(cobot.powerState(ec)) && noexcept(cobot.connectToRobot(ec)));
static_assert(noexcept(cobot.disconnectFromRobot(ec)) && noexcept(BaseRobot::sdkVersion()));
static_assert(noexcept(cobot.executeCommand(std::vector<MoveLCommand>(), ec)));
static_assert(noexcept(cobot.moveAppend(an<const MoveWaitCommand>(), text, ec)));
static_assert(noexcept(cobot.readRegister(text, 0, an<std::vector<bool>>(), ec)));
static_assert(noexcept(cobot.removePath(text, ec)) && noexcept(cobot.enableDrag(DragParameter::Space::jointSpace,
                                                                                DragParameter::Type::freely, ec)));
static_assert(noexcept(industrial.setSoftLimit(true, ec)));
static_assert(noexcept(industrial.getAvoidSingularity(AvoidSingularityMethod::wrist, ec)));
static_assert(noexcept(cobot.stopReceiveRobotState()));
static_assert(noexcept(an<Model_T<6>>().calcFk(an<const std::array<double, 6>>(), ec)));
static_assert(noexcept(an<ForceControl_T<6>>().waitCondition(ec)));
static_assert(noexcept(an<BaseEthercat>().GetSlaveCount(ec)));
static_assert(noexcept(an<BaseUpgrade>().exportBackup(text, an<const std::set<BackupItem>>(), ec)));
static_assert(!noexcept(cobot.connectToRobot(text, text)));
static_assert(!noexcept(cobot.startReceiveRobotState(an<const std::chrono::nanoseconds>(),
                                                     an<const std::vector<std::string>>())));
static_assert(!noexcept(cobot.updateRobotState(an<const std::chrono::nanoseconds>())));
static_assert(!noexcept(cobot.getStateData(text, an<double>())));
static_assert(!noexcept(cobot.ethercat()));
static_assert(!noexcept(an<BaseUpgrade>().connect(text)));
#undef ec
#undef text
#undef cobot
#undef industrial

// Values the controller and the managed layer exchange.
static_assert(static_cast<int>(Event::moveExecution) == 0 && static_cast<int>(Event::logReporter) == 3);
static_assert(static_cast<int>(OperationState::jogging) == 10 && static_cast<int>(OperationState::unknown) == -1);
static_assert(static_cast<int>(MotionControlMode::RtCommand) == 3);
static_assert(static_cast<int>(BackupItem::sdkRecordPath) == 7);
static_assert(static_cast<int>(SegmentFrame::joint1) == 1);

TEST(ApiSurface, RecordsStartZeroed) {
  const StateList state;
  EXPECT_TRUE(state.joint_pos.empty() && state.digital_signals.empty() && state.analog_signals.empty());
  EXPECT_EQ(state.operation_mode, OperateMode::manual);
  EXPECT_EQ(state.speed_override, 0.0);
  EXPECT_EQ(state.cart_pos.trans, (std::array<double, 3>{}));

  const SlaveInfo slave;
  EXPECT_EQ(slave.vendorId + slave.productCode + slave.reversionNumber + slave.slaveId, 0u);
  EXPECT_EQ(slave.slaveAddr + slave.alStatus, 0);
  EXPECT_TRUE(slave.slaveName.empty());

  const SDOData sdo;
  EXPECT_EQ(sdo.length, 0);
  EXPECT_EQ(sdo.data, (std::array<std::uint8_t, 50>{}));

  const FrameCalibrationResult calibration;
  EXPECT_EQ(calibration.errors, (std::array<double, 3>{}));
  EXPECT_EQ(calibration.frame.rpy, (std::array<double, 3>{}));
}

}  // namespace
}  // namespace velmora
