// The objects a robot hands out (kinematics model, force control, EtherCAT) and the upgrade
// client as a program calls them: every declared constructor and operation, with plain literals
// and variables of the declared parameter types and every argument given, for each declared
// template instance. Compiled, never run: a signature or result that drifts from the declared
// one breaks the build here.

#include <velmora/robot.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

namespace declared_api {

using namespace velmora;

template <class Declared, class Actual>
void expectResult(Actual&&) {
  static_assert(std::is_same_v<Declared, std::decay_t<Actual>>, "result type differs from the declared one");
}

/// `Model_T<N>`'s operations, written against `Model`.
template <class Model, std::size_t N>
void modelOperations(Model& model) {
  std::error_code ec;
  std::array<double, N> joints{};
  const Toolset toolset;
  const CartesianPosition posture{0.45, 0.1, 0.5, 3.14159, 0.0, 0.0};
  expectResult<CartesianPosition>(model.calcFk(joints, ec));
  expectResult<CartesianPosition>(model.calcFk(joints, toolset, ec));
  expectResult<std::array<double, N>>(model.calcIk(posture, ec));
  expectResult<std::array<double, N>>(model.calcIk(posture, toolset, ec));
  std::vector<std::vector<int>> confs;
  expectResult<std::vector<std::vector<double>>>(model.calcAllIkSolutions(posture, confs, ec));
}

/// `BaseForceControl`'s and `ForceControl_T<N>`'s operations, written against `ForceControl`.
template <class ForceControl, std::size_t N>
void forceControlOperations(ForceControl& fc) {
  std::error_code ec;
  fc.fcInit(FrameType::world, ec);
  fc.fcStart(ec);
  fc.fcStop(ec);
  fc.setControlType(1, ec);
  fc.setLoad(Load(1.5, {0.0, 0.0, 0.05}, {0.01, 0.01, 0.01}), ec);
  const std::array<double, 6> six{1, 1, 1, 1, 1, 1};
  fc.setCartesianStiffness(six, ec);
  fc.setCartesianNullspaceStiffness(2.0, ec);
  fc.setCartesianDesiredForce(six, ec);
  const bool isInside = true;
  const double timeout = 10.0;
  fc.setForceCondition(six, isInside, timeout, ec);
  fc.setTorqueCondition(six, false, 10.0, ec);
  const Frame supervising({0.1, 0.2, 0.3}, {0.0, 0.0, 0.0});
  fc.setPoseBoxCondition(supervising, six, true, 30.0, ec);
  fc.setForceCondition(six, true, 10, ec);
  fc.waitCondition(ec);

  std::array<double, N> values{};
  fc.setJointStiffness(values, ec);
  fc.setJointDesiredTorque(values, ec);
  std::array<double, N> jointTorque{};
  std::array<double, N> externalTorque{};
  std::array<double, 3> cartTorque{};
  std::array<double, 3> cartForce{};
  fc.getEndTorque(FrameType::flange, jointTorque, externalTorque, cartTorque, cartForce, ec);

  fc.fcMonitor(true, ec);
  fc.setCartesianMaxVel(six, ec);
  fc.setCartesianControlMaxVel(six, ec);
  fc.setCartesianControlMaxWrench(six, ec);
  fc.setJointMaxVel(values, ec);
  fc.setJointMaxMomentum(values, ec);
  fc.setJointMaxEnergy(values, ec);
  fc.setJointControlMaxVel(values, ec);
  fc.setJointControlMaxTorque(values, ec);
  fc.setFcGain(values, ec);
  fc.setFriction(values, ec);
  fc.setSineOverlay(0, 5.0, 1.0, 0.0, 0.0, ec);
  fc.setLissajousOverlay(1, 5.0, 1.0, 5.0, 2.0, 1.57, ec);
  fc.startOverlay(ec);
  fc.stopOverlay(ec);
  fc.pauseOverlay(ec);
  fc.restartOverlay(ec);
}

void extensions() {
  // The link handle the robot passes in; a program has none of its own to give.
  BaseModel baseModel(nullptr);
  std::vector<std::vector<int>> confs;
  std::error_code ec;
  expectResult<std::vector<std::vector<double>>>(
      baseModel.calcAllIkSolutions(CartesianPosition{0.4, 0.0, 0.5, 3.14, 0.0, 0.0}, confs, ec));

  OstraLiteRobot lite;
  OstraRobot ostra;
  OstraMaxRobot max;
  Sorn3Robot sorn3;
  Sorn4Robot sorn4;
  StandardRobot standard;
  Model_T<3> model3 = sorn3.model();
  Model_T<4> model4 = sorn4.model();
  Model_T<5> model5 = lite.model();
  Model_T<6> model6 = ostra.model();
  Model_T<6> industrial6 = standard.model();
  Model_T<7> model7 = max.model();
  modelOperations<Model_T<3>, 3>(model3);
  modelOperations<Model_T<4>, 4>(model4);
  modelOperations<Model_T<5>, 5>(model5);
  modelOperations<Model_T<6>, 6>(model6);
  modelOperations<Model_T<6>, 6>(industrial6);
  modelOperations<Model_T<7>, 7>(model7);

  BaseForceControl baseForce(nullptr);
  baseForce.fcStart(ec);
  ForceControl_T<5> force5 = lite.forceControl();
  ForceControl_T<6> force6 = ostra.forceControl();
  ForceControl_T<7> force7 = max.forceControl();
  forceControlOperations<ForceControl_T<5>, 5>(force5);
  forceControlOperations<ForceControl_T<6>, 6>(force6);
  forceControlOperations<ForceControl_T<7>, 7>(force7);

  BaseEthercat ethercat(nullptr);
  BaseEthercat handedOut = ostra.ethercat();
  expectResult<int>(handedOut.GetSlaveCount(ec));
  const int slaveAddr = 1;
  expectResult<SlaveInfo>(ethercat.GetSlaveInfo(slaveAddr, ec));
  expectResult<std::vector<SlaveInfo>>(ethercat.GetSlavesInfo(ec));
  expectResult<std::uint16_t>(ethercat.GetSlaveState(slaveAddr, ec));
  const std::uint16_t state = 8;
  expectResult<bool>(ethercat.SetSlavesState(state, ec));
  std::uint8_t pdo[8] = {};
  expectResult<bool>(ethercat.ReadPDO(slaveAddr, 0, 8, pdo, ec));
  expectResult<bool>(ethercat.WritePDO(slaveAddr, 0, 8, pdo, ec));
  std::uint8_t sdo[4] = {};
  expectResult<bool>(ethercat.ReadSDO(slaveAddr, 0x6041, 0, 2, sdo, 100, ec));
  expectResult<bool>(ethercat.WriteSDO(slaveAddr, 0x6040, 0, 2, sdo, 100, ec));
  const std::uint16_t multiAddr = 1;
  expectResult<bool>(ethercat.WriteMultiSDO(multiAddr, std::vector<SDOData>(2), ec));

  const std::string remoteIP = "192.168.0.160";
  BaseUpgrade upgrade(remoteIP);
  BaseUpgrade later;
  static_assert(std::is_same_v<decltype(later = upgrade), BaseUpgrade&>);
  later = upgrade;
  later.connect(remoteIP);
  later.connect(ec);
  later.upgrade(std::string("./upgrade/package.zip"), ec);
  const std::set<BackupItem> items{BackupItem::robotConfig, BackupItem::controllerLog};
  later.exportBackup(std::string("./backup.tar"), items, ec);
}

}  // namespace declared_api
