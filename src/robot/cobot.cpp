// `BaseCobot` and `Cobot<N>`: life. The only `template class` lines of `Cobot`; other files
// instantiate their own members (see robot_instances.h).

#include <velmora/cobot.h>

#include "robot/robot_instances.h"

namespace velmora {

BaseCobot::BaseCobot() = default;
BaseCobot::~BaseCobot() = default;

template <unsigned short N>
Cobot<N>::Cobot() = default;

template <unsigned short N>
Cobot<N>::~Cobot() = default;

#define VELMORA_INSTANTIATE(N) template class Cobot<N>;
VELMORA_FOR_EACH_COBOT(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
