// The robot classes as a program calls them: every declared operation of `BaseRobot`,
// `BaseCobot`, `Robot_T`, `Cobot`, `IndustrialRobot` and the concrete arm classes, with plain
// literals and variables of the declared parameter types and every argument given, through each
// concrete class and each declared template instance. Compiled, never run: an operation whose
// signature or result drifts from the declared one breaks the build here.

#include <velmora/robot.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

namespace declared_api {

using namespace velmora;
using namespace std::chrono_literals;

/// The result is of exactly the declared type, not merely convertible to it.
template <class Declared, class Actual>
void returns(Actual&&) {
  static_assert(std::is_same_v<Declared, std::decay_t<Actual>>, "result type differs from the declared one");
}

template <class Robot>
void connectionAndSystem(Robot& robot, const Robot& constRobot) {
  std::error_code ec;
  robot.disconnectFromRobot(ec);
  returns<Info>(constRobot.robotInfo(ec));
  returns<std::string>(Robot::sdkVersion());
  const std::function<void(bool)> handler = [](bool connected) { (void)connected; };
  robot.setConnectionHandler(handler);
  robot.setConnectionHandler([](bool) {});
  returns<BaseEthercat>(robot.ethercat());

  returns<PowerState>(constRobot.powerState(ec));
  robot.setPowerState(true, ec);
  returns<OperateMode>(constRobot.operateMode(ec));
  robot.setOperateMode(OperateMode::automatic, ec);
  returns<OperationState>(constRobot.operationState(ec));
  returns<std::array<double, 6>>(robot.posture(CoordinateType::flangeInBase, ec));
  robot.clearServoAlarm(ec);
  robot.rebootSystem(ec);
  robot.shutdownSystem(ec);
  robot.setSimulationMode(true, ec);
  robot.setTeachPendantMode(false, ec);
  const std::string server = "192.168.0.1";
  robot.configNtp(server, ec);
  robot.syncTimeWithServer(ec);
  const unsigned count = 10;
  const std::set<LogInfo::Level> levels{LogInfo::Level::info, LogInfo::Level::warning, LogInfo::Level::error};
  const unsigned offset = 0;
  returns<std::vector<LogInfo>>(robot.queryControllerLog(count, levels, ec, offset));
  robot.recoverState(1, ec);
  returns<EventInfo>(robot.queryEventInfo(Event::safety, ec));
  const std::function<void(const EventInfo&)> callback = [](const EventInfo& info) { (void)info; };
  robot.setEventWatcher(Event::moveExecution, callback, ec);
  robot.setEventWatcher(
      Event::rlExecution, [](const EventInfo&) {}, ec);
}

template <class Robot>
void motion(Robot& robot) {
  std::error_code ec;
  std::string cmdID;
  const CartesianPosition pose{0.45, 0.1, 0.5, 3.14159, 0.0, 0.0};
  const CartesianPosition aux{0.45, 0.2, 0.5, 3.14159, 0.0, 0.0};
  const std::vector<MoveAbsJCommand> absj{MoveAbsJCommand(JointPosition({0, 0, 0, 0, 0, 0}), 1000.0, 0.0)};
  const std::vector<MoveJCommand> movej{MoveJCommand(pose, 1000.0, 10.0)};
  const std::vector<MoveLCommand> movel{MoveLCommand(pose, 1000.0, 10.0)};
  const std::vector<MoveCCommand> movec{MoveCCommand(pose, aux, 1000.0, 10.0)};
  const std::vector<MoveCFCommand> movecf{MoveCFCommand(pose, aux, 360.0, 1000.0, 10.0)};
  const std::vector<MoveSPCommand> movesp{MoveSPCommand(pose, 0.01, 0.001, 720.0, true, 1000.0)};
  const MoveWaitCommand wait(std::chrono::nanoseconds(100000000));

  robot.template executeCommand<MoveAbsJCommand>(absj, ec);
  robot.template executeCommand<MoveJCommand>(movej, ec);
  robot.template executeCommand<MoveLCommand>(movel, ec);
  robot.template executeCommand<MoveCCommand>(movec, ec);
  robot.template executeCommand<MoveCFCommand>(movecf, ec);
  robot.template executeCommand<MoveSPCommand>(movesp, ec);
  robot.executeCommand(movel, ec);
  robot.template moveAppend<MoveAbsJCommand>(absj, cmdID, ec);
  robot.template moveAppend<MoveJCommand>(movej, cmdID, ec);
  robot.template moveAppend<MoveLCommand>(movel, cmdID, ec);
  robot.template moveAppend<MoveCCommand>(movec, cmdID, ec);
  robot.template moveAppend<MoveCFCommand>(movecf, cmdID, ec);
  robot.template moveAppend<MoveSPCommand>(movesp, cmdID, ec);
  robot.template moveAppend<MoveWaitCommand>(wait, cmdID, ec);
  robot.moveAppend(movecf, cmdID, ec);
  robot.moveAppend(wait, cmdID, ec);
  robot.moveAppend({100ms}, cmdID, ec);
  robot.moveReset(ec);
  robot.moveStart(ec);
  robot.stop(ec);
  robot.setDefaultSpeed(200.0, ec);
  robot.setDefaultZone(10.0, ec);
  robot.setDefaultConfOpt(true, ec);
  robot.setMaxCacheSize(300, ec);
  robot.setMotionControlMode(MotionControlMode::NrtCommand, ec);

  const double rate = 0.5;
  const double step = 0.01;
  const unsigned index = 1;
  robot.startJog(JogOpt::Space::jointSpace, rate, step, index, true, ec);
  robot.startJogWithExt(JogOpt::Space::world, rate, step, index, false, std::string("u1"), ec, true);
  robot.adjustSpeedOnline(0.5, ec);
  robot.adjustAcceleration(1.0, 1.0, ec);
  double acc = 0.0;
  double jerk = 0.0;
  robot.getAcceleration(acc, jerk, ec);
  robot.setAutoIgnoreZone(true, ec);
  const std::vector<double> startJoints{0, 0.5, 0.5, 0, 1.57, 0};
  returns<std::vector<double>>(robot.checkPath(pose, startJoints, aux, ec));
  returns<std::vector<double>>(
      robot.checkPath(pose, startJoints, aux, pose, ec, 90.0, static_cast<MoveCFCommand::RotType>(2)));
  const std::vector<CartesianPosition> points{pose, aux};
  std::vector<double> targetJoints;
  returns<int>(robot.checkPath(startJoints, points, targetJoints, ec));
}

template <class Robot>
void ioAndState(Robot& robot) {
  std::error_code ec;
  const unsigned board = 0;
  const unsigned port = 3;
  returns<bool>(robot.getDI(board, port, ec));
  returns<bool>(robot.getDO(board, port, ec));
  returns<double>(robot.getAI(board, port, ec));
  robot.setDI(board, port, true, ec);
  robot.setDO(board, port, false, ec);
  robot.setAO(board, port, 2.5, ec);
  const std::string reg = "R1";
  const unsigned index = 2;
  int i = 0;
  float f = 0;
  bool b = false;
  std::vector<int> is;
  std::vector<float> fs;
  std::vector<bool> bs;
  robot.template readRegister<int>(reg, index, i, ec);
  robot.template readRegister<float>(reg, index, f, ec);
  robot.template readRegister<bool>(reg, index, b, ec);
  robot.template readRegister<std::vector<int>>(reg, index, is, ec);
  robot.template readRegister<std::vector<float>>(reg, index, fs, ec);
  robot.template readRegister<std::vector<bool>>(reg, index, bs, ec);
  robot.readRegister(reg, index, i, ec);
  robot.template writeRegister<int>(reg, index, 5, ec);
  robot.template writeRegister<float>(reg, index, 1.5f, ec);
  robot.template writeRegister<bool>(reg, index, true, ec);
  robot.template writeRegister<std::vector<int>>(reg, index, is, ec);
  robot.template writeRegister<std::vector<float>>(reg, index, fs, ec);
  robot.template writeRegister<std::vector<bool>>(reg, index, bs, ec);
  robot.writeRegister(reg, index, f, ec);

  robot.stopReceiveRobotState();
  returns<unsigned>(robot.updateRobotState(std::chrono::nanoseconds(1000000)));
  returns<unsigned>(robot.updateRobotState(1ms));
  const std::string field = "q_m";
  double d = 0;
  std::uint64_t ts = 0;
  std::vector<double> values;
  returns<int>(robot.template getStateData<double>(field, d));
  returns<int>(robot.template getStateData<std::uint64_t>(field, ts));
  returns<int>(robot.template getStateData<std::vector<double>>(field, values));
  returns<int>(robot.getStateData(field, values));
  returns<std::vector<double>>(robot.jointPos(ec));
  returns<std::vector<double>>(robot.jointVel(ec));
  returns<CartesianPosition>(robot.cartPosture(CoordinateType::endInRef, ec));
}

template <class Robot>
void projectsFramesAndRail(Robot& robot, const Robot& constRobot) {
  std::error_code ec;
  const std::string name = "welding";
  const std::vector<std::string> tasks{"main"};
  robot.loadProject(name, tasks, ec);
  robot.runProject(ec);
  robot.pauseProject(ec);
  robot.ppToMain(ec);
  robot.setProjectRunningOpt(0.5, true, ec);
  returns<std::vector<RLProjectInfo>>(robot.projectsInfo(ec));
  robot.removeProject(name, ec, false);
  returns<std::string>(robot.importProject(std::string("/tmp/welding.zip"), true, ec));
  returns<std::string>(robot.importFile(std::string("/tmp/a.mod"), std::string("project/welding/main"), true, ec));
  robot.removeFiles(std::vector<std::string>{"project/welding/main/a.mod"}, ec);

  returns<std::array<double, 6>>(constRobot.baseFrame(ec));
  const Frame frame({0.1, 0.2, 0.3}, {0.0, 0.0, 0.0});
  robot.setBaseFrame(frame, ec);
  returns<Toolset>(constRobot.toolset(ec));
  const Toolset toolset;
  robot.setToolset(toolset, ec);
  returns<Toolset>(robot.setToolset(std::string("tool1"), std::string("wobj1"), ec));
  returns<std::vector<WorkToolInfo>>(robot.toolsInfo(ec));
  returns<std::vector<WorkToolInfo>>(robot.wobjsInfo(ec));
  const WorkToolInfo info(std::string("tool1"), true, frame, Load());
  robot.setToolInfo(info, ec);
  robot.setWobjInfo(info, ec);
  returns<std::vector<double>>(robot.getRobotCfg_DHparam(true, ec));

  const std::string axis = "axis1";
  const std::string param = "max_speed";
  int i = 0;
  double d = 0;
  bool b = false;
  std::string s;
  std::vector<std::string> ss;
  std::vector<double> ds;
  Frame f;
  robot.template getExtAxisInfo<int>(axis, param, i, ec);
  robot.template getExtAxisInfo<double>(axis, param, d, ec);
  robot.template getExtAxisInfo<bool>(axis, param, b, ec);
  robot.template getExtAxisInfo<std::string>(axis, param, s, ec);
  robot.template getExtAxisInfo<std::vector<std::string>>(axis, param, ss, ec);
  robot.getExtAxisInfo(axis, param, d, ec);
  const std::string unit = "u1";
  robot.template getMechUnit<int>(unit, param, i, ec);
  robot.template getMechUnit<bool>(unit, param, b, ec);
  robot.template getMechUnit<std::vector<std::string>>(unit, param, ss, ec);
  const std::string rail = "maxSpeed";
  robot.template getRailParameter<int>(rail, i, ec);
  robot.template getRailParameter<double>(rail, d, ec);
  robot.template getRailParameter<bool>(rail, b, ec);
  robot.template getRailParameter<std::string>(rail, s, ec);
  robot.template getRailParameter<std::vector<double>>(rail, ds, ec);
  robot.template getRailParameter<Frame>(rail, f, ec);
  robot.getRailParameter(rail, d, ec);
  robot.template setRailParameter<int>(rail, i, ec);
  robot.template setRailParameter<double>(rail, d, ec);
  robot.template setRailParameter<bool>(rail, b, ec);
  robot.template setRailParameter<std::string>(rail, s, ec);
  robot.template setRailParameter<std::vector<double>>(rail, ds, ec);
  robot.template setRailParameter<Frame>(rail, f, ec);
  robot.setRailParameter(rail, f, ec);
}

/// `BaseRobot`'s operations, reached through `Robot`.
template <class Robot>
void baseRobotOperations(Robot& robot) {
  connectionAndSystem<Robot>(robot, robot);
  motion(robot);
  ioAndState(robot);
  projectsFramesAndRail<Robot>(robot, robot);
}

/// `Robot_T<W,N>`'s operations with N joints, reached through `Robot`.
template <class Robot, std::size_t N>
void robotTOperations(Robot& robot) {
  std::error_code ec;
  robot.connectToRobot(ec);
  robot.connectToRobot(std::string("192.168.0.160"), std::string("192.168.0.100"));
  returns<Model_T<N>>(robot.model());
  const std::vector<std::array<double, N>> points(3);
  const std::array<double, 3> baseAux{0.0, 0.0, 0.0};
  returns<FrameCalibrationResult>(robot.calibrateFrame(FrameType::tool, points, true, ec, baseAux));
  std::array<double[2], N> limits{};
  returns<bool>(robot.getSoftLimit(limits, ec));
  robot.setSoftLimit(true, ec, limits);
  returns<StateList>(robot.getStateList(ec));
  returns<std::array<double, N>>(robot.jointTorque(ec));
}

/// The state stream, which only the 5-, 6- and 7-axis cobots and the 6-axis industrial arm have.
template <class Robot>
void stateStream(Robot& robot) {
  const std::vector<std::string> fields{"q_m", "dq_m", "pos_m"};
  robot.startReceiveRobotState(std::chrono::nanoseconds(1000000), fields);
  robot.startReceiveRobotState(1ms, fields);
}

/// `BaseCobot`'s operations, reached through `Robot`.
template <class Robot>
void baseCobotOperations(Robot& robot) {
  std::error_code ec;
  robot.enableDrag(DragParameter::Space::cartesianSpace, DragParameter::Type::freely, ec, true);
  robot.disableDrag(ec);
  robot.disableCollisionDetection(ec);
  robot.startRecordPath(30, ec);
  robot.stopRecordPath(ec);
  robot.cancelRecordPath(ec);
  const std::string name = "path1";
  robot.saveRecordPath(name, ec, std::string("path2"));
  robot.replayPath(name, 0.5, ec);
  robot.removePath(name, ec, false);
  returns<std::vector<std::string>>(robot.queryPathLists(ec));
  returns<KeyPadState>(robot.getKeypadState(ec));
  robot.setFlangeboxVout(FlangeboxOpt::Vout::supply24v, ec);
  robot.setFlangeboxRS485(FlangeboxOpt::Vout::supply12v, true, ec);
  robot.useRciClient(false, ec);

  const std::vector<std::uint8_t> sendData{1, 2};
  std::vector<std::uint8_t> recvData(4);
  robot.FBRS485SendData(2, 4, sendData, recvData, ec);
  std::vector<bool> coils(8);
  robot.FBRWModbusRTUCoil(1, 1, 0, 8, coils, false, ec);
  std::vector<int> registers(2);
  robot.FBRWModbusRTUReg(1, 3, 0, std::string("uint16"), 2, registers, false, ec);
  const std::vector<CANFrame> frames(1);
  robot.CANSendData(std::string("uint8"), frames, ec);
  CANFrame received;
  const int timeout_ms = 100;
  robot.CANReceiveData(timeout_ms, std::string("uint8"), received, ec);
  robot.CANReceiveData(1000, "int16", received, ec);
}

/// `Cobot<N>`'s operations, reached through `Robot`.
template <class Robot, std::size_t N>
void cobotOperations(Robot& robot) {
  std::error_code ec;
  returns<ForceControl_T<N>>(robot.forceControl());
  std::array<double, N> sensitivity{};
  sensitivity.fill(0.8);
  robot.enableCollisionDetection(sensitivity, StopLevel::suppleStop, 0.5, ec);
  robot.calibrateForceSensor(false, 2, ec);
}

/// The singularity avoidance of `OstraRobot` and `StandardRobot`.
template <class Robot>
void avoidSingularity(Robot& robot) {
  std::error_code ec;
  robot.setAvoidSingularity(AvoidSingularityMethod::wrist, true, 0.5, ec);
  returns<bool>(robot.getAvoidSingularity(AvoidSingularityMethod::lockAxis4, ec));
}

template <class Robot, std::size_t N>
void everyCobotOperation(Robot& robot) {
  baseRobotOperations(robot);
  robotTOperations<Robot, N>(robot);
  stateStream(robot);
  baseCobotOperations(robot);
  cobotOperations<Robot, N>(robot);
}

template <class Robot, std::size_t N>
void everyIndustrialOperation(Robot& robot) {
  baseRobotOperations(robot);
  robotTOperations<Robot, N>(robot);
}

void concreteRobots() {
  const std::string remoteIP = "192.168.0.160";
  const std::string localIP = "192.168.0.100";
  std::error_code ec;

  OstraLiteRobot lite(remoteIP, localIP);
  OstraLiteRobot liteLater;
  lite.enableCompletePostureLerp(true, ec);
  everyCobotOperation<OstraLiteRobot, 5>(liteLater);

  OstraRobot ostra(remoteIP, localIP);
  OstraRobot ostraLater;
  avoidSingularity(ostra);
  everyCobotOperation<OstraRobot, 6>(ostraLater);

  OstraMaxRobot max(remoteIP, localIP);
  OstraMaxRobot maxLater;
  everyCobotOperation<OstraMaxRobot, 7>(maxLater);

  LynRobot lyn(remoteIP, localIP);
  LynRobot lynLater;
  everyCobotOperation<LynRobot, 7>(lynLater);

  StandardRobot standard(remoteIP, localIP);
  StandardRobot standardLater;
  const std::array<double, 6> sensitivity{0.8, 0.8, 0.8, 0.8, 0.8, 0.8};
  standard.enableCollisionDetection(sensitivity, 0.5, ec);
  standard.disableCollisionDetection(ec);
  avoidSingularity(standard);
  everyIndustrialOperation<StandardRobot, 6>(standardLater);
  stateStream(standard);

  Sorn3Robot sorn3(remoteIP);
  Sorn3Robot sorn3Later;
  everyIndustrialOperation<Sorn3Robot, 3>(sorn3Later);

  Sorn4Robot sorn4(remoteIP);
  Sorn4Robot sorn4Later;
  everyIndustrialOperation<Sorn4Robot, 4>(sorn4Later);

  // The same operations through the declared template instances the classes derive from.
  BaseRobot& base = lite;
  baseRobotOperations(base);
  BaseCobot& baseCobot = ostra;
  baseCobotOperations(baseCobot);
  robotTOperations<Robot_T<1, 5>, 5>(lite);
  robotTOperations<Robot_T<1, 6>, 6>(ostra);
  robotTOperations<Robot_T<1, 7>, 7>(max);
  robotTOperations<Robot_T<0, 3>, 3>(sorn3);
  robotTOperations<Robot_T<0, 4>, 4>(sorn4);
  robotTOperations<Robot_T<0, 6>, 6>(standard);
  Robot_T<1, 5>& lite5 = lite;
  Robot_T<1, 6>& ostra6 = ostra;
  Robot_T<1, 7>& lyn7 = lyn;
  Robot_T<0, 6>& standard6 = standard;
  stateStream(lite5);
  stateStream(ostra6);
  stateStream(lyn7);
  stateStream(standard6);
  cobotOperations<Cobot<5>, 5>(lite);
  cobotOperations<Cobot<6>, 6>(ostra);
  cobotOperations<Cobot<7>, 7>(lyn);
  robotTOperations<IndustrialRobot<3>, 3>(sorn3);
  robotTOperations<IndustrialRobot<4>, 4>(sorn4);
  robotTOperations<IndustrialRobot<6>, 6>(standard);
}

}  // namespace declared_api
