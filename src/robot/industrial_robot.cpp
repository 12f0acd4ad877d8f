// `IndustrialRobot<N>`: life. The only `template class` lines of `IndustrialRobot`.

#include <velmora/industrial_robot.h>

#include "robot/robot_instances.h"

namespace velmora {

template <unsigned short N>
IndustrialRobot<N>::IndustrialRobot() = default;

template <unsigned short N>
IndustrialRobot<N>::~IndustrialRobot() = default;

#define VELMORA_INSTANTIATE(N) template class IndustrialRobot<N>;
VELMORA_FOR_EACH_INDUSTRIAL(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
