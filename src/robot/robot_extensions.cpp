// The extension objects a robot hands out. The model and force-control objects share the
// robot's command link (and keep it alive after the robot is gone); the EtherCAT object opens
// a link of its own to the same controller.

#include <velmora/cobot.h>
#include <velmora/robot_t.h>

#include "robot/robot_instances.h"
#include "robot_impl/robot_impl.h"

namespace velmora {

template <int W, unsigned short N>
Model_T<N> Robot_T<W, N>::model() {
  return Model_T<N>(impl().service);
}

template <unsigned short N>
ForceControl_T<N> Cobot<N>::forceControl() {
  return ForceControl_T<N>(this->impl().service);
}

BaseEthercat BaseRobot::ethercat() { return BaseEthercat(impl_->service); }

#define VELMORA_INSTANTIATE(W, N) template Model_T<N> Robot_T<W, N>::model();
VELMORA_FOR_EACH_ROBOT_T(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

#define VELMORA_INSTANTIATE(N) template ForceControl_T<N> Cobot<N>::forceControl();
VELMORA_FOR_EACH_COBOT(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
